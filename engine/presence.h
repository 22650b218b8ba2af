// Whether a chip is in the probe's fixture, asked through the chip detect every run begins with
// (device id 0: nothing answers the debug port). Safe between runs only: it starts a conversation.
#pragma once

#include <cstdint>

class Download;
class DapTransport;

namespace engine {

enum class Presence { Attached, Absent, LinkLost };
Presence chipPresence(Download &job);

// Over SWD: a debug port that answers its identity read (DP IDCODE, into `idcode`); LinkLost when
// the probe itself is gone. Connects and disconnects on its own, so only between runs.
Presence swdPresence(DapTransport &probe, uint32_t clockHz, uint32_t &idcode);

} // namespace engine
