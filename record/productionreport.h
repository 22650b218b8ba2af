// The production report: every figure of a filtered stretch of the record, aggregated in the
// database (a million runs are never loaded), rendered as JSON, text and a self-contained page.
#pragma once

#include "recordreport.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVector>

// Which runs count: started in [since, until) (either open when invalid), and of this job (file
// name or digest prefix), station (host) and probe serial when given.
struct ReportFilter
{
    QDateTime since;
    QDateTime until;
    QString job;
    QString station;
    QString probe;
};

// The filter applied to a run already read (the same rule as the report's queries).
bool reportIncludes(const ReportFilter &filter, const RecordedRun &run);

// "today", "yesterday" (local calendar days), an ISO date (that UTC day) or an ISO date and time
// (UTC unless it names its offset). `end` gives the first instant after a day instead of its
// first. Invalid for anything else.
QDateTime reportBound(const QString &text, bool end, const QDateTime &nowUtc);

struct ReportCount
{
    qint64 passed = 0;
    qint64 failed = 0;
    qint64 interrupted = 0;
    qint64 running = 0; // started, not ended: outside the yield

    qint64 runs() const { return passed + failed + interrupted + running; }
    qint64 finished() const { return passed + failed + interrupted; }
    // Passed share of finished runs in percent, rounded to one decimal; -1 before any.
    double yield() const;
    void add(const QString &status, qint64 n);
};

struct ReportBucket
{
    QDateTime start; // local time; an hour or a day
    ReportCount count;
};

// A failure cause: a result code on a path, or the interruption.
struct ReportCause
{
    QString via;
    int result = -1;
    bool interrupted = false;
    qint64 count = 0;
    QString text; // in the reader's language
};

struct ReportGroup
{
    QString name;
    ReportCount count;
    qint64 medianMs = -1;
};

struct ReportDurations
{
    qint64 count = 0; // ended runs with a duration
    qint64 medianMs = -1;
    qint64 p95Ms = -1;
    qint64 binMs = 0; // histogram bin width; bin i covers [i*binMs, (i+1)*binMs)
    qint64 firstBin = 0;
    QVector<qint64> bins;
};

struct ReportSerialRange
{
    quint32 from = 0;
    quint32 to = 0;
    qint64 count = 0;
};

struct ReportSeries
{
    quint32 address = 0;
    quint32 first = 0;
    quint32 step = 1;
    qint64 issued = 0;
    qint64 used = 0;
    qint64 voided = 0;
    QVector<ReportSerialRange> ranges; // issued values as contiguous ranges of the series
    QVector<quint32> voidValues; // the first maxVoidValues of them
};

struct ReportFailedRun
{
    qint64 id = 0;
    QDateTime startedUtc;
    QString station;
    QString probe;
    quint32 deviceId = 0;
    QString chipUid; // hex; empty when the run read none
    bool hasSerial = false;
    quint32 serial = 0;
    QString status;
    int result = -1;
    QString via;
    QString message; // as stored
    QString text; // in the reader's language
};

struct ProductionReport
{
    static constexpr int lastFailedRuns = 50;
    static constexpr int maxVoidValues = 200;
    static constexpr int maxRanges = 100;
    // Longer stretches are charted per day.
    static constexpr int hourlyUpToHours = 72;

    ReportFilter filter;
    ReportCount total;
    int activeHours = 0; // clock hours with at least one run
    double boardsPerHour = 0; // passed runs per active hour
    bool daily = false;
    QVector<ReportBucket> buckets;
    QVector<ReportCause> causes; // most frequent first
    QVector<ReportGroup> stations;
    QVector<ReportGroup> probes;
    ReportDurations durations;
    QVector<ReportSeries> ledger;
    QVector<ReportFailedRun> lastFailed; // newest first
    RecordReport totals; // the summary by job and probe the text output prints

    QJsonObject json() const;
    QByteArray html() const;
};

class RecordDb;

// The SQLite indexes the report reads through; made once, on a large old record this takes a
// while (nothing on PostgreSQL). computeReport calls it.
bool prepareReportIndexes(RecordDb &db, QString *error);

// False, with the reason in `error`, when the record cannot be read.
bool computeReport(RecordDb &db, const ReportFilter &filter, ProductionReport *report,
                   QString *error);
