// Opening, identifying and closing the probe, and DAP_Info, against the virtual probe.
#include "probe/linkfixture.h"

#include <QtGlobal>
#include <cstring>

using vprobe::ReplyFault;
using vprobe::TraceEntry;

namespace {

QStringList debugLines;

void collect(QtMsgType, const QMessageLogContext &, const QString &text)
{
    debugLines << text;
}

bool closedAfterOpen()
{
    bool opened = false;
    for (const auto &e : vprobe::VirtualProbe::instance().trace()) {
        if (e.kind == TraceEntry::Kind::Open && e.result != 0)
            opened = true;
        if (e.kind == TraceEntry::Kind::Close && opened)
            return true;
    }
    return false;
}

} // namespace

class Connection : public LinkTest
{
protected:
    void setIdentity(void (*change)(vprobe::ProbeIdentity &))
    {
        vprobe::ProbeIdentity id = probe().identity();
        change(id);
        probe().setIdentity(id);
    }

    void expectClosed()
    {
        EXPECT_EQ(d.connected, 0);
        EXPECT_EQ(d.device, nullptr);
    }
};

TEST_F(Connection, FirmwareWordRange)
{
    const struct
    {
        uint32_t probeId;
        int32_t result;
    } cases[] = {
        {0x6CFF0190, 1}, {0x6CFF019F, 1}, {0x6CFF018F, -2}, {0x6CFF01A0, -2}, {0, -2},
    };
    for (const auto &c : cases) {
        probe().reset();
        Download rec;
        vprobe::ProbeIdentity id = probe().identity();
        id.probeId = c.probeId;
        probe().setIdentity(id);
        EXPECT_EQ(rec.toggleConnection(), c.result) << std::hex << c.probeId;
        EXPECT_EQ(rec.probeId, c.probeId);
        EXPECT_EQ(rec.connected, c.result == 1 ? 1 : 0);
        EXPECT_EQ(rec.device == nullptr, c.result != 1);
        if (c.result == -2) {
            EXPECT_TRUE(closedAfterOpen());
        } else {
            EXPECT_EQ(rec.toggleConnection(), 0);
        }
    }
}

TEST_F(Connection, ManufacturerAndProductStrings)
{
    const struct
    {
        const wchar_t *manufacturer;
        int manufacturerResult;
        const wchar_t *product;
        int productResult;
        int32_t result;
    } cases[] = {
        {L"ARM", 0, L"", 0, 1},
        {L"ARM", 0, L"anything at all", 0, 1},
        {L"ARMx", 0, L"CMSIS-DAP", 0, -1},
        {L"AR", 0, L"CMSIS-DAP", 0, -1},
        {L"arm", 0, L"CMSIS-DAP", 0, -1},
        {L"ARM", -1, L"CMSIS-DAP", 0, -1},
        {L"ARM", 0, L"CMSIS-DAP", -1, -1},
    };
    for (const auto &c : cases) {
        probe().reset();
        Download rec;
        vprobe::ProbeIdentity id = probe().identity();
        id.manufacturer = c.manufacturer;
        id.manufacturerResult = c.manufacturerResult;
        id.product = c.product;
        id.productResult = c.productResult;
        probe().setIdentity(id);
        EXPECT_EQ(rec.toggleConnection(), c.result)
            << QString::fromWCharArray(c.manufacturer).toStdString();
        if (c.result == -1) {
            EXPECT_EQ(rec.device, nullptr);
            EXPECT_EQ(rec.connected, 0);
            EXPECT_TRUE(closedAfterOpen());
            EXPECT_TRUE(probe().commandsWritten().empty()) << "no DAP_Info to a refused device";
        } else {
            rec.toggleConnection();
        }
    }
}

TEST_F(Connection, NoProbe)
{
    probe().setPresent(false);
    EXPECT_EQ(d.toggleConnection(), -1);
    expectClosed();
    EXPECT_TRUE(commands().empty());
}

