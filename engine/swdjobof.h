// The adapter from the engine's record of a job to what the SWD host runs: the one place the
// command line, the gang runner and the window turn their job into an SwdJob.
#pragma once

#include "swd/swdprogrammer.h"

class Download;
namespace job {
struct JobSetup;
}

// The job a setup and the files loaded for it describe; the images point into `d`, which must
// outlive the job. An erase-only job is not verified: nothing was written to compare.
SwdJob swdJobOf(const job::JobSetup &setup, const Download &d);
