// The job options shared by program, verify and the job-file writer: files, erase mode, flags,
// chip, protection, rolling code, watchdog and the offline options, over a job file's values.
#pragma once

#include "job/jobspec.h"

#include <QCommandLineParser>
#include <QString>

class Download;

namespace cli {

void addJobOptions(QCommandLineParser &parser);

// Builds the job from --job (if given) and the command line, which overrides the job's values.
// Returns 0, or the exit status with `error` naming the problem. Nothing is loaded yet.
int jobSpecFromArgs(const QCommandLineParser &parser, job::JobSpec &spec, QString &error);

// Builds the job, refuses a job file whose files changed (unless --accept-changed), loads the
// files into `d`, saves the job when --save-job asks, and applies the options. 0 or the exit
// status with `error` set; nothing is sent to a probe.
int prepareJob(const QCommandLineParser &parser, job::JobSpec &spec, Download &d, QString &error);

// "app.bin@0x1000" / "boot.hex": the file and its optional hex address; false when the address
// part is malformed.
bool parseFileArgument(const QString &argument, job::JobFile &file);
// "ADDRESS:VALUE:STEP" in hex; false when malformed.
bool parseRolling(const QString &text, uint32_t &address, uint32_t &value, uint32_t &step);
// One hex number of at most eight digits, with or without 0x.
bool parseHex(const QString &text, uint32_t &value);

} // namespace cli
