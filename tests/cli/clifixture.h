// The command line as a process on the preloaded virtual probe: the fixture the CLI tests share.
#pragma once

#include "images/crc32.h"
#include "images/hexrecords.h"
#include "record/recorddb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace clitest {

struct Outcome
{
    int exit = -1;
    QString out, err;
};

class Cli : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QStringList env{
        "QUORVEL_VPROBE_REALTIME=0", "LC_ALL=C",
        // An instrumented preload comes before the sanitizer runtime; that is fine here.
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};

    QString path(const QString &name) const { return dir.filePath(name); }

    void write(const QString &name, const QByteArray &bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    void start(QProcess &p, const QStringList &args)
    {
        QStringList e = QProcess::systemEnvironment();
        e << "LD_PRELOAD=" QUORVEL_VPROBE_LIB << "QUORVEL_VPROBE_TRACE=" + path("trace")
          << "QUORVEL_VPROBE_FLASH_FILE=" + path("flash")
          // Never the user's own production record.
          << "QUORVEL_RECORD=" + path("default-record.sqlite") << env;
        p.setEnvironment(e);
        p.setWorkingDirectory(dir.path());
        p.start(QUORVEL_CLI, args);
    }

    Outcome run(const QStringList &args)
    {
        QProcess p;
        start(p, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
                QString::fromUtf8(p.readAllStandardError()).trimmed()};
    }

    // Command bytes of every report written to the probe.
    QByteArray commandsSent()
    {
        QFile f(path("trace"));
        QByteArray commands;
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : f.readAll().split('\n')) {
                if (line.startsWith("write "))
                    commands += char(line.split(' ').value(4).toInt(nullptr, 16));
            }
        }
        f.remove();
        return commands;
    }

    // The simulated flash after the last run: main flash window, then LDROM.
    QByteArray flash(uint32_t address, int length)
    {
        QFile f(path("flash"));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        const int offset =
            address >= 0x10000000 ? 0x20000 + int(address - 0x10000000) : int(address);
        return all.mid(offset, length);
    }
};

inline QByteArray pattern(int length, int seed)
{
    QByteArray bytes(length, 0);
    for (int i = 0; i < length; ++i)
        bytes[i] = char((i * 7 + seed) & 0xFF);
    return bytes;
}

// A HEX of `bytes` at `address`, 16 bytes a record.
inline std::string hexOf(uint32_t address, const QByteArray &bytes)
{
    std::string text = hextest::linear(uint16_t(address >> 16));
    for (int i = 0; i < bytes.size(); i += 16) {
        const QByteArray chunk = bytes.mid(i, 16);
        text += hextest::data(uint16_t((address + uint32_t(i)) & 0xFFFF),
                              std::vector<uint8_t>(chunk.begin(), chunk.end()));
    }
    return text;
}

// Each row of the record: probe, status, serial, path, device.
inline QStringList recordedRows(const QString &record)
{
    RecordDb db;
    EXPECT_TRUE(db.open(record)) << db.lastError().toStdString();
    QStringList out;
    for (const RecordedRun &r : db.runs()) {
        const RunRecord &c = r.record;
        out << QStringLiteral("%1 %2 %3 %4 %5")
                   .arg(c.probeSerial, r.status,
                        c.hasSerial ? QString::asprintf("0x%08X", c.serial) : QString("-"), c.via,
                        c.target);
    }
    return out;
}

class CliSwd : public Cli
{
protected:
    void SetUp() override
    {
#ifndef QUORVEL_CLI_SWD
        GTEST_SKIP() << "no flash algorithms in this build";
#endif
        env << "QUORVEL_VPROBE_KIND=cmsis-dap"
            << "QUORVEL_VPROBE_DAP_REALTIME=0";
    }

    bool probeOpened()
    {
        QFile f(path("trace"));
        const bool opened = f.open(QIODevice::ReadOnly) && f.readAll().contains("open ");
        f.remove();
        return opened;
    }
};

} // namespace clitest
