// Enumerating the virtual probes, opening one by path or serial number, and connecting a job
// record to one by path.
#include "download.h"
#include "probe/probelist.h"
#include "virtualprobe/virtualprobe.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

using vprobe::VirtualProbe;

namespace {

// Probe 1 unplugged; probe 2 of another product id and firmware 1.85; probe 3 with an unreadable
// product string.
class ProbeList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plug(4);
        VirtualProbe::probe(1).setPresent(false);
        vprobe::ProbeIdentity id = VirtualProbe::probe(2).identity();
        id.productId = 0x0205;
        id.probeId = 0x6CFF0185;
        VirtualProbe::probe(2).setIdentity(id);
        id = VirtualProbe::probe(3).identity();
        id.productResult = -1;
        VirtualProbe::probe(3).setIdentity(id);
    }
    void TearDown() override { plug(1); }
    static void plug(int n)
    {
        for (int k = 0; k < 4; ++k)
            VirtualProbe::probe(k).reset();
        VirtualProbe::setCount(n);
    }
};

TEST_F(ProbeList, EnumeratesPresentProbesFilteredByIds)
{
    QStringList listed;
    for (const ProbeInfo &p : listProbes())
        listed << QString::asprintf("%s %s %s/%s %04X:%04X", p.path.constData(),
                                    qPrintable(p.serial), qPrintable(p.manufacturer),
                                    qPrintable(p.product), p.vendorId, p.productId);
    EXPECT_EQ(listed,
              QStringList({"vprobe:0 QVP00000001 ARM/Quorvel Virtual CMSIS-DAP 0D28:0204",
                           "vprobe:3 QVP00000004 ARM/ 0D28:0204"}));
    const struct
    {
        unsigned short vid, pid;
        std::string paths;
    } cases[] = {
        {0, 0, "vprobe:0 vprobe:2 vprobe:3 "},
        {0x0D28, 0, "vprobe:0 vprobe:2 vprobe:3 "},
        {0, 0x0205, "vprobe:2 "},
        {0x1234, 0, ""},
    };
    for (const auto &c : cases) {
        hid_device_info *list = hid_enumerate(c.vid, c.pid);
        std::string paths;
        for (const hid_device_info *i = list; i; i = i->next)
            paths += std::string(i->path) + (i->interface_number == 0 ? " " : "?");
        hid_free_enumeration(list);
        EXPECT_EQ(paths, c.paths) << c.vid << ":" << c.pid;
    }
}

// Opening by path or serial reaches that probe alone; connecting by path identifies it as the
// connect button does (firmware word kept for -2).
TEST_F(ProbeList, OpensAndConnectsByPathOrSerial)
{
    const struct
    {
        const char *path;
        const wchar_t *serial;
        int probe; // -1: nothing opens
        int32_t connect; // connectProbeAt for a path
        uint32_t probeId;
    } cases[] = {
        {"vprobe:0", nullptr, 0, 1, 0x6CFF0197},
        {"vprobe:2", nullptr, 2, -2, 0x6CFF0185},
        {"vprobe:3", nullptr, 3, -1, 0},
        {"vprobe:1", nullptr, -1, -1, 0},
        {"vprobe:4", nullptr, -1, -1, 0},
        {"vprobe:02", nullptr, -1, -1, 0},
        {"", nullptr, -1, -1, 0},
        {nullptr, L"QVP00000004", 3, 0, 0},
        {nullptr, L"QVP00000002", -1, 0, 0},
        {nullptr, L"QVP00000003", -1, 0, 0}, // other product
        {nullptr, L"QVP", -1, 0, 0},
    };
    for (const auto &c : cases) {
        hid_device *dev = c.path ? hid_open_path(c.path) : hid_open(0x0D28, 0x0204, c.serial);
        ASSERT_EQ(dev != nullptr, c.probe >= 0) << (c.path ? c.path : "serial");
        if (dev) {
            wchar_t serial[64] = {};
            EXPECT_EQ(hid_get_serial_number_string(dev, serial, 64), 0);
            EXPECT_EQ(std::wstring(serial), VirtualProbe::probe(c.probe).serialNumber());
            const int other = c.probe ? 0 : 3;
            VirtualProbe::probe(other).clearTrace();
            const unsigned char info[65] = {0, 0x00, 0xA0};
            EXPECT_EQ(hid_write(dev, info, 65), 65);
            EXPECT_EQ(VirtualProbe::probe(c.probe).commandsWritten().back(), 0x00);
            EXPECT_TRUE(VirtualProbe::probe(other).trace().empty());
            hid_close(dev);
        }
        if (!c.path)
            continue;
        Download d;
        EXPECT_EQ(connectProbeAt(d, c.path), c.connect) << c.path;
        EXPECT_EQ(d.connected == 1 && d.device, c.connect == 1);
        EXPECT_EQ(d.probeId, c.probeId);
        if (d.connected)
            d.toggleConnection();
    }
}

} // namespace
