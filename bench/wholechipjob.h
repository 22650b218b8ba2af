// The job the programming benchmarks run: 128 KiB, the QB48's whole main flash (120 KiB at 0) and
// LDROM (8 KiB at 0x10000000), full erase, programmed from one patterned buffer.
#pragma once

#include "engine/chiprecord.h"
#include "engine/download.h"

#include <cstdint>
#include <vector>

struct WholeChipJob
{
    static constexpr uint32_t imageSize = 128 * 1024;
    static constexpr uint32_t apromSize = 120 * 1024;

    std::vector<uint8_t> buffer;
    ChipRecord chip;
    Download d;

    WholeChipJob()
        : buffer(Download::imageBufferSize)
    {
        for (uint32_t k = 0; k < imageSize; ++k)
            buffer[k] = uint8_t(k * 31 + (k >> 10));
        chip.model = 2;
        d.chip = &chip;
        d.eraseMode = 0;
        d.programEnabled = 1;
        d.imageData[0] = buffer.data();
        d.imageLength[0] = apromSize;
        d.imageAddress[0] = 0;
        d.imageData[1] = buffer.data() + apromSize;
        d.imageLength[1] = imageSize - apromSize;
        d.imageAddress[1] = 0x10000000;
        d.fileCount = 2;
    }
};
