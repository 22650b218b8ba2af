// The hidapi contract of the virtual probe: opening, strings, DAP_Info, write/read return values,
// injected faults, queued replies, unplugging, virtual time and the trace.
#include "probekit.h"

#include <atomic>
#include <thread>

using namespace kit;
using vprobe::ReplyFault;
using vprobe::TraceEntry;

namespace {

struct OpenCase
{
    bool present;
    unsigned short vid, pid;
    const wchar_t *serial;
    bool opens;
};

TEST(HidOpen, FindsOnlyAPresentProbeWithItsIds)
{
    const OpenCase cases[] = {
        {true, 0x0D28, 0x0204, nullptr, true},  {false, 0x0D28, 0x0204, nullptr, false},
        {true, 0x0D28, 0x0205, nullptr, false}, {true, 0x1234, 0x0204, nullptr, false},
        {true, 0x0D28, 0x0204, L"0001", false},
    };
    for (const OpenCase &c : cases) {
        auto &probe = vprobe::VirtualProbe::instance();
        probe.reset();
        probe.setPresent(c.present);
        hid_device *dev = hid_open(c.vid, c.pid, c.serial);
        EXPECT_EQ(dev != nullptr, c.opens) << c.vid << ":" << c.pid;
        hid_close(dev);
    }
}

class HidFront : public ProbeTest
{ };

TEST_F(HidFront, StringsAreCutToMaxlenAndFailWhenConfiguredTo)
{
    wchar_t buf[64];
    EXPECT_EQ(hid_get_manufacturer_string(dev, buf, 64), 0);
    EXPECT_EQ(std::wstring(buf), L"ARM");
    EXPECT_EQ(hid_get_manufacturer_string(dev, buf, 3), 0);
    EXPECT_EQ(std::wstring(buf), L"AR");
    EXPECT_EQ(hid_get_product_string(dev, buf, 64), 0);
    EXPECT_EQ(std::wstring(buf), L"Quorvel Virtual CMSIS-DAP");

    vprobe::ProbeIdentity id;
    id.manufacturer = L"ARMX";
    id.productResult = -1;
    probe().setIdentity(id);
    EXPECT_EQ(hid_get_manufacturer_string(dev, buf, 64), 0);
    EXPECT_EQ(std::wstring(buf), L"ARMX");
    EXPECT_EQ(hid_get_product_string(dev, buf, 64), -1);
    probe().unplugNow();
    EXPECT_EQ(hid_get_manufacturer_string(dev, buf, 64), -1);
}

TEST_F(HidFront, DapInfoAnswersVendorIdsAndForcedLength)
{
    vprobe::ProbeIdentity id;
    for (uint8_t i = 0; i < 16; ++i)
        id.firmwareInfo[i] = uint8_t(0x30 + i);
    probe().setIdentity(id);
    Bytes a0 = exchange(report(0x00, {0xA0}), 200);
    EXPECT_EQ(Bytes(a0.begin(), a0.begin() + 6), (Bytes{0x00, 0x04, 0x97, 0x01, 0xFF, 0x6C}));
    Bytes a1 = exchange(report(0x00, {0xA1}), 200);
    EXPECT_EQ(a1[1], 16);
    EXPECT_EQ(Bytes(a1.begin() + 2, a1.begin() + 18),
              Bytes(id.firmwareInfo.begin(), id.firmwareInfo.end()));
    EXPECT_EQ(exchange(report(0x00, {0x05}), 200)[1], 0); // unknown id: no data
    for (size_t at : {3, 33, 64}) {
        Report extra = report(0x00, {0xA0});
        extra[at] = 0x01;
        EXPECT_EQ(exchange(extra, 200), reply64({0xFF})) << at;
    }

    id.infoLengthByte = 200;
    probe().setIdentity(id);
    Bytes forced = exchange(report(0x00, {0xA1}), 200);
    ASSERT_EQ(forced.size(), 64u);
    EXPECT_EQ(forced[1], 200);
}

TEST_F(HidFront, WriteCountsTheReportIdAndRefusesWhatCannotBeSent)
{
    Report r = report(0x00, {0xA0});
    EXPECT_EQ(hid_write(dev, r.data(), 65), 65);
    uint8_t tooLong[66] = {};
    EXPECT_EQ(hid_write(dev, tooLong, 66), -1);
    for (size_t shortLength : {0, 1, 2, 33, 64})
        EXPECT_EQ(hid_write(dev, r.data(), shortLength), -1) << shortLength;
    r[0] = 1; // no numbered reports on this device
    EXPECT_EQ(hid_write(dev, r.data(), 65), -1);
    r[0] = 0;
    probe().unplugNow();
    EXPECT_EQ(hid_write(dev, r.data(), 65), -1);
}

TEST_F(HidFront, FaultsSpoilTheReplyTheWayTheHostWillSeeIt)
{
    struct Case
    {
        ReplyFault fault;
        uint8_t value;
        size_t buffer;
        int result;
        uint8_t byte0, byte1;
    };
    const Case cases[] = {
        {ReplyFault::Short, 0, 65, 63, 0x94, 0x04},
        {ReplyFault::Long, 0, 65, 65, 0x94, 0x04},
        {ReplyFault::Long, 0, 64, 64, 0x94, 0x04},
        {ReplyFault::WrongEcho, 0, 65, 64, 0x6B, 0x04},
        {ReplyFault::Status, 0x05, 65, 64, 0x94, 0x05},
    };
    for (const Case &c : cases) {
        probe().failNext(0x94, c.fault, 1, c.value);
        Report r = report(0x94);
        ASSERT_EQ(hid_write(dev, r.data(), 65), 65);
        uint8_t in[65] = {};
        EXPECT_EQ(hid_read_timeout(dev, in, c.buffer, 200), c.result);
        EXPECT_EQ(in[0], c.byte0);
        EXPECT_EQ(in[1], c.byte1);
        EXPECT_EQ(exchange(report(0x94)).size(), 64u) << "a fault of count 1 spoils one reply";
    }
}

TEST_F(HidFront, WithheldReplyTimesOutForCountReadsInVirtualTime)
{
    probe().failNext(0x94, ReplyFault::Withhold, 3);
    Report r = report(0x94);
    ASSERT_EQ(hid_write(dev, r.data(), 65), 65);
    uint8_t in[65];
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(hid_read_timeout(dev, in, 65, 400), 0);
    EXPECT_EQ(hid_read_timeout(dev, in, 65, 400), 64);
    EXPECT_EQ(probe().virtualTimeMs(), 1200u);

    probe().failNext(0x94, ReplyFault::Withhold, -1);
    ASSERT_EQ(hid_write(dev, r.data(), 65), 65);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(hid_read_timeout(dev, in, 65, 100), 0);
    EXPECT_EQ(probe().virtualTimeMs(), 2200u);
}

TEST_F(HidFront, StatusFaultWithCountSpoilsThatManyReplies)
{
    probe().failNext(0x95, ReplyFault::Status, 2, 0x07);
    exchange(report(0x94));
    EXPECT_EQ(status(report(0x95, {2})), 0x07);
    EXPECT_EQ(status(report(0x95, {2})), 0x07);
    EXPECT_EQ(status(report(0x95, {2})), 0x01);
}

TEST_F(HidFront, QueuedRepliesAnswerOneRequestAndItsExtraRead)
{
    probe().queueReply(0x94, Bytes(64, 0x11));
    Bytes fives(64, 0);
    fives[0] = 0x05;
    probe().queueReply(0x94, fives);
    EXPECT_EQ(exchange(report(0x94)), Bytes(64, 0x11));
    uint8_t in[65] = {};
    EXPECT_EQ(hid_read_timeout(dev, in, 65, 200), 64);
    EXPECT_EQ(in[0], 0x05);
    EXPECT_EQ(hid_read_timeout(dev, in, 65, 200), 0);
    EXPECT_EQ(exchange(report(0x94))[1], 0x04) << "the natural reply is back";
}

TEST_F(HidFront, UnplugAfterReportsKillsTheNthExchangeAndTheHandle)
{
    probe().unplugAfterReports(2);
    EXPECT_EQ(exchange(report(0x94)).size(), 64u);
    Report r = report(0x94);
    EXPECT_EQ(hid_write(dev, r.data(), 65), 65);
    uint8_t in[65];
    EXPECT_EQ(hid_read_timeout(dev, in, 65, 200), -1);
    EXPECT_EQ(hid_write(dev, r.data(), 65), -1);
    EXPECT_EQ(hid_open(0x0D28, 0x0204, nullptr), nullptr);

    probe().setPresent(true);
    hid_device *fresh = hid_open(0x0D28, 0x0204, nullptr);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(hid_write(fresh, r.data(), 65), 65);
    EXPECT_EQ(hid_write(dev, r.data(), 65), -1) << "a handle from before the unplug stays dead";
    hid_close(fresh);
}

TEST_F(HidFront, UnknownCommandsGetTheInvalidMarker)
{
    for (uint8_t command : {0x77, 0x90, 0x9B, 0x01})
        EXPECT_EQ(exchange(report(command)).at(0), 0xFF) << int(command);
}

TEST_F(HidFront, TraceHoldsWritesReadsTimeoutsAndResults)
{
    probe().clearTrace();
    exchange(report(0x00, {0xA0}), 200);
    uint8_t in[65];
    EXPECT_EQ(hid_read_timeout(dev, in, 65, 300), 0);
    const std::vector<TraceEntry> t = probe().trace();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].kind, TraceEntry::Kind::Write);
    EXPECT_EQ(t[0].result, 65);
    const Report written = report(0x00, {0xA0});
    EXPECT_EQ(t[0].data, Bytes(written.begin(), written.end()));
    EXPECT_EQ(t[1].kind, TraceEntry::Kind::Read);
    EXPECT_EQ(t[1].timeoutMs, 200);
    EXPECT_EQ(t[1].result, 64);
    EXPECT_EQ(Bytes(t[1].data.begin(), t[1].data.begin() + 6),
              (Bytes{0x00, 0x04, 0x97, 0x01, 0xFF, 0x6C}));
    EXPECT_EQ(t[2].timeoutMs, 300);
    EXPECT_EQ(t[2].result, 0);
    EXPECT_TRUE(t[2].data.empty());
    EXPECT_EQ(probe().commandsWritten(), Bytes{0x00});
    probe().setTraceLimit(1);
    ASSERT_EQ(probe().trace().size(), 1u);
    EXPECT_EQ(probe().trace()[0].timeoutMs, 300) << "the newest entry is kept";
}

