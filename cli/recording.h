// The production record of command-line runs: one row per run per probe, written when the run
// starts and completed when it ends, and the serial ledger's value for the run when asked.
#pragma once

#include "command.h"
#include "record/recorddb.h"

#include <QCommandLineParser>
#include <QString>

class Download;

namespace cli {

struct RecordOptions
{
    bool enabled = true;
    QString location; // SQLite file or postgresql:// URL
    bool ledger = false;
    QString jobFile; // the job file's name, when the job came from one
    QString via = QStringLiteral("vendor"); // the path the runs take: "vendor" or "swd"
    QString target; // the device name the runs program
    bool newSerial = false; // a chip that holds a used serial still gets a new one
};

void addRecordOptions(QCommandLineParser &parser);
// The record options of the command line; `ledger` is the job's (--serial-ledger or its job
// file). False with `error` for a ledger without rolling code.
bool recordOptionsFrom(const QCommandLineParser &parser, const Download &job,
                       RecordOptions &options, QString &error, bool ledger);

// One probe's run in the record; used on the thread that runs that probe.
class RunRecorder
{
public:
    explicit RunRecorder(const RecordOptions &options);

    // Writes the run's row and, with the ledger, takes the run's serial and sets it as the job's
    // rolling-code value (`serial` gets its text). False with `error`: the run must not start.
    // With the chip's unique ID (hex), a chip that holds a used serial of the series gets it again
    // unless the options ask for a new one.
    bool begin(Download &job, const QString &probeSerial, QString &serial, QString &error,
               const QString &chipUid = QString());
    // Completes the row; false with `error` when it could not be written.
    bool finish(int code, bool interrupted, const QString &message, uint32_t deviceId,
                QString &error, const SectorCounts &sectors = SectorCounts(),
                const RunCheck &check = RunCheck());
    bool active() const { return runId >= 0; }

private:
    RecordOptions options;
    RecordDb db;
    qint64 runId = -1;
};

// Each probe's run in a gang is its own row (and its own ledger value), written from the probe's
// thread; `sectorsOf`, when given, tells the sectors probe k's run erased, programmed and skipped,
// and `checkOf` the chip ID its board gave (before the run) and its self-test (after it).
GangHooks recordedGang(const RecordOptions &options,
                       const std::function<SectorCounts(int)> &sectorsOf = {},
                       const std::function<RunCheck(int)> &checkOf = {});

} // namespace cli
