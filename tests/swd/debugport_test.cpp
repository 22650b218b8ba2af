// The debug port layer against the virtual probe's target, and the flash-algorithm reader
// against doctored copies of the real algorithm.
#include "hiddebugport.h"
#include "swd/flash/flashalgorithm.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

namespace {

using vprobe::CmsisDapProbe;

class DebugPortTest : public HidDebugPortTest
{
protected:
    void SetUp() override
    {
        HidDebugPortTest::SetUp();
        ASSERT_TRUE(link->open() && port->connect(1000000)) << link->error().message.toStdString();
    }
};

TEST_F(DebugPortTest, BlocksCrossOneKibBoundariesAndCoreRegistersRoundTrip)
{
    EXPECT_EQ(port->idcode(), 0x0BB11477u);
    // 40 words from 0x200003C0 cross 0x20000400, where TAR must be set again.
    std::vector<uint32_t> out(40), in(40);
    for (uint32_t i = 0; i < 40; ++i)
        out[i] = 0x01010101u * i;
    ASSERT_TRUE(port->writeBlock(0x200003C0, out.data(), 40) && port->sync());
    ASSERT_TRUE(port->readBlock(0x200003C0, in.data(), 40) && port->sync());
    EXPECT_EQ(in, out);
    uint32_t word = 0;
    ASSERT_TRUE(port->read32(0x20000400, word));
    EXPECT_EQ(word, 0x10101010u);

    ASSERT_TRUE(port->halt(100));
    const std::vector<std::pair<int, uint32_t>> regs = {
        {DebugPort::R0, 0x11}, {DebugPort::R1, 0x22},       {DebugPort::R2, 0x33},
        {DebugPort::R3, 0x44}, {DebugPort::R9, 0x20000800}, {DebugPort::SP, 0x20002000},
        {DebugPort::LR, 0x21}, {DebugPort::PC, 0x20000100}, {DebugPort::XPSR, 0x01000000}};
    ASSERT_TRUE(port->writeCoreRegisters(regs) && port->sync());
    for (const auto &[reg, value] : regs) {
        uint32_t got = 0;
        ASSERT_TRUE(port->readCoreRegister(reg, got));
        EXPECT_EQ(got, value) << reg;
    }
    // MOVS R0, #7; BKPT: run returns to a halt with R0 set, and R0 and the PC of the BKPT come
    // back in the one report that finds it.
    ASSERT_TRUE(port->write32(0x20000100, 0xBE002007) && port->run() && port->sync());
    uint32_t r0 = 0, pc = 0;
    const uint64_t before = CmsisDapProbe::instance().commandsReceived();
    ASSERT_TRUE(port->waitHaltAndRead(100, "test", DebugPort::R0, r0, &pc));
    EXPECT_EQ(CmsisDapProbe::instance().commandsReceived() - before, 1u);
    EXPECT_EQ(r0, 7u);
    EXPECT_EQ(pc, 0x20000102u);
}

TEST_F(DebugPortTest, CoreRegistersAreReadOnlyOnceReady)
{
    // DCRDR fills some DHCSR reads after the request: the host waits for S_REGRDY (the probe's
    // match retries absorb 40), and a register that never gets ready is an error, not a value.
    // The wait's reports: one poll, which finds a halted core whose register is late halted in
    // the same report, then the plain read.
    const struct
    {
        unsigned latency;
        bool ok;
        uint64_t reports;
    } cases[] = {{0, true, 1}, {3, true, 1}, {40, true, 1}, {250, false, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.latency);
        CmsisDapProbe::instance().device().core().setRegisterLatency(0);
        // MOVS R0, #0x5A; MOVS R1, #0x3C; BKPT; BKPT
        ASSERT_TRUE(port->halt(100) && port->write32(0x20000100, 0x213C205A)
                    && port->write32(0x20000104, 0xBE00BE00)
                    && port->writeCoreRegisters({{DebugPort::PC, 0x20000100}}) && port->run());
        CmsisDapProbe::instance().device().core().setRegisterLatency(c.latency);
        uint32_t r0 = 0, r1 = 0;
        const uint64_t before = CmsisDapProbe::instance().commandsReceived();
        const bool waited = port->waitHaltAndRead(100, "test", DebugPort::R0, r0);
        EXPECT_EQ(CmsisDapProbe::instance().commandsReceived() - before, c.reports);
        const bool ok = waited && port->readCoreRegister(DebugPort::R1, r1);
        EXPECT_EQ(ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(r0, 0x5Au);
            EXPECT_EQ(r1, 0x3Cu);
        } else {
            EXPECT_EQ(link->error().code, SwdProtocol);
            EXPECT_EQ(link->error().message.toStdString(),
                      "core register 0 not ready (DHCSR S_REGRDY stays 0)");
        }
    }
}

TEST_F(DebugPortTest, CoreRegisterWritesWaitUntilTheLastOneIsDone)
{
    // A core that takes some DHCSR reads per register transfer drops a write requested meanwhile.
    const std::vector<std::pair<int, uint32_t>> regs = {{DebugPort::R0, 0x11},
                                                        {DebugPort::R1, 0x22},
                                                        {DebugPort::R2, 0x33},
                                                        {DebugPort::R3, 0x44},
                                                        {DebugPort::PC, 0x20000100}};
    for (const unsigned latency : {0u, 3u, 30u}) {
        SCOPED_TRACE(latency);
        CmsisDapProbe::instance().device().core().setRegisterLatency(0);
        ASSERT_TRUE(port->halt(100));
        CmsisDapProbe::instance().device().core().setRegisterLatency(latency);
        ASSERT_TRUE(port->writeCoreRegisters(regs) && port->sync())
            << link->error().message.toStdString();
        for (const auto &[reg, value] : regs) {
            uint32_t got = 0;
            ASSERT_TRUE(port->readCoreRegister(reg, got));
            EXPECT_EQ(got, value) << reg;
        }
    }
}

TEST_F(DebugPortTest, ACoreThatNeverStopsTimesOut)
{
    // B . (a branch to itself) runs until the instruction budget is spent and never halts.
    ASSERT_TRUE(port->halt(100) && port->write32(0x20000100, 0xE7FEE7FE)
                && port->writeCoreRegisters({{DebugPort::PC, 0x20000100}}) && port->run());
    uint32_t r0 = 0;
    EXPECT_FALSE(port->waitHaltAndRead(50, "spin", DebugPort::R0, r0));
    EXPECT_EQ(link->error().code, SwdNoHalt);
    EXPECT_EQ(link->error().message.toStdString(), "core did not halt within 50 ms (spin)");
}

// A copy of the AP algorithm with `patch` applied to its descriptor (found by the device name).
QString doctored(QTemporaryDir &dir, const std::function<void(QByteArray &, int)> &patch)
{
    QFile in(QStringLiteral(QUORVEL_FLM_AP));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    const int descriptor = bytes.indexOf("QB48x_Flash_AP") - 2;
    patch(bytes, descriptor);
    const QString path = dir.filePath("doctored.FLM");
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    return path;
}

void put32(QByteArray &b, int at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

TEST(FlashAlgorithm, ReadsTheDescriptorAndRefusesUnusableOnes)
{
    QString error;
    const auto real = FlashAlgorithm::load(QStringLiteral(QUORVEL_FLM_AP), error);
    ASSERT_TRUE(real) << error.toStdString();
    EXPECT_EQ(real->deviceName(), "QB48x_Flash_AP");
    EXPECT_EQ((std::vector<uint32_t>{real->deviceSize(), real->pageSize(), real->programTimeoutMs(),
                                     real->eraseTimeoutMs()}),
              (std::vector<uint32_t>{0x1E000, 0x200, 100, 500}));
    EXPECT_EQ(real->sectorsCovering(0x1FF, 2), (std::vector<uint32_t>{0, 0x200}));

    QTemporaryDir dir;
    // Two runs: 1 KiB sectors to 0x1000, then 4 KiB ones.
    const auto twoRuns = FlashAlgorithm::load(
        doctored(dir,
                 [](QByteArray &b, int d) {
                     put32(b, d + 160, 0x400), put32(b, d + 164, 0), put32(b, d + 168, 0x1000);
                     put32(b, d + 172, 0x1000), put32(b, d + 176, ~0u), put32(b, d + 180, ~0u);
                 }),
        error);
    ASSERT_TRUE(twoRuns) << error.toStdString();
    EXPECT_EQ(twoRuns->sectorsCovering(0xF00, 0x1200),
              (std::vector<uint32_t>{0xC00, 0x1000, 0x2000}));

    const struct
    {
        std::function<void(QByteArray &, int)> patch;
        const char *error;
    } refused[] = {
        {[](QByteArray &b, int d) { put32(b, d + 172, 0); },
         "FlashDevice: sector table entry 1 is not usable"},
        {[](QByteArray &b, int d) { put32(b, d + 140, 0); },
         "FlashDevice: page size 0 is not usable (4 to 4096, a multiple of 4)"},
        // Hostile descriptors: a sector list no host could hold, time-outs that wrap, a device
        // past the end of the address space, sectors that do not start at the device's start.
        {[](QByteArray &b, int d) { put32(b, d + 136, 0xF0000000), put32(b, d + 160, 4); },
         "FlashDevice: more than 65536 sectors"},
        {[](QByteArray &b, int d) { put32(b, d + 152, ~0u); },
         "FlashDevice: toProg 4294967295 ms is not usable (1 to 120000)"},
        {[](QByteArray &b, int d) { put32(b, d + 156, 0); },
         "FlashDevice: toErase 0 ms is not usable (1 to 120000)"},
        {[](QByteArray &b, int d) { put32(b, d + 132, 0xFFFF0000), put32(b, d + 136, 0x10001); },
         "FlashDevice: device size 0x10001 at 0xffff0000 is not usable"},
        {[](QByteArray &b, int d) { put32(b, d + 164, 0x200); },
         "FlashDevice: the sector table does not start at 0"},
        {[](QByteArray &b, int d) { put32(b, d + 160, 0x40000); },
         "FlashDevice: sector table entry 0 is not usable"},
        {[](QByteArray &b, int) { b.replace("ProgramPage", "ProgramPagX"); },
         "no routine ProgramPage"},
        {[](QByteArray &b, int) { b.truncate(40); }, nullptr},
    };
    for (const auto &r : refused) {
        const QString path = doctored(dir, r.patch);
        EXPECT_FALSE(FlashAlgorithm::load(path, error));
        if (r.error) {
            EXPECT_EQ(error.toStdString(), (path + ": " + r.error).toStdString());
        } else {
            EXPECT_TRUE(error.startsWith(path + ": ")) << error.toStdString();
        }
    }
}

} // namespace
