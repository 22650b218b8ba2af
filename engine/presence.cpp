// See presence.h.
#include "presence.h"

#include "download.h"

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

} // namespace engine
