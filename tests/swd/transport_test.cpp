// The two transports to a CMSIS-DAP probe through the virtual probe's hidapi and libusb fronts:
// v2 discovery and claim, a probe that offers both, faults on the bus, the link and wire timing,
// and that a job writes the same flash whichever way it travels.
#include "cmsisdap/cmsisdapprobe.h"
#include "engine/presence.h"
#include "swd/link/dapprobes.h"
#include "swd/swdprogrammer.h"
#include "virtualprobe.h"

#include <QFileInfo>

#include <gtest/gtest.h>
#include <libusb.h>

namespace {

using vprobe::CmsisDapProbe;
using Usb = CmsisDapProbe::Usb;
using Fault = CmsisDapProbe::BulkFault;

class TransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vprobe::VirtualProbe::instance().reset();
        probe().setUsb(Usb::HsBulk);
        probe().reset();
        probe().setEnabled(true);
        job.flmDir = QFileInfo(QStringLiteral(QUORVEL_FLM_AP)).absolutePath();
    }
    void TearDown() override
    {
        probe().setEnabled(false);
        probe().setUsb(Usb::FsHid);
        probe().setHidReportSize(64);
        probe().setZeroLengthPackets(false);
        probe().setFlashTiming(20, 4000);
        for (int k = 1; k < 3; ++k) // the other probe indexes a test plugged in
            CmsisDapProbe::instance(k).setEnabled(false);
        vprobe::VirtualProbe::setCount(1);
    }
    static CmsisDapProbe &probe() { return CmsisDapProbe::instance(); }
    static DapProbe only()
    {
        const std::vector<DapProbe> found = listDapProbes();
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? DapProbe() : found.front();
    }

    SwdJob job;
};

TEST_F(TransportTest, V2InterfaceIsFoundClaimedOnceAndPreferred)
{
    const DapProbe p = only();
    EXPECT_EQ(p.transports(), (QStringList{"bulk", "hid"}));
    EXPECT_EQ(p.usbPath.toStdString(), "usb:1-7");
    EXPECT_EQ(p.serial.toStdString(), "QVP00000001");
    // Interface 1, its bulk OUT and IN; the SWO endpoint after them is left alone.
    EXPECT_EQ(p.interfaceNumber, 1);
    EXPECT_EQ(p.outEndpoint, 0x02);
    EXPECT_EQ(p.inEndpoint, 0x82);
    EXPECT_TRUE(p.matches("usb:1-7") && p.matches("vprobe:0") && p.matches("QVP00000001"));

    OpenedDapProbe first, second;
    QString error;
    ASSERT_EQ(first.open(p, DapTransportChoice::Preferred, error), SwdOk);
    EXPECT_STREQ(first.transportName(), "bulk");
    const ProbeCaps caps = probeCapabilities(first.transport());
    EXPECT_TRUE(caps.ok);
    EXPECT_EQ(caps.packetSize, 512);
    // Claimed: a second program is told so, and the HID interface is still there to use.
    EXPECT_EQ(second.open(p, DapTransportChoice::Bulk, error), SwdProbeLost);
    EXPECT_EQ(error.toStdString(), "probe usb:1-7 is busy: another program has claimed it");
    ASSERT_EQ(second.open(p, DapTransportChoice::Hid, error), SwdOk);
    EXPECT_STREQ(second.transportName(), "hid");
    EXPECT_EQ(probeCapabilities(second.transport()).packetSize, 64);

    first.close();
    probe().setBulkFault(Fault::KernelDriver);
    EXPECT_EQ(second.open(p, DapTransportChoice::Bulk, error), SwdProbeLost);
    EXPECT_EQ(error.toStdString(), "probe usb:1-7: a kernel driver holds interface 1");

    probe().setUsb(Usb::FsHid); // a v1 probe: HID only, bulk refused when insisted on
    const DapProbe v1 = only();
    EXPECT_EQ(v1.transports(), QStringList{"hid"});
    EXPECT_EQ(second.open(v1, DapTransportChoice::Bulk, error), SwdNotSwd);
    EXPECT_EQ(error.toStdString(), "probe vprobe:0 offers no CMSIS-DAP v2 (bulk) interface");
    ASSERT_EQ(second.open(v1, DapTransportChoice::Preferred, error), SwdOk);
    EXPECT_STREQ(second.transportName(), "hid");
}