TEST_F(Connection, OpenIdentifiesWithTwoInfoRequests)
{
    vprobe::ProbeIdentity id = probe().identity();
    for (int k = 0; k < 16; ++k)
        id.firmwareInfo[k] = uint8_t(0x30 + k);
    probe().setIdentity(id);
    debugLines.clear();
    qInstallMessageHandler(collect);
    const int32_t opened = d.toggleConnection();
    qInstallMessageHandler(nullptr);

    ASSERT_EQ(opened, 1);
    EXPECT_EQ(d.connected, 1);
    EXPECT_EQ(d.probeId, 0x6CFF0197u);
    EXPECT_EQ(Bytes(d.firmwareInfo, d.firmwareInfo + 16),
              Bytes(id.firmwareInfo.begin(), id.firmwareInfo.end()));
    EXPECT_EQ(debugLines, QStringList{" DAPLink Probe Succeed"});
    const auto info = written(0x00);
    ASSERT_EQ(info.size(), 2u);
    Bytes a0(65, 0);
    a0[2] = 0xA0;
    Bytes a1(65, 0);
    a1[2] = 0xA1;
    EXPECT_EQ(info[0], a0);
    EXPECT_EQ(info[1], a1);
    EXPECT_EQ(readTimeouts(0x00), (std::vector<int>{200, 200}));

    EXPECT_EQ(d.toggleConnection(), 0);
    expectClosed();
    EXPECT_EQ(Bytes(d.firmwareInfo, d.firmwareInfo + 16), Bytes(16, 0));
    EXPECT_EQ(d.probeId, 0x6CFF0197u) << "kept after close";
}

TEST_F(Connection, CloseAfterUnplugStillCloses)
{
    open();
    probe().unplugNow();
    EXPECT_EQ(d.toggleConnection(), 0);
    expectClosed();
    EXPECT_EQ(d.toggleConnection(), -1) << "the unplugged probe cannot be reopened";
}

TEST_F(Connection, MalformedReadsAreTransportFailures)
{
    open();
    for (ReplyFault fault : {ReplyFault::Short, ReplyFault::Long, ReplyFault::Withhold}) {
        const int count = fault == ReplyFault::Withhold ? -1 : 1; // a late reply would be stale
        probe().failNext(0x00, fault, count);
        uint8_t buffer[64] = {};
        uint8_t length = 0xEE;
        EXPECT_EQ(d.dapInfo(0xA0, buffer, &length), -1) << int(fault);
        EXPECT_EQ(length, 0xEE);
        EXPECT_EQ(d.inReport[64], 0) << "spare byte stays clean";
        probe().failNext(0x9F, fault, count);
        EXPECT_EQ(d.finishJob(), -1) << int(fault);
    }
    uint8_t buffer[64] = {};
    uint8_t length = 0;
    EXPECT_EQ(d.dapInfo(0xA0, buffer, &length), 0) << "nothing left over from the faults";
}

TEST_F(Connection, FailedIdRequestRefusesTheProbe)
{
    probe().failNext(0x00, ReplyFault::Short);
    EXPECT_EQ(d.toggleConnection(), -2);
    EXPECT_EQ(d.probeId, 0u);
    expectClosed();
}

// An oversized length byte must not overrun the caller's buffer or firmwareInfo.
TEST_F(Connection, InfoLengthIsClamped)
{
    vprobe::ProbeIdentity id = probe().identity();
    id.infoLengthByte = 255;
    for (int k = 0; k < 16; ++k)
        id.firmwareInfo[k] = uint8_t(0xC0 + k);
    probe().setIdentity(id);
    ASSERT_EQ(d.toggleConnection(), 1);
    EXPECT_EQ(d.probeId, 0x6CFF0197u);
    EXPECT_EQ(Bytes(d.firmwareInfo, d.firmwareInfo + 16),
              Bytes(id.firmwareInfo.begin(), id.firmwareInfo.end()));
    EXPECT_EQ(d.settingsFlag, 1) << "the field after firmwareInfo is untouched";

    uint8_t buffer[66];
    std::memset(buffer, 0xEE, sizeof buffer);
    uint8_t length = 0;
    ASSERT_EQ(d.dapInfo(0xA1, buffer, &length), 0);
    EXPECT_EQ(length, 62);
    EXPECT_EQ(buffer[62], 0xEE);
    EXPECT_EQ(buffer[63], 0xEE);
}
