// Job files: a whole job (options and files) saved as JSON, so that a job set up once can be run
// again exactly, from the command line or the window.
#pragma once

#include "job/jobsetup.h"

#include <QByteArray>
#include <QDir>
#include <QString>

namespace job {

// Version 2 added the SWD path (via, transport, verifyMode, swdClock). A job that uses none of them
// is written as version 1, which every reader takes; a version 1 reader names a version 2 file too
// new instead of misreading it.
constexpr int jobFormatVersion = 2;
constexpr const char *jobFormatName = "quorvel-job";

// The version a job file of `setup` is written in.
int formatVersionFor(const JobSetup &setup);

// Reads a job from JSON text; relative file paths are taken from `base` (the job file's folder).
// Unknown keys, a wrong type or value, another format or a newer version are refused: false,
// with the reason in `error`.
bool parseJob(const QByteArray &json, const QDir &base, JobSetup &setup, QString &error);
bool readJobFile(const QString &path, JobSetup &setup, QString &error);

// The JSON text of a job, file paths relative to `base` and each file's fingerprint as given.
QByteArray serializeJob(const JobSetup &setup, const QDir &base);
// Fingerprints every file as it is now and writes the job; false with the reason in `error`.
bool writeJobFile(const QString &path, JobSetup setup, QString &error);

// The first file whose length or CRC-32 differs from its saved fingerprint (or that cannot be
// read), or empty when all match.
QString changedFile(const JobSetup &setup);

} // namespace job
