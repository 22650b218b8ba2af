// What every routine the host runs on the core shares: where it returns to, the state it starts
// in, and how long a halt may take.
#pragma once

#include <cstdint>

namespace corecall {

inline constexpr uint32_t kBkptPair = 0xBE00BE00; // two BKPT #0, the return breakpoint
inline constexpr uint16_t kBkpt = 0xBE00;
inline constexpr uint32_t kThumbState = 0x01000000; // xPSR with the T bit
inline constexpr int kHaltTimeoutMs =
    500; // a halt request, or a routine with no time-out of its own

} // namespace corecall
