// The job options shared by program, verify and the job-file writer: files, erase mode, flags,
// chip, protection, rolling code, watchdog and the offline options, over a job file's values.
#pragma once

#include "job/jobsetup.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QString>

class Download;

namespace cli {

void addJobOptions(QCommandLineParser &parser);
// --chip alone, for the read-backs.
void addChipOption(QCommandLineParser &parser);
// The chip-list index --chip names (`index` is left alone without --chip). 0, or the usage
// status with `error` naming the unknown chip.
int chipFromArgs(const QCommandLineParser &parser, int &index, QString &error);
// Help of the FILE[@ADDRESS]... arguments.
QString fileArgumentsHelp();

// Builds the job from --job (if given) and the command line, which overrides the job's values.
// Returns 0, or the exit status with `error` naming the problem. Nothing is loaded yet.
int jobSetupFromArgs(const QCommandLineParser &parser, job::JobSetup &setup, QString &error);

// Builds the job, refuses a job file whose files changed (unless --accept-changed), loads the
// files into `d`, saves the job when --save-job asks, and applies the options. 0 or the exit
// status with `error` set; nothing is sent to a probe.
int prepareJob(const QCommandLineParser &parser, job::JobSetup &setup, Download &d, QString &error);
// The same for a setup already built by jobSetupFromArgs.
int loadJob(const QCommandLineParser &parser, const job::JobSetup &setup, Download &d,
            QString &error);

// The files of a read-back (verify, file-crc): --job's (when the parser has that option) and the
// positional FILE[@ADDRESS] arguments, loaded into `d` by the file list's rules. `binAtZero`
// reads a BIN without an address at 0. 0, or the exit status with `error` set.
int loadFileArguments(const QCommandLineParser &parser, Download &d, QString &error,
                      bool binAtZero = false);

// The images as a run will send them: name, path, address, length and CRC-32 of each.
QJsonArray describeImages(Download &d);

// "app.bin@0x1000" / "boot.hex": the file and its optional hex address; false when the address
// part is malformed.
bool parseFileArgument(const QString &argument, job::JobFile &file);
// "ADDRESS:VALUE:STEP" in hex; false when malformed.
bool parseRolling(const QString &text, uint32_t &address, uint32_t &value, uint32_t &step);
// One hex number of at most eight digits, with or without 0x.
bool parseHex(const QString &text, uint32_t &value);

} // namespace cli
