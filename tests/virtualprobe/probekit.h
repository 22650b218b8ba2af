// Test kit for the virtual probe: a fixture with an open handle, and an independent encoder that
// lays out reports the way the host's layout tables describe them.
#pragma once

#include "virtualprobe.h"

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kit {

using Report = std::array<uint8_t, 65>;
using Bytes = std::vector<uint8_t>;

// Report with command byte and payload from byte 2; the checksums are added separately.
Report report(uint8_t command, std::initializer_list<uint8_t> payload = {});
Bytes reply64(std::initializer_list<uint8_t> head); // a 64-byte reply: these bytes, then zeros
void put32(Report &r, size_t at, uint32_t v);
Report &sealStandard(Report &r); // sum of bytes 1..60, LE, at 61..64
Report &sealBlock(Report &r); // sum of bytes 1..62, low 16 bits LE, at 63..64

struct Region
{
    uint32_t address;
    uint32_t length;
};

// The job as the settings report describes it.
struct Job
{
    int fileCount = 1;
    int model = 2;
    int eraseMode = 0;
    bool program = true;
    bool verify = true;
    bool offline = false;
    int protectLevel = 0;
    uint32_t timestamp = 0x65A0B1C2;
};

std::array<uint8_t, 32> plainSettings(const Job &job);
Report settingsReport(const Job &job); // encrypted with the shared key, then sealed
Report encryptSettings(const std::array<uint8_t, 32> &plain);
Report eraseReport(uint8_t b2, uint8_t b3, uint8_t mark, const std::vector<Region> &regions);
std::vector<Report> dataBlocks(const Bytes &image, const Job &job); // sealed, encrypted if offline
Report imageEnd(uint16_t lastBlock, const Bytes &image);
Bytes md5(const Bytes &data);

class ProbeTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    vprobe::VirtualProbe &probe() { return vprobe::VirtualProbe::instance(); }
    // One write and one read; the bytes the read returned (empty on time-out or error).
    Bytes exchange(const Report &r, int timeoutMs = 1000);
    uint8_t status(const Report &r) { return exchange(r).at(1); }
    // Chip detect, chip check, settings and the erase report(s) the job needs.
    void startJob(const Job &job, const std::vector<Region> &regions);
    // Image start, blocks and end; returns the status of the first reply that is not 0.
    uint8_t sendImage(int index, const Bytes &image, const Job &job);
    Bytes finish(); // the finish reply

    hid_device *dev = nullptr;
};

} // namespace kit