TEST_F(TransportTest, AJobWritesTheSameFlashOverBothTransports)
{
    std::vector<uint8_t> image(0x1300);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = uint8_t(i * 13 + (i >> 9));
    job.images = {{0x200, image.data(), uint32_t(image.size()), "app.bin"}};
    job.eraseMode = job::SectorErase;
    std::vector<uint8_t> written[2];
    for (const DapTransportChoice choice : {DapTransportChoice::Hid, DapTransportChoice::Bulk}) {
        probe().reset();
        OpenedDapProbe opened;
        QString error;
        ASSERT_EQ(opened.open(only(), choice, error), SwdOk) << error.toStdString();
        const SwdResult r = runSwdJob(opened.transport(), job, {});
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        written[choice == DapTransportChoice::Bulk] =
            probe().device().target().flash(TargetModel::Bank::Aprom);
    }
    EXPECT_EQ(written[0], written[1]);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), written[1].begin() + 0x200));

    // Over bulk the next page starts on the poll's own transfer, only after a page that passed:
    // a failed page leaves the next one unwritten. No flash time: every poll finds a page done.
    probe().setFlashTiming(0, 0);
    for (const Usb usb : {Usb::FsBulk, Usb::HsBulk}) {
        SCOPED_TRACE(int(usb));
        probe().setUsb(usb);
        probe().reset();
        probe().device().target().addStuckBits(TargetModel::Bank::Aprom, 0x608, 0x4);
        OpenedDapProbe opened;
        QString error;
        ASSERT_EQ(opened.open(only(), DapTransportChoice::Bulk, error), SwdOk);
        const SwdResult r = runSwdJob(opened.transport(), job, {});
        EXPECT_EQ(r.message.toStdString(),
                  "QB48x_Flash_AP failed: ProgramPage(0x00000600) returned 1");
        const std::vector<uint8_t> &flash =
            probe().device().target().flash(TargetModel::Bank::Aprom);
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x400, flash.begin() + 0x200));
        EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 0x800, flash.begin() + 0xA00),
                  std::vector<uint8_t>(0x200, 0xFF));
    }
}

// Every virtual probe index is a CMSIS-DAP probe of its own: its own USB device and claim, its own
// target, and a debug port that stops answering only when its own board is taken out.
TEST_F(TransportTest, EachProbeIndexIsAnIndependentDevice)
{
    vprobe::VirtualProbe::setCount(3);
    const Usb links[] = {Usb::HsBulk, Usb::FsHid, Usb::FsBulk};
    for (int k = 0; k < 3; ++k) {
        CmsisDapProbe::instance(k).setUsb(links[k]);
        CmsisDapProbe::instance(k).reset();
        CmsisDapProbe::instance(k).setEnabled(true);
    }
    const std::vector<DapProbe> found = listDapProbes();
    ASSERT_EQ(found.size(), 3u);
    const char *expected[3][3] = {{"QVP00000001", "bulk,hid", "usb:1-7"},
                                  {"QVP00000002", "hid", ""},
                                  {"QVP00000003", "bulk,hid", "usb:1-9"}};
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(found[k].serial.toStdString(), expected[k][0]) << k;
        EXPECT_EQ(found[k].transports().join(',').toStdString(), expected[k][1]) << k;
        EXPECT_EQ(found[k].usbPath.toStdString(), expected[k][2]) << k;
    }
    OpenedDapProbe first, third;
    QString error;
    ASSERT_EQ(first.open(found[0], DapTransportChoice::Bulk, error), SwdOk);
    ASSERT_EQ(third.open(found[2], DapTransportChoice::Bulk, error), SwdOk) << error.toStdString();
    const std::vector<uint8_t> image(0x400, 0x5A);
    job.images = {{0, image.data(), uint32_t(image.size()), "app.bin"}};
    job.eraseMode = job::SectorErase;
    ASSERT_TRUE(runSwdJob(third.transport(), job, {}).ok());
    EXPECT_EQ(CmsisDapProbe::instance(2).device().target().flash(TargetModel::Bank::Aprom)[0x3FF],
              0x5A);
    EXPECT_EQ(CmsisDapProbe::instance(0).device().target().flash(TargetModel::Bank::Aprom)[0],
              0xFF);

    CmsisDapProbe::instance(2).device().setTargetAttached(false);
    uint32_t idcode = 0;
    EXPECT_EQ(engine::swdPresence(third.transport(), job.clockHz, idcode),
              engine::Presence::Absent);
    EXPECT_EQ(idcode, 0u);
    EXPECT_EQ(engine::swdPresence(first.transport(), job.clockHz, idcode),
              engine::Presence::Attached);
    EXPECT_EQ(idcode, 0x0BB11477u);
}

