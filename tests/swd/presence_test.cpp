// Which probes and boards there are: presence over SWD (no target, a glitch, a stale reply), the
// removal count, a probe listed twice in a gang, and one USB device's two interfaces as one probe.
#include "cmsisdap/cmsisdapprobe.h"
#include "engine/presence.h"
#include "engine/swdgangrunner.h"
#include "swd/link/dapprobes.h"
#include "virtualprobe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <gtest/gtest.h>

namespace {

using vprobe::CmsisDapProbe;
using Fault = CmsisDapProbe::BulkFault;

class PresenceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vprobe::VirtualProbe::instance().reset();
        probe().setUsb(CmsisDapProbe::Usb::HsBulk);
        probe().reset();
        probe().setEnabled(true);
    }
    void TearDown() override
    {
        probe().setEnabled(false);
        probe().setUsb(CmsisDapProbe::Usb::FsHid);
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

// Presence tells "no target" from a glitch, and a reply left behind by an earlier user of the
// probe answers nothing of the next one.
TEST_F(PresenceTest, PresenceIsAbsentOnlyWhenTheProbeSaysNoTargetAnswers)
{
    const uint8_t info[] = {0x00, 0x01}; // DAP_Info vendor: its reply is left unread
    const struct
    {
        const char *name;
        std::function<void()> arrange;
        engine::Presence expected;
        uint32_t idcode;
    } cases[] = {
        {"attached", [] {}, engine::Presence::Attached, 0x0BB11477},
        {"removed", [] { probe().device().setTargetAttached(false); }, engine::Presence::Absent, 0},
        {"stale reply",
         [&info] {
             int n = 0;
             probe().bulkWrite(info, sizeof info, &n);
             probe().bulkWrite(info, sizeof info, &n);
         },
         engine::Presence::Attached, 0x0BB11477},
        {"short reply", [] { probe().setBulkFault(Fault::ShortReply, 3); },
         engine::Presence::Unsure, 0},
        {"unplugged", [] { probe().unplugAfterReports(1); }, engine::Presence::LinkLost, 0},
    };
    for (const auto &c : cases) {
        probe().reset();
        OpenedDapProbe opened;
        QString error;
        ASSERT_EQ(opened.open(only(), DapTransportChoice::Bulk, error), SwdOk);
        c.arrange();
        uint32_t idcode = 1;
        EXPECT_EQ(engine::swdPresence(opened.transport(), job.clockHz, idcode), c.expected)
            << c.name;
        EXPECT_EQ(idcode, c.idcode) << c.name;
    }
}

TEST(Removal, NeedsConsecutiveNoTargetAnswers)
{
    using P = engine::Presence;
    const struct
    {
        std::vector<P> answers;
        P outcome;
        size_t asked;
    } cases[] = {
        {{P::Absent, P::Absent, P::Absent}, P::Absent, 3},
        // A glitch or an answer in between starts the count again.
        {{P::Attached, P::Unsure, P::Absent, P::Absent, P::Unsure, P::Absent, P::Absent, P::Absent},
         P::Absent,
         8},
        {{P::Absent, P::Absent, P::Attached, P::Absent, P::Absent, P::Absent}, P::Absent, 6},
        {{P::Absent, P::LinkLost}, P::LinkLost, 2},
        {{P::Attached, P::Attached}, P::Attached, 2}, // stopped by the pause
    };
    for (const auto &c : cases) {
        size_t asked = 0;
        const P got = engine::waitForRemoval([&] { return c.answers[asked++]; },
                                             [&] { return asked < c.answers.size(); });
        EXPECT_EQ(got, c.outcome) << c.answers.size();
        EXPECT_EQ(asked, c.asked) << c.answers.size();
    }
}

// The window polls on a timer: the same count, one answer at a time, and again from naught after
// a restart.
TEST(Removal, CountsOneAnswerAtATime)
{
    using P = engine::Presence;
    const struct
    {
        std::vector<P> answers;
        std::string gone; // gone() after each answer
    } cases[] = {
        {{P::Absent, P::Absent, P::Absent, P::Absent}, "0011"},
        {{P::Absent, P::Absent, P::Unsure, P::Absent, P::Absent, P::Absent}, "000001"},
        {{P::Absent, P::Absent, P::LinkLost, P::Absent}, "0000"},
        {{P::Attached, P::Attached}, "00"},
    };
    for (const auto &c : cases) {
        engine::RemovalCount count;
        std::string gone;
        for (P answer : c.answers)
            gone += count.gone(answer) ? '1' : '0';
        EXPECT_EQ(gone, c.gone);
        count.restart();
        EXPECT_FALSE(count.gone(P::Absent));
    }
}

// Between runs the window asks the probe, not the target: only a probe that no longer takes
// reports is gone; no target or a hung probe is not.
TEST_F(PresenceTest, TheProbeIsGoneOnlyWhenItTakesNoReports)
{
    const struct
    {
        const char *name;
        std::function<void()> arrange;
        bool gone;
    } cases[] = {
        {"answers", [] {}, false},
        {"no target", [] { probe().device().setTargetAttached(false); }, false},
        {"hung", [] { probe().silentAfterReports(1); }, false},
        {"unplugged", [] { probe().unplugAfterReports(1); }, true},
    };
    for (const auto &c : cases) {
        probe().reset();
        OpenedDapProbe opened;
        QString error;
        ASSERT_EQ(opened.open(only(), DapTransportChoice::Bulk, error), SwdOk);
        c.arrange();
        EXPECT_EQ(engine::swdProbeGone(opened.transport()), c.gone) << c.name;
    }
}

// The same probe named twice runs once: the second entry fails unopened, as on the dedicated gang
// (over HID, where nothing else would keep two threads off one probe).
TEST_F(PresenceTest, AProbeListedTwiceInAGangRunsOnce)
{
    const DapProbe p = only();
    std::atomic<int> runs{0};
    SwdGangRunner gang(Download(), {p, p}, DapTransportChoice::Hid, job.clockHz,
                       [&runs](int, DapTransport &, const Download &, const SwdProgress &) {
                           ++runs;
                           return SwdBoardOutcome{0, QStringLiteral("ok"), {}, {}};
                       });
    const std::vector<GangResult> results = gang.run();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(results[0].status, GangStatus::Passed);
    EXPECT_EQ(results[0].connectCode, 1);
    EXPECT_EQ(results[1].status, GangStatus::Failed);
    EXPECT_EQ(results[1].connectCode, -1);
    EXPECT_EQ(results[1].code, -1);
    EXPECT_EQ(results[1].path, "vprobe:0");
}

// The two interfaces of one USB device make one probe, found by where it sits on the bus; the
// serial number only when the HID path does not say.
TEST(DapProbeList, InterfacesOfOneDeviceAreMatchedByBusAndAddress)
{
    QTemporaryDir sysfs;
    const QString usb = sysfs.filePath("devices/usb3/3-1");
    ASSERT_TRUE(QDir().mkpath(usb + "/3-1:1.0/0003:0D28:0204.0007"));
    ASSERT_TRUE(QDir().mkpath(sysfs.filePath("class/hidraw/hidraw4")));
    for (const auto &[name, text] : {std::pair{"busnum", "3\n"}, std::pair{"devnum", "12\n"}}) {
        QFile f(usb + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    ASSERT_TRUE(QFile::link(usb + "/3-1:1.0/0003:0D28:0204.0007",
                            sysfs.filePath("class/hidraw/hidraw4/device")));
    const struct
    {
        const char *path;
        bool found;
        int bus, address;
    } paths[] = {
        {"0003:000c:00", true, 3, 12}, {"/dev/hidraw4", true, 3, 12}, {"/dev/hidraw5", false, 0, 0},
        {"/dev/hidrawx", false, 0, 0}, {"vprobe:0", false, 0, 0},     {"", false, 0, 0},
    };
    for (const auto &c : paths) {
        int bus = 0, address = 0;
        EXPECT_EQ(hidUsbLocation(c.path, bus, address, sysfs.path()), c.found) << c.path;
        if (c.found) {
            EXPECT_EQ(bus, c.bus) << c.path;
            EXPECT_EQ(address, c.address) << c.path;
        }
    }

    const auto hid = [](const char *path, const char *serial, int bus, int address) {
        DapProbe p;
        p.hidPath = path;
        p.serial = serial;
        p.bus = bus;
        p.address = address;
        return p;
    };
    const auto bulk = [](const char *serial, int bus, int address) {
        DapProbe p;
        p.serial = serial;
        p.bus = bus;
        p.address = address;
        p.usbPath = QStringLiteral("usb:%1-%2").arg(bus).arg(address);
        return p;
    };
    const struct
    {
        const char *name;
        std::vector<DapProbe> hids;
        DapProbe bulk;
        std::vector<const char *> expected; // transports of each probe listed
    } merges[] = {
        {"no serial, same device", {hid("/dev/hidraw4", "", 3, 12)}, bulk("", 3, 12), {"bulk,hid"}},
        {"no serial, other device",
         {hid("/dev/hidraw4", "", 3, 11)},
         bulk("", 3, 12),
         {"hid", "bulk"}},
        {"same serial, other device",
         {hid("/dev/hidraw4", "S1", 3, 11)},
         bulk("S1", 3, 12),
         {"hid", "bulk"}},
        {"unlocated, same serial", {hid("vprobe:0", "S1", -1, -1)}, bulk("S1", 1, 7), {"bulk,hid"}},
        {"unlocated, no serial", {hid("vprobe:0", "", -1, -1)}, bulk("", 1, 7), {"hid", "bulk"}},
    };
    for (const auto &m : merges) {
        std::vector<DapProbe> probes = m.hids;
        addBulkInterface(probes, m.bulk);
        ASSERT_EQ(probes.size(), m.expected.size()) << m.name;
        for (size_t k = 0; k < probes.size(); ++k)
            EXPECT_EQ(probes[k].transports().join(',').toStdString(), m.expected[k]) << m.name;
    }
}

} // namespace
