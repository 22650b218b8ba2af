// The SWD job tests' fixture: a job on the virtual CMSIS-DAP probe over HID, the shipped
// algorithms' folder as its CRC routine's.
#pragma once

#include "cmsisdap/cmsisdapprobe.h"
#include "cmsisdap/qs64flash.h"
#include "swd/swdprogrammer.h"
#include "virtualprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

using vprobe::CmsisDapProbe;

class SwdJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vprobe::VirtualProbe::instance().reset();
        probe().reset();
        probe().setEnabled(true);
        hidDevice = hid_open(0x0D28, 0x0204, nullptr);
        ASSERT_NE(hidDevice, nullptr);
        dev = HidTransport(hidDevice);
        job.flmDir = QFileInfo(QStringLiteral(QUORVEL_FLM_AP)).absolutePath();
    }
    void TearDown() override
    {
        hid_close(hidDevice);
        probe().setEnabled(false);
    }
    static CmsisDapProbe &probe() { return CmsisDapProbe::instance(); }
    std::vector<uint8_t> flash(TargetModel::Bank bank, uint32_t at, uint32_t n)
    {
        const std::vector<uint8_t> &all = probe().device().target().flash(bank);
        return std::vector<uint8_t>(all.begin() + at, all.begin() + at + n);
    }

    hid_device *hidDevice = nullptr;
    HidTransport dev{nullptr};
    SwdJob job;
};

inline std::vector<uint8_t> pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
    return bytes;
}

// A test pack of its own in `to`: the pack folder `from` copied with its description `pdsc`
// edited, `was` (there once) replaced by `now`, and its algorithm files `flms`.
inline void writeEditedPack(const QString &from, const QString &to, const QString &pdsc,
                            const QStringList &flms, const QByteArray &was, const QByteArray &now)
{
    QFile in(QDir(from).filePath(pdsc));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray text = in.readAll();
    ASSERT_EQ(text.count(was), 1);
    text.replace(was, now);
    QFile out(QDir(to).filePath(pdsc));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    ASSERT_EQ(out.write(text), text.size());
    out.close();
    ASSERT_TRUE(QDir(to).mkpath("Flash"));
    for (const QString &flm : flms)
        ASSERT_TRUE(QFile::copy(QDir(from).filePath(flm), QDir(to).filePath(flm)));
}
