// What every routine the host runs on the core shares: where it returns to, the state it starts
// in, how long a halt may take, and how a batch of calls is named in messages.
#pragma once

#include "swd/swdresult.h"

#include <QString>

#include <cstdint>

namespace corecall {

inline constexpr uint32_t kBkptPair = 0xBE00BE00; // two BKPT #0, the return breakpoint
inline constexpr uint16_t kBkpt = 0xBE00;
inline constexpr uint32_t kThumbState = 0x01000000; // xPSR with the T bit
inline constexpr int kHaltTimeoutMs =
    500; // a halt request, or a routine with no time-out of its own

// "Routine(first)", or "Routine(first) to Routine(last)" for a batch of calls.
inline QString callsText(const char *routine, uint32_t first, uint32_t last)
{
    const QString one = QStringLiteral("%1(%2)").arg(QLatin1String(routine), hex8(first));
    return first == last
        ? one
        : QStringLiteral("%1 to %2(%3)").arg(one, QLatin1String(routine), hex8(last));
}

} // namespace corecall
