// The rolling code over SWD: its 32-bit value (little-endian, as the dedicated probe writes it)
// becomes part of the job's images before the job runs, so it costs no extra erase where its
// sector is programmed anyway. A step of its own that only adds or patches images.
#pragma once

#include "swd/swdprogrammer.h"

#include <deque>
#include <vector>

// The flash sector that holds the rolling code, and the value its erased bytes read as.
struct RollingSector
{
    uint32_t start = 0;
    uint32_t size = 0;
    uint8_t erased = 0xFF;
};

// The sector of the device's flash at `address`, from the algorithm that covers it and that
// algorithm's sector table; false when no algorithm of `target` covers the address.
bool rollingSectorOf(const pack::TargetDescription &target, uint32_t address, RollingSector &out);

// Puts `value` at `address` (word-aligned, inside `sector`) into `job`: inside an image, that
// image is copied with the value in it; anywhere else it becomes a 4-byte image of its own, and
// the run keeps every other byte of its sector as it keeps those of any sector it writes. Without
// erase, a sector no image touches is refused. New image bytes live in `storage`, which must
// outlive the job. A failure (SwdBadJob) leaves the job unchanged.
SwdResult patchRollingCode(SwdJob &job, uint32_t address, uint32_t value,
                           const RollingSector &sector, std::deque<std::vector<uint8_t>> &storage);

// What patchRollingCode would refuse for this job (the address, its sector, the erase mode): the
// failure, or success. Made before a probe is opened, so that a job no board can take is refused
// once.
SwdResult checkRollingCode(const SwdJob &job, uint32_t address);
