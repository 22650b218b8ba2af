// Which simulated part sits behind the virtual CMSIS-DAP probe: the QB48x (default) or the QS64,
// chosen by QUORVEL_VPROBE_TARGET=qb48|qs64|nrf51822.
#pragma once

#include <cstring>

namespace vprobe {

enum class SimulatedPart { Qb48, Qs64, Nrf51822 };

// False, leaving `part` alone, for any other text.
inline bool parseSimulatedPart(const char *text, SimulatedPart &part)
{
    if (std::strcmp(text, "qb48") == 0)
        part = SimulatedPart::Qb48;
    else if (std::strcmp(text, "qs64") == 0)
        part = SimulatedPart::Qs64;
    else if (std::strcmp(text, "nrf51822") == 0)
        part = SimulatedPart::Nrf51822;
    else
        return false;
    return true;
}

} // namespace vprobe
