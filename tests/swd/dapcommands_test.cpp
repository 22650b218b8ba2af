// Every command of the virtual SWD-only CMSIS-DAP probe with its exact reply, and its MEM-AP:
// CSW read-back, byte lanes, sticky flags and the posted-read buffer.
#include "cmsisdap/cmsisdapprobe.h"
#include "rawdap.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using rawdap::Bytes;
using vprobe::CmsisDapDevice;
using vprobe::CmsisDapProbe;

using rawdap::bringUp;
using rawdap::run;

struct Case
{
    Bytes command, reply;
};

void expectAll(CmsisDapDevice &d, const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.command));
        EXPECT_EQ(run(d, c.command), c.reply);
    }
}

TEST(DapCommands, SwdOnlyProbeAnswersEveryCommandWithItsLayout)
{
    CmsisDapDevice d;
    bringUp(d, 0x00);
    d.setTime(5000000);
    expectAll(
        d,
        {
            {{0x00, 0x03}, {0x00, 12, 'Q', 'V', 'P', '0', '0', '0', '0', '0', '0', '0', '1', 0}},
            {{0x00, 0x04}, {0x00, 6, '2', '.', '1', '.', '0', 0}},
            {{0x00, 0xF0}, {0x00, 1, 0x31}},
            {{0x00, 0xF1}, {0x00, 4, 0x40, 0x42, 0x0F, 0x00}},
            {{0x00, 0x06}, {0x00, 0}},
            {{0x00, 0xFD}, {0x00, 0}},
            // A DP read with its timestamp: the 1 MHz timer at the transfer's start.
            {{0x05, 0, 1, 0x82}, {0x05, 1, 1, 0x88, 0x13, 0, 0, 0x77, 0x14, 0xB1, 0x0B}},
            {{0x01, 0, 1}, {0x01, 0x00}},
            {{0x09, 0x10, 0x00}, {0x09, 0x00}},
            {{0x13, 0x00}, {0x13, 0x00}},
            {{0x10, 0x00, 0x80, 0, 0, 0, 0}, {0x10, 0x03}}, // nRESET low
            {{0x10, 0x80, 0x80, 0, 0, 0, 0}, {0x10, 0x83}},
            {{0x10, 0x24, 0x24, 0, 0, 0, 0}, {0x10, 0x83}}, // no TDI, no nTRST on this probe
            {{0x0A}, {0x0A, 0x00, 0x01}},
            {{0x14, 1, 0x08, 0xFF}, {0x14, 0xFF}},
            {{0x15, 1, 4}, {0x15, 0xFF}},
            {{0x16, 0}, {0x16, 0xFF}},
            // Eight cycles out, four in: SWDIO is pulled up while nothing drives it.
            {{0x1D, 2, 0x08, 0xFF, 0x84}, {0x1D, 0x00, 0x0F}},
            {{0x1D, 1, 0x00, 0xFF}, {0x1D, 0xFF}}, // 64 cycles, one byte of data: refused
            {{0x18, 0}, {0xFF}},
            {{0x85}, {0xFF}},
            {{0x07}, {}},
            {{0x08, 0, 0x1E, 0, 0, 0}, {0x08, 0x00}},
            {{0x7F, 3, 0x00, 0xFE, 0x01, 0, 0, 0x05, 0, 1, 0x02},
             {0x7F, 3, 0x00, 1, 4, 0x01, 0x00, 0x05, 1, 1, 0x77, 0x14, 0xB1, 0x0B}},
            // A nested ExecuteCommands is one invalid byte; the command after it still runs.
            {{0x7F, 2, 0x7F, 0x01, 0, 0}, {0x7F, 2, 0xFF, 0x01, 0x00}},
            {{0x02, 0x02}, {0x02, 0x00}}, // no JTAG port
            {{0x05, 0, 1, 0x02}, {0x05, 0, 0}}, // not connected: nothing is clocked
            {{0x06, 0, 1, 0, 0x02}, {0x06, 0, 0, 0}},
            {{0x08, 0, 0x1E, 0, 0, 0}, {0x08, 0xFF}},
            {{0x02, 0x01}, {0x02, 0x01}},
        });
}