TEST_F(HidFront, VirtualLatencyIsAddedPerAnsweredRead)
{
    probe().setLatencyMicroseconds(1500, false);
    exchange(report(0x94));
    exchange(report(0x94));
    EXPECT_EQ(probe().virtualTimeMs(), 3u);
}

TEST_F(HidFront, ConfigurationFromAnotherThreadDoesNotDisturbExchanges)
{
    std::atomic<bool> stop{false};
    std::thread other([&] {
        while (!stop) {
            probe().setChip(probe().chip());
            probe().trace();
        }
    });
    int answered = 0;
    for (int i = 0; i < 300; ++i)
        answered += exchange(report(0x94)).size() == 64;
    stop = true;
    other.join();
    EXPECT_EQ(answered, 300);
}

TEST_F(HidFront, ChipDetectAndCheckReportTheSimulatedChip)
{
    vprobe::ChipState chip;
    chip.bootSource = 1;
    chip.detectionError = true;
    chip.readProtected = true;
    probe().setChip(chip);
    EXPECT_EQ(status(report(0x95, {2})), vprobe::OutOfOrder) << "check before detect";
    Bytes detect = exchange(report(0x94, {0x01}), 200);
    EXPECT_EQ(Bytes(detect.begin(), detect.begin() + 6),
              (Bytes{0x94, 0x04, 0x48, 0x4B, 0x48, 0x00}));
    Bytes check = exchange(report(0x95, {2}), 2000);
    EXPECT_EQ(Bytes(check.begin(), check.begin() + 5), (Bytes{0x95, 0x01, 0x02, 0xA1, 0x01}));
    EXPECT_EQ(status(report(0x94, {0x02})), vprobe::BadLayout) << "force flag is 0 or 1";
}

} // namespace
