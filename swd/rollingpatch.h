// The rolling code over SWD: its 32-bit value (little-endian, as the dedicated probe writes it)
// becomes part of the job's images before the job runs, so it costs no extra erase where its
// sector is programmed anyway. A step of its own that only adds or patches images.
#pragma once

#include "swdprogrammer.h"

#include <deque>
#include <functional>
#include <vector>

// Reads `length` bytes of the chip's flash at `address` into `bytes`.
using SwdFlashReader =
    std::function<SwdResult(uint32_t address, uint32_t length, std::vector<uint8_t> &bytes)>;

// Puts `value` at `address` (word-aligned) into `job`:
//  - inside an image, or in a sector an image touches: that image is copied and widened to hold
//    it (erased bytes 0xFF fill any gap in the sector);
//  - in a sector no image touches: that sector is read with `read`, merged and added as an image
//    (sector erase and full erase then erase it before programming it; without erase it cannot).
// New image bytes live in `storage`, which must outlive the job. A failure (SwdBadJob, or the
// read's own) leaves the job unchanged.
SwdResult patchRollingCode(SwdJob &job, uint32_t address, uint32_t value, uint32_t sectorSize,
                           const SwdFlashReader &read, std::deque<std::vector<uint8_t>> &storage);

// Reads main flash (APROM, memory-mapped from 0) through `probe` over SWD, for patchRollingCode;
// other addresses are refused. Connects and disconnects on its own.
SwdFlashReader swdApromReader(DapTransport &probe, uint32_t clockHz);
