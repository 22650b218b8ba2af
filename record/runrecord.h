// What one programming run leaves in the production record: the job, the probe, the chip, the
// serial written and the outcome. Filled from the job record before the run starts.
#pragma once

#include "job/sectorcounts.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>
#include <cstdint>

class Download;

struct RecordedFile
{
    QString name;
    quint32 address = 0;
    quint32 length = 0;
    quint32 crc32 = 0;
};

struct RunRecord
{
    QDateTime startedUtc; // set by beginRun when left invalid
    QString host; // set by beginRun when empty
    QString toolVersion;
    QString probeSerial;
    QString probeFirmware;
    int chipModel = 0;
    quint32 deviceId = 0;
    QString jobFile; // file name of the job, empty when the job was never saved
    QByteArray jobDigest; // lower-case hex SHA-256 of jobDigest()
    QVector<RecordedFile> files;
    QString options; // compact JSON of the job options
    bool hasSerial = false; // the ledger gave this run a rolling-code value
    quint32 serial = 0;
    QString via =
        QStringLiteral("vendor"); // "vendor": the dedicated probe; "swd": any CMSIS-DAP probe
    QString target; // device name over SWD, empty on the dedicated path
    QString chipUid; // the chip's unique ID in lower-case hex, empty when not read
};

// What a run learnt of its board after programming: the chip's unique ID and the verdict of its
// own self-test with the text it printed (at most maxText bytes kept).
struct RunCheck
{
    static constexpr int maxText = 4096;
    QString chipUid; // lower-case hex; empty: not read
    QString functional; // "passed", "failed", "timeout", ...; empty: no check ran
    QByteArray text;
};

// SHA-256 (lower-case hex) over the job options and the image bytes of every listed file, in
// list order; two jobs programming the same bytes the same way share it.
QByteArray jobDigest(const Download &d);

// The options of a job as compact JSON with a fixed key order.
QString jobOptionsJson(const Download &d);

// Everything the job record knows; probe serial and firmware come from the caller, who identified
// the probe. No serial: a probe continues its own series after the first value, so only a value
// the ledger hands out is known to be the one written.
RunRecord runRecordFrom(const Download &d, const QString &probeSerial, const QString &probeFirmware,
                        const QString &jobFile = QString());
