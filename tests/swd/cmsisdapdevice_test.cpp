// The virtual CMSIS-DAP probe's firmware and link, driven with raw command bytes: the DP and
// MEM-AP model, its faults, and the frame timing the benchmark's figures rest on.
#include "cmsisdap/cmsisdapprobe.h"
#include "rawdap.h"

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

namespace {

using rawdap::Bytes;
using vprobe::CmsisDapDevice;
using vprobe::CmsisDapProbe;

using rawdap::bringUp;
using rawdap::run;

TEST(CmsisDapDevice, AnswersStandardCommandsWithGoldenBytes)
{
    CmsisDapDevice d;
    // The DP answers nothing before the line reset that follows the switch to SWD.
    EXPECT_EQ(run(d, {0x02, 0x01}), (Bytes{0x02, 0x01}));
    EXPECT_EQ(run(d, {0x05, 0, 1, 0x02}), (Bytes{0x05, 0x00, 0x07}));
    bringUp(d);
    const struct
    {
        Bytes command, reply;
    } cases[] = {
        {{0x00, 0xFE}, {0x00, 0x01, 0x04}},
        {{0x00, 0xFF}, {0x00, 0x02, 0x40, 0x00}},
        {{0x00, 0xF0}, {0x00, 0x01, 0x31}},
        {{0x00, 0x09}, {0x00, 0x04, '1', '.', '0', 0}},
        {{0x00, 0x07}, {0x00, 0x00}},
        {{0x05, 0, 2, 0x02, 0x06}, {0x05, 0x02, 0x01, 0x77, 0x14, 0xB1, 0x0B, 0, 0, 0, 0xF0}},
        {{0x05, 0, 2, 0x08, 0xF0, 0, 0, 0, 0x0F}, {0x05, 0x02, 0x01, 0x21, 0x00, 0x77, 0x04}},
        {{0x11, 0, 0, 0, 0}, {0x11, 0xFF}},
        {{0x04, 0, 5, 0, 0, 0}, {0x04, 0x00}},
        {{0x7E}, {0x7F, 0x00}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(d, c.command), c.reply) << int(c.command[0]);
}

TEST(CmsisDapDevice, TarIncrementsWithinOneKibAndBusErrorsStick)
{
    CmsisDapDevice d;
    bringUp(d);
    // Two words from 0x200003FC: the second lands at 0x20000000, not 0x20000400.
    run(d, {0x05, 0, 1, 0x05, 0xFC, 0x03, 0, 0x20});
    EXPECT_EQ(run(d, {0x06, 0, 2, 0, 0x0D, 1, 0, 0, 0, 2, 0, 0, 0}), (Bytes{0x06, 2, 0, 0x01}));
    uint32_t word = 0;
    ASSERT_TRUE(d.core().read(0x20000000, word));
    EXPECT_EQ(word, 2u);
    ASSERT_TRUE(d.core().read(0x20000400, word));
    EXPECT_EQ(word, 0u);

    // A read of unmapped memory answers FAULT and every AP access after it too, until ABORT.
    EXPECT_EQ(run(d, {0x05, 0, 2, 0x05, 0, 0, 0, 0x30, 0x0F}), (Bytes{0x05, 0x01, 0x04}));
    EXPECT_EQ(run(d, {0x05, 0, 1, 0x06}), (Bytes{0x05, 0x01, 0x01, 0x20, 0, 0, 0xF0}));
    EXPECT_EQ(run(d, {0x05, 0, 1, 0x05, 0, 0, 0, 0x20}), (Bytes{0x05, 0x00, 0x04}));
    EXPECT_EQ(run(d, {0x08, 0, 0x04, 0, 0, 0}), (Bytes{0x08, 0x00}));
    EXPECT_EQ(run(d, {0x05, 0, 1, 0x05, 0, 0, 0, 0x20}), (Bytes{0x05, 0x01, 0x01}));
}

TEST(CmsisDapDevice, WaitIsRetriedAndValueMatchRepeats)
{
    CmsisDapDevice d;
    bringUp(d);
    run(d, {0x04, 0, 3, 0, 2, 0}); // three WAIT retries, two match retries
    d.waitStorm(4); // one access: the probe's four tries all see WAIT
    EXPECT_EQ(run(d, {0x05, 0, 1, 0x05, 0, 0, 0, 0x20}), (Bytes{0x05, 0x00, 0x02}));
    d.waitStorm(3); // absorbed by the retries
    EXPECT_EQ(run(d, {0x05, 0, 1, 0x05, 0, 0, 0, 0x20}), (Bytes{0x05, 0x01, 0x01}));
    // Match on DHCSR S_HALT of a running core: mismatch; once halted: a match without data.
    const Bytes poll{0x05, 0,    4, 0x05, 0xF0, 0xED, 0,    0xE0, 0x08, 0x10, 0, 0,
                     0,    0x20, 0, 0,    2,    0,    0x13, 0,    0,    2,    0};
    EXPECT_EQ(run(d, poll), (Bytes{0x05, 0x03, 0x11}));
    run(d, {0x05, 0, 1, 0x01, 0x03, 0, 0x5F, 0xA0}); // BD0 = DHCSR: debug on, halt
    EXPECT_EQ(run(d, poll), (Bytes{0x05, 0x04, 0x01}));
}

TEST(CmsisDapProbe, LinkCarriesOneReportPerFramePerDirection)
{
    CmsisDapProbe &p = CmsisDapProbe::instance();
    const Bytes info{0x00, 0x00, 0xFE};
    uint8_t reply[64];
    const struct
    {
        uint8_t packets;
        uint32_t commandUs;
        int commands;
        uint64_t elapsedUs; // host time after writing all, then reading all
    } cases[] = {
        {1, 100, 1, 3000}, // OUT frame, probe, IN frame: the round trip of a waiting host
        {1, 100, 4, 12000}, // one buffer: every command waits for the previous reply
        {4, 100, 4, 6000}, // four in flight: one per frame after the first round trip
        {4, 100, 8, 10000}, // the fifth waits for the first buffer to free
        {4, 1500, 3, 7000}, // a slow probe sets the pace instead of the frames
    };
    for (const auto &c : cases) {
        p.reset();
        p.setPacketCount(c.packets);
        p.setCommandMicroseconds(c.commandUs);
        p.setRealTime(false);
        for (int i = 0; i < c.commands; ++i)
            ASSERT_EQ(p.write(info.data(), info.size()), 3);
        for (int i = 0; i < c.commands; ++i)
            ASSERT_EQ(p.read(reply, sizeof reply, 100), 64);
        EXPECT_EQ(p.elapsedMicroseconds(), c.elapsedUs) << int(c.packets) << "/" << c.commands;
    }
    // Nothing pending: a read times out after its time-out; after an unplug everything fails.
    p.reset();
    EXPECT_EQ(p.read(reply, sizeof reply, 7), 0);
    EXPECT_EQ(p.elapsedMicroseconds(), 7000u);
    p.unplugAfterReports(2);
    EXPECT_EQ(p.write(info.data(), info.size()), 3);
    EXPECT_EQ(p.write(info.data(), info.size()), -1);
    EXPECT_EQ(p.read(reply, sizeof reply, 7), -1);
}

TEST(CmsisDapProbe, PreloadedLibraryConfiguresFromTheEnvironment)
{
    CmsisDapProbe &p = CmsisDapProbe::instance();
    p.setEnabled(false);
    qputenv("QUORVEL_VPROBE_DAP_PACKETS", "2");
    qputenv("QUORVEL_VPROBE_DAP_REALTIME", "0");
    qputenv("QUORVEL_VPROBE_DAP_COMMAND_US", "250");
    qputenv("QUORVEL_VPROBE_USB", "fs-bulk");
    vprobe::configureCmsisDapFromEnvironment(); // no QUORVEL_VPROBE_KIND: stays off
    EXPECT_EQ(CmsisDapProbe::active(), nullptr);
    qputenv("QUORVEL_VPROBE_KIND", "cmsis-dap");
    vprobe::configureCmsisDapFromEnvironment();
    ASSERT_EQ(CmsisDapProbe::active(), &p);
    const Bytes info{0x00, 0x00, 0xFE};
    uint8_t reply[64];
    ASSERT_EQ(p.write(info.data(), info.size()), 3);
    ASSERT_EQ(p.read(reply, sizeof reply, 100), 64);
    EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x00, 0x01, 0x02}));
    EXPECT_EQ(p.elapsedMicroseconds(), 3000u); // accounted, not slept
    EXPECT_EQ(p.usb(), CmsisDapProbe::Usb::FsBulk);
    // An unknown link is refused and the probe keeps the one it had.
    qputenv("QUORVEL_VPROBE_USB", "usb3");
    vprobe::configureCmsisDapFromEnvironment();
    EXPECT_EQ(p.usb(), CmsisDapProbe::Usb::FsBulk);
    for (const char *name : {"QUORVEL_VPROBE_KIND", "QUORVEL_VPROBE_DAP_PACKETS",
                             "QUORVEL_VPROBE_DAP_REALTIME", "QUORVEL_VPROBE_USB"})
        qunsetenv(name);
    p.setUsb(CmsisDapProbe::Usb::FsHid);
    p.setEnabled(false);
    p.setPacketCount(4);
}

} // namespace
