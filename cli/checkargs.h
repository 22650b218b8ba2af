// The chip's ID and the board's own check on the command line (the SWD path): --uid,
// --rtt-expect, --rtt-fail, --rtt-timeout and --rtt-address, over a job file's values.
#pragma once

#include "job/jobsetup.h"
#include "pack/targetdescription.h"
#include "swd/chipid.h"
#include "swd/rtt/rttcheck.h"

#include <QCommandLineParser>
#include <QString>

namespace cli {

void addCheckOptions(QCommandLineParser &parser);
// Whether the command line names any of them or --new-serial (refused on the dedicated path).
bool checkOptionsGiven(const QCommandLineParser &parser);
// The command line's values into `setup` (so that --save-job keeps them). 0, or the usage status
// with `error`.
int checkFromArgs(const QCommandLineParser &parser, job::JobSetup &setup, QString &error);
// The run's values from the setup: swdChecksOf (engine/swdjobof.h), shared with the window.

} // namespace cli
