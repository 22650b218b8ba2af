// The SWD job tests' fixture: a job on the virtual CMSIS-DAP probe over HID, the shipped
// algorithms' folder as its CRC routine's.
#pragma once

#include "cmsisdap/cmsisdapprobe.h"
#include "cmsisdap/qs64flash.h"
#include "swd/swdprogrammer.h"
#include "virtualprobe.h"

#include <QFileInfo>

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
