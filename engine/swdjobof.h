// The adapter from the engine's record of a job to what the SWD host runs: the one place the
// command line, the gang runner and the window turn their job into an SwdJob.
#pragma once

#include "swd/chipid.h"
#include "swd/swdprogrammer.h"

#include <QStringList>
#include <QVector>

class Download;
namespace job {
struct JobSetup;
}

// The job a setup and the files loaded for it describe; the images point into `d`, which must
// outlive the job. An erase-only job is not verified: nothing was written to compare.
SwdJob swdJobOf(const job::JobSetup &setup, const Download &d);

// One board's programming run: `swdJob` with `d`'s rolling code (when it has one) merged in.
SwdResult runSwdProgramming(DapTransport &probe, const SwdJob &swdJob, const Download &d,
                            const SwdProgress &progress);

// Where each loaded image lies, as the device's algorithms are chosen by.
QVector<pack::ImageSpan> swdImageSpans(const Download &d);

// What a setup asks to learn of each board: the chip ID's place (the setup's, else the device
// pack's; none: no ID read) and the self-test after reset. False with `error`.
bool swdChecksOf(const job::JobSetup &setup, const pack::TargetDescription &target, UidPlace &uid,
                 rtt::CheckOptions &check, QString &error);

// The whole SWD job of a setup whose files `d` holds: its device from the packs the program knows
// (and `packs`), the algorithms those images need loaded, the setup's clock, verify mode and
// rolling code and self-test checked. The face that asks only shows the answer. False with `error`.
// `uid`, when given, gets the place of the chip's ID the run is to read.
bool prepareSwdJob(job::JobSetup &setup, const Download &d, const QStringList &packs, SwdJob &out,
                   QString &error, UidPlace *uid = nullptr);
