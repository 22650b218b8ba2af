// The automatic reconnect-and-restart after result 6 (the probe asks to be reconnected): one rule
// for the window, single-probe `program` and the gang runner.
#pragma once

#include <cstdint>
#include <functional>

class Download;

namespace engine {

// True when a run that ended with `code` after `restartsSoFar` automatic restarts is to be
// reconnected and run again (job::maxCodeSixRestarts bounds a probe that keeps asking).
bool restartWanted(int32_t code, int restartsSoFar);

// Runs `job`; while restartWanted, calls `reconnect` (false: give up with the last code) and runs
// it again. `restarts`, when given, receives how many restarts were made.
int32_t runWithRestarts(Download &job, const std::function<bool()> &reconnect,
                        int *restarts = nullptr);

} // namespace engine
