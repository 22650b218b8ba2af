// See presence.h.
#include "presence.h"

#include "download.h"
#include "swd/debug/debugport.h"

namespace engine {

Presence chipPresence(Download &job)
{
    switch (job.detectChip()) {
    case 0:
    case -2: // the probe asks to be reconnected: a chip is there; the run's restarts handle it
        return Presence::Attached;
    case -3:
        return Presence::Absent;
    default:
        return Presence::LinkLost;
    }
}

Presence swdPresence(DapTransport &probe, uint32_t clockHz, uint32_t &idcode)
{
    DapPipe link(probe);
    DebugPort port(link);
    const bool answered = link.open() && port.connect(clockHz);
    idcode = answered ? port.idcode() : 0;
    port.disconnect();
    link.drain();
    if (answered)
        return Presence::Attached;
    switch (link.error().code) {
    case SwdProbeLost:
        return Presence::LinkLost;
    case SwdNoTarget:
        return Presence::Absent;
    default:
        return Presence::Unsure;
    }
}

Presence waitForRemoval(const std::function<Presence()> &ask, const std::function<bool()> &pause)
{
    for (int absent = 0;;) {
        const Presence presence = ask();
        if (presence == Presence::LinkLost)
            return presence;
        absent = presence == Presence::Absent ? absent + 1 : 0;
        if (absent >= kRemovalAnswers)
            return Presence::Absent;
        if (!pause())
            return Presence::Attached;
    }
}

} // namespace engine
