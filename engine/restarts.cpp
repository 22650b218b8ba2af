// See restarts.h.
#include "restarts.h"

#include "download.h"
#include "job/messages.h"

namespace engine {

bool restartWanted(int32_t code, int restartsSoFar)
{
    return code == 6 && restartsSoFar < job::maxCodeSixRestarts;
}

int32_t runWithRestarts(Download &job, const std::function<bool()> &reconnect, int *restarts)
{
    int made = 0;
    int32_t code = job.runProgramming();
    while (restartWanted(code, made) && reconnect && reconnect()) {
        ++made;
        code = job.runProgramming();
    }
    if (restarts)
        *restarts = made;
    return code;
}

} // namespace engine
