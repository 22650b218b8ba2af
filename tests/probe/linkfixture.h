// Set-up shared by the tests that talk to the virtual probe: a fresh emulator, a job record with
// its ChipRecord, HandleBar and image buffers, and readers for the emulator's trace.
#pragma once

#include "download.h"
#include "handlebar.h"
#include "virtualprobe/virtualprobe.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

class LinkTest : public ::testing::Test
{
public:
    using Bytes = std::vector<uint8_t>;

protected:
    void SetUp() override
    {
        probe().reset();
        chip.model = 2;
        d.chip = &chip;
        d.handleBar = &bar;
        QObject::connect(&bar, &HandleBar::progressBarSet,
                         [this](int value) { progress.push_back(value); });
    }

    void TearDown() override
    {
        if (d.connected == 1)
            d.toggleConnection();
    }

    static vprobe::VirtualProbe &probe() { return vprobe::VirtualProbe::instance(); }

    // Opens the probe and forgets the identification traffic.
    void open()
    {
        ASSERT_EQ(d.toggleConnection(), 1);
        probe().clearTrace();
        progress.clear();
    }

    // Lists one more image of `length` pattern bytes at `address`, in its own 4 MiB buffer.
    void addImage(uint32_t address, uint32_t length, uint8_t seed = 0)
    {
        const int i = d.fileCount;
        buffers.emplace_back(Download::imageBufferSize, uint8_t(0xFF));
        for (uint32_t k = 0; k < length; ++k)
            buffers.back()[k] = uint8_t(seed + k * 7 + (k >> 8));
        d.imageData[i] = buffers.back().data();
        d.imageLength[i] = length;
        d.imageAddress[i] = address;
        d.fileCount = i + 1;
    }

    Bytes image(int i) const { return Bytes(d.imageData[i], d.imageData[i] + d.imageLength[i]); }

    // Every output report written for `command`, in order.
    static std::vector<Bytes> written(uint8_t command)
    {
        std::vector<Bytes> reports;
        for (const auto &e : probe().trace()) {
            if (e.kind == vprobe::TraceEntry::Kind::Write && e.data.size() > 1
                && e.data[1] == command)
                reports.push_back(e.data);
        }
        return reports;
    }

    // The time-out of every read, paired with the command written before it.
    static std::vector<std::pair<uint8_t, int>> reads()
    {
        std::vector<std::pair<uint8_t, int>> out;
        uint8_t current = 0xFF;
        for (const auto &e : probe().trace()) {
            if (e.kind == vprobe::TraceEntry::Kind::Write && e.data.size() > 1)
                current = e.data[1];
            else if (e.kind == vprobe::TraceEntry::Kind::Read)
                out.emplace_back(current, e.timeoutMs);
        }
        return out;
    }

    static std::vector<int> readTimeouts(uint8_t command)
    {
        std::vector<int> out;
        for (const auto &[c, ms] : reads()) {
            if (c == command)
                out.push_back(ms);
        }
        return out;
    }

    static Bytes commands() { return probe().commandsWritten(); }

    ChipRecord chip;
    HandleBar bar;
    Download d;
    std::vector<Bytes> buffers;
    std::vector<int> progress;
};