TEST_F(TransportTest, BusFaultsEndWithTheirCodeWithinTheTimeOut)
{
    const std::vector<uint8_t> bytes(0x400, 0x5A);
    job.images = {{0, bytes.data(), uint32_t(bytes.size()), "a.bin"}};
    const struct
    {
        const char *name;
        std::function<void()> inject;
        int code;
        const char *message;
    } cases[] = {
        {"stall", [] { probe().setBulkFault(Fault::Stall, 5); }, SwdNotSwd,
         "probe stalled the bulk write endpoint"},
        {"short", [] { probe().setBulkFault(Fault::ShortReply, 25); }, SwdBadReply, nullptr},
        {"long", [] { probe().setBulkFault(Fault::LongReply, 25); }, SwdBadReply,
         "probe answered command 0x05 with a reply to 0x00"},
        {"unplug", [] { probe().unplugAfterReports(40); }, SwdProbeLost,
         "probe disconnected (write failed)"},
        {"silent", [] { probe().silentAfterReports(40); }, SwdProbeTimeout, nullptr},
        {"zero-length packet", [] { probe().setBulkFault(Fault::ZeroLength, 3); }, SwdOk, nullptr},
    };
    for (const auto &c : cases) {
        probe().reset();
        OpenedDapProbe opened;
        QString error;
        ASSERT_EQ(opened.open(only(), DapTransportChoice::Bulk, error), SwdOk);
        c.inject();
        const SwdResult r = runSwdJob(opened.transport(), job, {});
        EXPECT_EQ(r.code, c.code) << c.name << ": " << r.message.toStdString();
        if (c.message) {
            EXPECT_EQ(r.message.toStdString(), c.message) << c.name;
        }
        // The reply time-out and the drain after it, not more.
        EXPECT_LT(probe().elapsedMicroseconds(), 2000000u) << c.name;
    }
}

