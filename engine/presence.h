// Whether a chip is in the probe's fixture, asked through the chip detect every run begins with
// (device id 0: nothing answers the debug port). Safe between runs only: it starts a conversation.
#pragma once

class Download;

namespace engine {

enum class Presence { Attached, Absent, LinkLost };
Presence chipPresence(Download &job);

} // namespace engine
