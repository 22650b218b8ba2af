// The job the fault sweeps break: full erase, three files loaded from disk into their 4 MiB buffers
// (a BIN, an Intel HEX with gaps, a BIN), verify on, rolling code; checked by a clean run first.
#pragma once

#include "download.h"
#include "handlebar.h"
#include "virtualprobe/virtualprobe.h"

#include <QTemporaryDir>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace faults {

using Bytes = std::vector<uint8_t>;

class FaultJob : public ::testing::Test
{
protected:
    static constexpr uint32_t rollingAddress = 0x0F00;
    static constexpr uint32_t rollingFirst = 0x12345678;
    static constexpr uint32_t rollingStep = 3;
    // The files and the rolling code all lie below this.
    static constexpr uint32_t jobSpan = 0x1000;

    void SetUp() override;
    void TearDown() override;

    static vprobe::VirtualProbe &probe() { return vprobe::VirtualProbe::instance(); }

    // A blank chip behind a freshly opened probe.
    void restart();
    // The job, with the trace cleared first.
    int32_t run();
    // [0, jobSpan) of a chip that holds the job's images and `rolling` as its rolling code.
    Bytes expectedFlash(uint32_t rolling) const;
    // The time-outs of the reads that followed written report `n` (1-based).
    static std::vector<int> readsAfterReport(size_t n);

    QtMessageHandler previousHandler = nullptr;
    QTemporaryDir dir;
    ChipRecord chip;
    HandleBar bar;
    Download d;
    std::vector<std::unique_ptr<uint8_t[]>> buffers;
    Bytes reference; // commands of the clean run, in order
};

} // namespace faults