TEST_F(TransportTest, LinksAndTheWireSetThePace)
{
    // 16 DAP_Info commands one at a time: an OUT packet, the probe's 100 us, an IN packet. A
    // bulk packet takes 1/19 ms at full speed and 1/104 ms at high speed.
    const uint8_t info[] = {0x00, 0xFE};
    const struct
    {
        Usb usb;
        uint64_t infoNs;
    } cases[] = {
        {Usb::FsBulk, 16 * (52631 + 100000 + 52631)},
        {Usb::HsBulk, 16 * (9615 + 100000 + 9615)},
    };
    uint8_t reply[1024];
    int n = 0;
    for (const auto &c : cases) {
        probe().setUsb(c.usb);
        probe().reset();
        probe().setRealTime(false);
        for (int i = 0; i < 16; ++i) {
            ASSERT_EQ(probe().bulkWrite(info, 2, &n), 0);
            ASSERT_EQ(probe().bulkRead(reply, sizeof reply, &n, 100), 0);
            ASSERT_EQ(n, 3);
        }
        EXPECT_EQ(probe().elapsedNanoseconds(), c.infoNs);
    }
    // Wire: DAP_SWJ_Clock 1 MHz, the switch to SWD, then a block of 100 IDCODE reads: 46 bits
    // each.
    const std::vector<std::vector<uint8_t>> bringUp{
        {0x02, 0x01},
        {0x11, 0x40, 0x42, 0x0F, 0x00},
        {0x12, 51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        {0x12, 16, 0x9E, 0xE7},
        {0x12, 51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    for (const std::vector<uint8_t> &command : bringUp) {
        ASSERT_EQ(probe().bulkWrite(command.data(), int(command.size()), &n), 0);
        ASSERT_EQ(probe().bulkRead(reply, sizeof reply, &n, 100), 0);
    }
    const uint8_t block[] = {0x06, 0x00, 100, 0x00, 0x02};
    const uint64_t before = probe().elapsedNanoseconds();
    ASSERT_EQ(probe().bulkWrite(block, sizeof block, &n), 0);
    ASSERT_EQ(probe().bulkRead(reply, sizeof reply, &n, 100), 0);
    ASSERT_EQ(n, 4 + 400);
    const uint64_t wire = 100 * 46 * 1000;
    EXPECT_EQ(probe().elapsedNanoseconds() - before, 9615 + 100000 + wire + 9615);
}

TEST_F(TransportTest, TheCoreRunsAsLongAsTheFlashIsBusy)
{
    const std::vector<uint8_t> bytes(0x200, 0x33); // one sector: an erase and 128 words
    job.images = {{0, bytes.data(), 0x200, "a.bin"}};
    job.eraseMode = job::SectorErase;
    job.verify = false;
    uint64_t elapsed[2];
    for (int flash = 0; flash < 2; ++flash) {
        probe().setFlashTiming(flash ? 20 : 0, flash ? 4000 : 0);
        probe().reset();
        OpenedDapProbe opened;
        QString error;
        ASSERT_EQ(opened.open(only(), DapTransportChoice::Bulk, error), SwdOk);
        ASSERT_TRUE(runSwdJob(opened.transport(), job, {}).ok());
        elapsed[flash] = probe().elapsedMicroseconds();
    }
    // Less at most what travels while the erase runs: the page, under 2 ms on this link.
    EXPECT_GE(elapsed[1] - elapsed[0], 4000u + 128 * 20 - 2000);
    EXPECT_LT(elapsed[1] - elapsed[0], 4000u + 128 * 20 + 1000);
}

// A reply that exactly fills a bulk packet comes without a zero-length packet after it (unless the
// probe adds one): block reads of (packet - 4) / 4 words do that on every link, and a read must
// never run into the next reply.
TEST_F(TransportTest, RepliesThatFillAPacketNeedNoZeroLengthPacket)
{
    std::vector<uint8_t> image(0x2000);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = uint8_t(i * 29 + (i >> 8));
    job.images = {{0, image.data(), uint32_t(image.size()), "app.bin"}};
    job.eraseMode = job::SectorErase;
    const struct
    {
        Usb usb;
        bool zlp;
        SwdVerifyMode verify;
    } cases[] = {
        {Usb::FsBulk, false, SwdVerifyCrc},     {Usb::FsBulk, false, SwdVerifyReadback},
        {Usb::HsBulk, false, SwdVerifyCrc},     {Usb::HsBulk, false, SwdVerifyReadback},
        {Usb::HsBulk, true, SwdVerifyReadback},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.usb) * 10 + c.zlp * 2 + int(c.verify));
        probe().setUsb(c.usb);
        probe().setZeroLengthPackets(c.zlp);
        probe().reset();
        job.verifyMode = c.verify;
        OpenedDapProbe opened;
        QString error;
        ASSERT_EQ(opened.open(only(), DapTransportChoice::Bulk, error), SwdOk);
        const SwdResult r = runSwdJob(opened.transport(), job, {});
        EXPECT_EQ(r.code, SwdOk) << r.message.toStdString();
        const std::vector<uint8_t> &flash =
            probe().device().target().flash(TargetModel::Bank::Aprom);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    }
}

// v1 probes on a high-speed link carry 512- or 1024-byte reports: the packet size is DAP_Info's.
TEST_F(TransportTest, HidReportsOfEverySizeCarryAJob)
{
    probe().setUsb(Usb::FsHid);
    const std::vector<uint8_t> image(0x1000, 0xA7);
    job.images = {{0x400, image.data(), uint32_t(image.size()), "app.bin"}};
    job.eraseMode = job::SectorErase;
    job.verifyMode = SwdVerifyReadback;
    for (const uint16_t report : {64, 512, 1024}) {
        SCOPED_TRACE(report);
        probe().setHidReportSize(report);
        probe().reset();
        OpenedDapProbe opened;
        QString error;
        ASSERT_EQ(opened.open(only(), DapTransportChoice::Hid, error), SwdOk);
        const ProbeCaps caps = probeCapabilities(opened.transport());
        EXPECT_TRUE(caps.ok) << caps.error.toStdString();
        EXPECT_EQ(caps.packetSize, report);
        const SwdResult r = runSwdJob(opened.transport(), job, {});
        EXPECT_EQ(r.code, SwdOk) << r.message.toStdString();
        EXPECT_EQ(probe().device().target().flash(TargetModel::Bank::Aprom)[0x13FF], 0xA7);
    }
}

} // namespace
