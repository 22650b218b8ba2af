// Configuration of several virtual probes from the environment: "k/value" addresses probe k, a bare
// value every probe.
#include "virtualprobe.h"

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using vprobe::VirtualProbe;

namespace {

// Plugging, identity and chip of probe k, then byte 1 of its DAP_Info reply (-1: none came).
std::string describe(int k)
{
    VirtualProbe &p = VirtualProbe::probe(k);
    const vprobe::ProbeIdentity id = p.identity();
    char line[160];
    int n = std::snprintf(line, sizeof line, "%s model=%d id=%08X fw=%08X %ls/%ls",
                          p.present() ? "present" : "absent", p.chip().model, p.chip().deviceId,
                          id.probeId, id.manufacturer.c_str(), id.product.c_str());
    hid_device *dev = hid_open_path(p.path().c_str());
    const unsigned char out[65] = {0, 0x00, 0xA0};
    unsigned char in[65] = {};
    const bool ok = dev && hid_write(dev, out, 65) == 65 && hid_read_timeout(dev, in, 65, 0) == 64;
    hid_close(dev);
    std::snprintf(line + n, sizeof line - size_t(n), " info=%d", ok ? in[1] : -1);
    return line;
}

TEST(Environment, AddressesEveryProbeOrOne)
{
    const std::string fresh =
        "present model=2 id=00484B48 fw=6CFF0197 ARM/Quorvel Virtual CMSIS-DAP";
    const struct
    {
        std::vector<std::pair<const char *, const char *>> vars;
        std::vector<std::string> probes;
    } cases[] = {
        {{{"QUORVEL_VPROBE_CHIP_MODEL", "2"}}, {fresh + " info=4"}},
        {{{"QUORVEL_VPROBE_COUNT", "3"},
          {"QUORVEL_VPROBE_MANUFACTURER", "2/ACME, Inc."},
          {"QUORVEL_VPROBE_PRODUCT", "Probe, 2"},
          {"QUORVEL_VPROBE_FIRMWARE", "0x6CFF0195,9/0x6CFF0190,1/x"},
          {"QUORVEL_VPROBE_CHIP_MODEL", "5,1/7"},
          {"QUORVEL_VPROBE_DEVICE_ID", "1/0"}},
         {"present model=5 id=00484B48 fw=6CFF0195 ARM/Probe, 2 info=4",
          "present model=7 id=00000000 fw=6CFF0195 ARM/Probe, 2 info=4",
          "present model=5 id=00484B48 fw=6CFF0195 ACME, Inc./Probe, 2 info=4"}},
        {{{"QUORVEL_VPROBE_COUNT", "4"},
          {"QUORVEL_VPROBE_ABSENT", "1/1"},
          {"QUORVEL_VPROBE_FAULTS", "2/0x00:status:1:0x55,0x00:status:2:0x66"},
          {"QUORVEL_VPROBE_UNPLUG_AFTER", "3/1"}},
         {fresh + " info=102",
          "absent model=2 id=00484B48 fw=6CFF0197 ARM/Quorvel Virtual CMSIS-DAP info=-1",
          fresh + " info=85", fresh + " info=-1"}},
        {{{"QUORVEL_VPROBE_COUNT", "0"}, {"QUORVEL_VPROBE_ABSENT", "1"}},
         {"absent model=2 id=00484B48 fw=6CFF0197 ARM/Quorvel Virtual CMSIS-DAP info=-1"}},
    };
    for (const auto &c : cases) {
        for (const auto &[name, value] : c.vars)
            setenv(name, value, 1);
        setenv("QUORVEL_VPROBE_REALTIME", "0", 1);
        vprobe::configureFromEnvironment();
        ASSERT_EQ(VirtualProbe::count(), int(c.probes.size())) << c.vars.front().second;
        for (int k = 0; k < VirtualProbe::count(); ++k)
            EXPECT_EQ(describe(k), c.probes[size_t(k)]) << k;
        for (const auto &[name, value] : c.vars)
            unsetenv(name);
        unsetenv("QUORVEL_VPROBE_REALTIME");
        for (int k = 0; k < 4; ++k)
            VirtualProbe::probe(k).reset();
        VirtualProbe::setCount(1);
    }
}

} // namespace