TEST(DapCommands, CswReadsBackWhatTheAccessPortImplements)
{
    CmsisDapDevice d;
    bringUp(d, 0x00);
    const struct
    {
        uint32_t written, readBack;
    } cases[] = {
        {0x23000052, 0x23000052},
        {0x23000062, 0x23000042}, // packed increment: not implemented, reads back off
        {0x23000071, 0x23000041}, // reserved increment, halfword
        {0xA2000F17, 0xA2000052}, // size 7 and mode bits ignored, the rest taken
        {0x00000000, 0x00000040}, // DeviceEn is read-only
    };
    for (const auto &c : cases) {
        run(d, {0x05, 0, 1, 0x01, 0x42, 0, 0, 0x03}); // a known CSW first
        const uint32_t w = c.written;
        EXPECT_EQ(run(d,
                      {0x05, 0, 2, 0x01, uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16),
                       uint8_t(w >> 24), 0x03}),
                  (Bytes{0x05, 2, 1, uint8_t(c.readBack), uint8_t(c.readBack >> 8),
                         uint8_t(c.readBack >> 16), uint8_t(c.readBack >> 24)}))
            << std::hex << w;
    }
}

TEST(DapCommands, NarrowAccessesUseTheirByteLanesAndIncrementBySize)
{
    CmsisDapDevice d;
    bringUp(d, 0x00);
    ASSERT_TRUE(d.core().write(0x20000100, 0x44332211));
    ASSERT_TRUE(d.core().write(0x200003FC, 0));
    expectAll(
        d,
        {
            // Byte, incrementing, from 0x20000101: lanes 1 and 2.
            {{0x05, 0, 4, 0x01, 0x10, 0, 0, 0x23, 0x05, 0x01, 0x01, 0, 0x20, 0x0F, 0x0F},
             {0x05, 4, 1, 0, 0x22, 0, 0, 0, 0, 0x33, 0}},
            {{0x05, 0, 1, 0x07},
             {0x05, 1, 1, 0x03, 0x01, 0,
              0x20}}, // TAR moved by two bytes
                      // Halfword at 0x20000102 and a byte written into lane 3.
            {{0x05, 0, 3, 0x01, 0x01, 0, 0, 0x23, 0x05, 0x02, 0x01, 0, 0x20, 0x0F},
             {0x05, 3, 1, 0, 0, 0x33, 0x44}},
            {{0x05, 0, 3, 0x01, 0x10, 0, 0, 0x23, 0x05, 0x03, 0x01, 0, 0x20, 0x0D, 0, 0, 0, 0xAB},
             {0x05, 3, 1}},
            // A byte at the top of a 1 KiB block: TAR wraps to the block's start.
            {{0x05, 0, 3, 0x05, 0xFF, 0x03, 0, 0x20, 0x0D, 0, 0, 0, 0x5A, 0x07},
             {0x05, 3, 1, 0x00, 0x00, 0x00, 0x20}},
        });
    uint32_t word = 0;
    ASSERT_TRUE(d.core().read(0x20000100, word));
    EXPECT_EQ(word, 0xAB332211u);
    ASSERT_TRUE(d.core().read(0x200003FC, word));
    EXPECT_EQ(word, 0x5A000000u);
}

TEST(DapCommands, StickyFlagsBlockAllButTheirReadersUntilAbort)
{
    CmsisDapDevice d;
    bringUp(d, 0x00);
    expectAll(d,
              {
                  // RDBUFF and RESEND give the last AP read again.
                  {{0x05, 0, 3, 0x08, 0xF0, 0, 0, 0, 0x0F, 0x0E},
                   {0x05, 3, 1, 0x21, 0, 0x77, 0x04, 0x21, 0, 0x77, 0x04}},
                  {{0x05, 0, 2, 0x08, 0, 0, 0, 0, 0x0A}, {0x05, 2, 1, 0x21, 0, 0x77, 0x04}},
                  // Overrun detection on, no retries: one WAIT makes STICKYORUN.
                  {{0x04, 0, 0, 0, 0, 0}, {0x04, 0x00}},
                  {{0x05, 0, 1, 0x04, 0x01, 0, 0, 0x50}, {0x05, 1, 1}},
              });
    d.waitStorm(1);
    expectAll(d,
              {
                  {{0x05, 0, 1, 0x0F}, {0x05, 0, 0x02}},
                  {{0x05, 0, 1, 0x06}, {0x05, 1, 1, 0x43, 0, 0, 0xF0}},
                  {{0x05, 0, 1, 0x0E}, {0x05, 0, 0x04}}, // RDBUFF too answers FAULT now
                  {{0x05, 0, 1, 0x02}, {0x05, 1, 1, 0x77, 0x14, 0xB1, 0x0B}},
                  {{0x08, 0, 0x04, 0, 0, 0}, {0x08, 0x00}}, // STKERRCLR alone leaves the overrun
                  {{0x05, 0, 1, 0x0E}, {0x05, 0, 0x04}},
                  {{0x08, 0, 0x10, 0, 0, 0}, {0x08, 0x00}},
                  {{0x05, 0, 2, 0x06, 0x0E}, {0x05, 2, 1, 0x41, 0, 0, 0xF0, 0x21, 0, 0x77, 0x04}},
              });
}

