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

// Plugging, identity and chip of probe k in one line.
std::string describe(int k)
{
    VirtualProbe &p = VirtualProbe::probe(k);
    const vprobe::ProbeIdentity id = p.identity();
    char line[160];
    std::snprintf(line, sizeof line, "%s model=%d id=%08X fw=%08X %ls / %ls",
                  p.present() ? "present" : "absent", p.chip().model, p.chip().deviceId, id.probeId,
                  id.manufacturer.c_str(), id.product.c_str());
    return line;
}

// DAP_Info 0xA0 through a fresh handle on probe k: byte 1 of the reply (-1 when nothing came).
int infoStatus(int k)
{
    hid_device *dev = hid_open_path(VirtualProbe::probe(k).path().c_str());
    const unsigned char out[65] = {0, 0x00, 0xA0};
    unsigned char in[65] = {};
    const bool ok = dev && hid_write(dev, out, 65) == 65 && hid_read_timeout(dev, in, 65, 0) == 64;
    hid_close(dev);
    return ok ? in[1] : -1;
}

struct EnvCase
{
    std::vector<std::pair<const char *, const char *>> vars;
    int count;
    std::vector<std::string> probes;
    std::vector<int> infoStatus; // after the line above was read
};

const char *const names[] = {
    "QUORVEL_VPROBE_COUNT",    "QUORVEL_VPROBE_CHIP_MODEL",   "QUORVEL_VPROBE_DEVICE_ID",
    "QUORVEL_VPROBE_FIRMWARE", "QUORVEL_VPROBE_MANUFACTURER", "QUORVEL_VPROBE_PRODUCT",
    "QUORVEL_VPROBE_ABSENT",   "QUORVEL_VPROBE_UNPLUG_AFTER", "QUORVEL_VPROBE_FAULTS",
    "QUORVEL_VPROBE_REALTIME",
};

TEST(Environment, AddressesEveryProbeOrOne)
{
    const std::string arm = " / Quorvel Virtual CMSIS-DAP";
    const std::string fresh = "present model=2 id=00484B48 fw=6CFF0197 ARM" + arm;
    const EnvCase cases[] = {
        {{{"QUORVEL_VPROBE_CHIP_MODEL", "2"}}, 1, {fresh}, {4}},
        {{{"QUORVEL_VPROBE_COUNT", "3"}, {"QUORVEL_VPROBE_CHIP_MODEL", "5,1/7"}},
         3,
         {"present model=5 id=00484B48 fw=6CFF0197 ARM" + arm,
          "present model=7 id=00484B48 fw=6CFF0197 ARM" + arm,
          "present model=5 id=00484B48 fw=6CFF0197 ARM" + arm},
         {4, 4, 4}},
        {{{"QUORVEL_VPROBE_COUNT", "3"},
          {"QUORVEL_VPROBE_MANUFACTURER", "2/ACME, Inc."},
          {"QUORVEL_VPROBE_PRODUCT", "Probe, 2"},
          {"QUORVEL_VPROBE_FIRMWARE", "0x6CFF0195,9/0x6CFF0190,1/x"},
          {"QUORVEL_VPROBE_DEVICE_ID", "1/0"}},
         3,
         {"present model=2 id=00484B48 fw=6CFF0195 ARM / Probe, 2",
          "present model=2 id=00000000 fw=6CFF0195 ARM / Probe, 2",
          "present model=2 id=00484B48 fw=6CFF0195 ACME, Inc. / Probe, 2"},
         {4, 4, 4}},
        {{{"QUORVEL_VPROBE_COUNT", "4"},
          {"QUORVEL_VPROBE_ABSENT", "1/1"},
          {"QUORVEL_VPROBE_FAULTS", "2/0x00:status:1:0x55,0x00:status:2:0x66"},
          {"QUORVEL_VPROBE_UNPLUG_AFTER", "3/1"}},
         4,
         {fresh, "absent model=2 id=00484B48 fw=6CFF0197 ARM" + arm, fresh, fresh},
         {0x66, -1, 0x55, -1}},
        {{{"QUORVEL_VPROBE_COUNT", "0"}, {"QUORVEL_VPROBE_ABSENT", "1"}},
         1,
         {"absent model=2 id=00484B48 fw=6CFF0197 ARM" + arm},
         {-1}},
    };
    for (const EnvCase &c : cases) {
        for (const auto &[name, value] : c.vars)
            setenv(name, value, 1);
        setenv("QUORVEL_VPROBE_REALTIME", "0", 1);
        vprobe::configureFromEnvironment();
        EXPECT_EQ(VirtualProbe::count(), c.count) << c.vars.front().second;
        for (int k = 0; k < c.count; ++k) {
            EXPECT_EQ(describe(k), c.probes[size_t(k)]) << k;
            EXPECT_EQ(infoStatus(k), c.infoStatus[size_t(k)]) << k;
        }
        for (const char *name : names)
            unsetenv(name);
        for (int k = 0; k < VirtualProbe::maxProbes; ++k)
            VirtualProbe::probe(k).reset();
        VirtualProbe::setCount(1);
    }
}

} // namespace
