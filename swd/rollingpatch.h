// The rolling code over SWD: its 32-bit value (little-endian, as the dedicated probe writes it)
// becomes part of the job's images before the job runs, so it costs no extra erase where its
// sector is programmed anyway. A step of its own that only adds or patches images.
#pragma once

#include "swd/swdprogrammer.h"

#include <deque>
#include <functional>
#include <vector>

// Reads `length` bytes of the chip's flash at `address` into `bytes`.
using SwdFlashReader =
    std::function<SwdResult(uint32_t address, uint32_t length, std::vector<uint8_t> &bytes)>;

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

// Puts `value` at `address` (word-aligned, inside `sector`) into `job`:
//  - inside an image, or in a sector an image touches: that image is copied and widened to hold
//    it (erased bytes fill any gap in the sector);
//  - in a sector no image touches: that sector is read with `read`, merged and added as an image
//    (sector erase and full erase then erase it before programming it; without erase it cannot).
// New image bytes live in `storage`, which must outlive the job. A failure (SwdBadJob, or the
// read's own) leaves the job unchanged.
SwdResult patchRollingCode(SwdJob &job, uint32_t address, uint32_t value,
                           const RollingSector &sector, const SwdFlashReader &read,
                           std::deque<std::vector<uint8_t>> &storage);

// What patchRollingCode would refuse for this job without looking at any chip (the address, the
// erase mode, a sector outside what the core can read): the failure, or success. Made before a
// probe is opened, so that a job no board can take is refused once.
SwdResult checkRollingCode(const SwdJob &job, uint32_t address);

// Reads the device's flash where the core sees it, through `probe` over SWD, for
// patchRollingCode; a range the chip only shows through a read window (the QB48x's LDROM) is
// refused. Connects and disconnects on its own.
SwdFlashReader swdFlashReader(DapTransport &probe, uint32_t clockHz, const QString &device);
