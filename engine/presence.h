// Whether a chip is in the probe's fixture, asked through the chip detect every run begins with
// (device id 0: nothing answers the debug port). Safe between runs only: it starts a conversation.
#pragma once

#include <cstdint>
#include <functional>

class Download;
class DapTransport;

namespace engine {

// Unsure: an answer that says neither (a glitch on the wire, a reply that is no answer).
enum class Presence { Attached, Absent, LinkLost, Unsure };
Presence chipPresence(Download &job);

// Over SWD: a debug port that answers its identity read (DP IDCODE, into `idcode`); Absent only
// when the probe answered that no target does; LinkLost when the probe itself is gone. Connects
// and disconnects on its own, so only between runs.
Presence swdPresence(DapTransport &probe, uint32_t clockHz, uint32_t &idcode);

// Over SWD, without touching the target: true when the probe itself no longer answers (pulled
// out). Only between runs, as swdPresence.
bool swdProbeGone(DapTransport &probe);

// A board counts as taken out after this many "no target" answers in a row.
constexpr int kRemovalAnswers = 3;

// The count toward a board taken out, one answer at a time (for a caller that polls on a timer);
// a glitch or an answer in between starts it again.
class RemovalCount
{
public:
    // True once the board counts as gone; false for every other answer, LinkLost included.
    bool gone(Presence answer);
    void restart() { absent = 0; }

private:
    int absent = 0;
};

// Asks until the board is gone (Absent), the probe is lost (LinkLost) or `pause` says stop
// (Attached); a glitch or an answer in between starts the count of absent answers again.
Presence waitForRemoval(const std::function<Presence()> &ask, const std::function<bool()> &pause);

} // namespace engine
