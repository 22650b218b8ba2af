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

bool swdProbeGone(DapTransport &probe)
{
    DapPipe link(probe);
    const bool answered = link.open();
    link.drain();
    return !answered && link.error().code == SwdProbeLost;
}

bool RemovalCount::gone(Presence answer)
{
    absent = answer == Presence::Absent ? absent + 1 : 0;
    return absent >= kRemovalAnswers;
}

Presence waitForRemoval(const std::function<Presence()> &ask, const std::function<bool()> &pause)
{
    for (RemovalCount count;;) {
        const Presence presence = ask();
        if (presence == Presence::LinkLost)
            return presence;
        if (count.gone(presence))
            return Presence::Absent;
        if (!pause())
            return Presence::Attached;
    }
}

} // namespace engine
