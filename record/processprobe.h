// Whether the process that began a run still lives: pid plus its start time, so a pid reused by
// another program after a crash is not mistaken for the recorder.
#pragma once

#include <QtGlobal>

// Start time of the process in clock ticks since boot (/proc/<pid>/stat), or -1 when there is
// no such process.
qint64 processStartTicks(qint64 pid);

bool processAlive(qint64 pid, qint64 startTicks);
