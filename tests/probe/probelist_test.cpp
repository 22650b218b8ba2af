// Enumerating the virtual probes, opening one by path or serial number, and connecting a job
// record to one by path.
#include "download.h"
#include "probe/probelist.h"
#include "virtualprobe/virtualprobe.h"

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <string>

using vprobe::VirtualProbe;

namespace {

class ProbeList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VirtualProbe::setCount(3);
        for (int k = 0; k < 3; ++k)
            VirtualProbe::probe(k).reset();
    }
    void TearDown() override
    {
        for (int k = 0; k < 3; ++k)
            VirtualProbe::probe(k).reset();
        VirtualProbe::setCount(1);
    }
};

TEST_F(ProbeList, ListsPresentProbesInOrder)
{
    VirtualProbe::probe(1).setPresent(false);
    vprobe::ProbeIdentity id = VirtualProbe::probe(2).identity();
    id.productResult = -1;
    VirtualProbe::probe(2).setIdentity(id);
    const std::vector<ProbeInfo> probes = listProbes();
    ASSERT_EQ(probes.size(), 2u);
    EXPECT_EQ(probes[0].path, QByteArray("vprobe:0"));
    EXPECT_EQ(probes[0].serial, QString("QVP00000001"));
    EXPECT_EQ(probes[0].manufacturer, QString("ARM"));
    EXPECT_EQ(probes[0].product, QString("Quorvel Virtual CMSIS-DAP"));
    EXPECT_EQ(probes[0].vendorId, 0x0D28);
    EXPECT_EQ(probes[0].productId, 0x0204);
    EXPECT_EQ(probes[1].path, QByteArray("vprobe:2"));
    EXPECT_EQ(probes[1].serial, QString("QVP00000003"));
    EXPECT_EQ(probes[1].product, QString());
}

TEST_F(ProbeList, EnumerationFiltersByIdsZeroMeaningAny)
{
    vprobe::ProbeIdentity id = VirtualProbe::probe(1).identity();
    id.productId = 0x0205;
    VirtualProbe::probe(1).setIdentity(id);
    const struct
    {
        unsigned short vid, pid;
        std::string paths;
    } cases[] = {
        {0, 0, "vprobe:0 vprobe:1 vprobe:2 "},
        {0x0D28, 0, "vprobe:0 vprobe:1 vprobe:2 "},
        {0x0D28, 0x0204, "vprobe:0 vprobe:2 "},
        {0, 0x0205, "vprobe:1 "},
        {0x1234, 0, ""},
    };
    for (const auto &c : cases) {
        hid_device_info *list = hid_enumerate(c.vid, c.pid);
        std::string paths;
        for (const hid_device_info *i = list; i; i = i->next) {
            paths += std::string(i->path) + " ";
            EXPECT_EQ(i->interface_number, 0);
            EXPECT_EQ(i->usage_page, 0xFF00);
        }
        hid_free_enumeration(list);
        EXPECT_EQ(paths, c.paths) << c.vid << ":" << c.pid;
    }
}

TEST_F(ProbeList, OpensByPathAndSerialAndReportsTheSerial)
{
    VirtualProbe::probe(1).setPresent(false);
    const struct
    {
        const char *path;
        const wchar_t *serial;
        int probe; // -1: nothing opens
    } cases[] = {
        {"vprobe:2", nullptr, 2},
        {"vprobe:1", nullptr, -1},
        {"vprobe:3", nullptr, -1},
        {"vprobe:02", nullptr, -1},
        {"", nullptr, -1},
        {nullptr, L"QVP00000003", 2},
        {nullptr, L"QVP00000002", -1},
        {nullptr, L"QVP00000004", -1},
        {nullptr, L"QVP", -1},
    };
    for (const auto &c : cases) {
        hid_device *dev = c.path ? hid_open_path(c.path) : hid_open(0x0D28, 0x0204, c.serial);
        ASSERT_EQ(dev != nullptr, c.probe >= 0) << (c.path ? c.path : "serial");
        if (!dev)
            continue;
        wchar_t serial[64] = {};
        EXPECT_EQ(hid_get_serial_number_string(dev, serial, 64), 0);
        EXPECT_EQ(std::wstring(serial), VirtualProbe::probe(c.probe).serialNumber());
        // The handle talks to its own probe only.
        VirtualProbe::probe(0).clearTrace();
        const unsigned char info[65] = {0, 0x00, 0xA0};
        EXPECT_EQ(hid_write(dev, info, 65), 65);
        EXPECT_EQ(VirtualProbe::probe(c.probe).commandsWritten().back(), 0x00);
        EXPECT_TRUE(VirtualProbe::probe(0).commandsWritten().empty());
        hid_close(dev);
    }
}

TEST_F(ProbeList, ConnectsByPathWithTheConnectionCodes)
{
    vprobe::ProbeIdentity foreign = VirtualProbe::probe(1).identity();
    foreign.manufacturer = L"ARMX";
    VirtualProbe::probe(1).setIdentity(foreign);
    vprobe::ProbeIdentity old = VirtualProbe::probe(2).identity();
    old.probeId = 0x6CFF0185;
    VirtualProbe::probe(2).setIdentity(old);
    const struct
    {
        QByteArray path;
        int32_t code;
        uint32_t probeId;
    } cases[] = {
        {"vprobe:0", 1, 0x6CFF0197}, {"vprobe:1", -1, 0}, {"vprobe:2", -2, 0x6CFF0185},
        {"vprobe:9", -1, 0},         {"", -1, 0},
    };
    for (const auto &c : cases) {
        Download d;
        EXPECT_EQ(connectProbeAt(d, c.path), c.code) << c.path.constData();
        EXPECT_EQ(d.connected, c.code == 1 ? 1 : 0);
        EXPECT_EQ(d.device != nullptr, c.code == 1);
        EXPECT_EQ(d.probeId, c.probeId);
        if (d.connected) {
            EXPECT_EQ(d.toggleConnection(), 0);
        }
    }
}

} // namespace