TEST(DapCommands, ResetLineTurnaroundAndFullRepliesAsTheWireHasThem)
{
    CmsisDapDevice d;
    bringUp(d, 0x00);
    std::vector<bool> line;
    d.setResetLine([&](bool asserted) { line.push_back(asserted); });
    run(d, {0x10, 0x00, 0x80, 0, 0, 0, 0});
    EXPECT_TRUE(d.resetAsserted());
    run(d, {0x10, 0x00, 0x80, 0, 0, 0, 0}); // still low: no edge
    run(d, {0x10, 0x80, 0x80, 0, 0, 0, 0});
    EXPECT_FALSE(d.resetAsserted());
    run(d, {0x0A});
    EXPECT_EQ(line, (std::vector<bool>{true, false, true, false}));

    // A DP read at 1 MHz: request, turnaround, ACK, data and parity, turnaround, idle cycles.
    const struct
    {
        uint8_t configure, idle;
        uint64_t ns;
    } wires[] = {{0x00, 0, 46000}, {0x01, 0, 48000}, {0x03, 2, 54000}};
    run(d, {0x11, 0x40, 0x42, 0x0F, 0x00});
    for (const auto &w : wires) {
        run(d, {0x13, w.configure});
        run(d, {0x04, w.idle, 0, 0, 0, 0});
        d.setTime(0);
        run(d, {0x05, 0, 1, 0x02});
        EXPECT_EQ(d.wireNanoseconds(), w.ns) << int(w.configure);
    }

    // Eight version strings are 66 bytes: the seventh is the last that fits in 64.
    Bytes many{0x7F, 8};
    for (int i = 0; i < 8; ++i)
        many.insert(many.end(), {0x00, 0x04});
    Bytes expected{0x7F, 7};
    for (int i = 0; i < 7; ++i)
        expected.insert(expected.end(), {0x00, 6, '2', '.', '1', '.', '0', 0});
    EXPECT_EQ(run(d, many), expected);
}

TEST(DapCommands, AbortIsNeverAnsweredAndQueuedPacketsWaitForTheNextOne)
{
    CmsisDapProbe &p = CmsisDapProbe::instance();
    p.reset();
    p.setRealTime(false);
    uint8_t reply[64];
    const Bytes abort{0x00, 0x07};
    ASSERT_EQ(p.write(abort.data(), abort.size()), 2);
    EXPECT_EQ(p.read(reply, sizeof reply, 5), 0);
    for (const Bytes &c : {Bytes{0x00, 0x7E, 1, 0x00, 0xFE}, Bytes{0x00, 0x7E, 1, 0x01, 0, 0}})
        ASSERT_EQ(p.write(c.data(), c.size()), int(c.size()));
    EXPECT_EQ(p.read(reply, sizeof reply, 5), 0); // held until a packet that is not queued
    const Bytes info{0x00, 0x00, 0x04};
    ASSERT_EQ(p.write(info.data(), info.size()), 3);
    const Bytes expected[] = {
        {0x7F, 1, 0x00, 1, 4}, {0x7F, 1, 0x01, 0x00}, {0x00, 6, '2', '.', '1', '.', '0', 0}};
    for (const Bytes &e : expected) {
        ASSERT_EQ(p.read(reply, sizeof reply, 100), 64);
        EXPECT_EQ(Bytes(reply, reply + e.size()), e);
    }
    // No time-out: the read waits for the reply another thread's command brings.
    int got = 0;
    std::thread reader([&] { got = p.read(reply, sizeof reply, -1); });
    ASSERT_EQ(p.write(info.data(), info.size()), 3);
    reader.join();
    EXPECT_EQ(got, 64);
    EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x00, 6, '2'}));
}

} // namespace
