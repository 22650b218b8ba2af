// Totals over recorded runs: pass / fail / yield overall, per job and per probe, failures by
// result code; and the rows as CSV or the totals as JSON for other systems.
#pragma once

#include "recorddb.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVector>

struct Tally
{
    int passed = 0;
    int failed = 0; // failed and interrupted runs
    int running = 0; // started, not finished (not counted in the yield)

    int finished() const { return passed + failed; }
    // Passed share of finished runs in percent, one decimal ("66.7%"); "-" before any.
    QString yieldText() const;
};

class RecordReport
{
public:
    RecordReport() = default;
    explicit RecordReport(const QVector<RecordedRun> &runs);

    // The job of a run: its file name when it has one, else the first 12 digits of the digest.
    static QString jobKey(const RunRecord &run);

    Tally total;
    QMap<QString, Tally> byJob;
    QMap<QString, Tally> byProbe;
    QMap<QString, int> failuresByCode; // result code as text, or "interrupted"

    QString text() const; // readable summary for a terminal
    QJsonObject json() const;
    static QString csv(const QVector<RecordedRun> &runs);
    // The CSV's header line and one run's line, each ending in CRLF, for writing as rows are read.
    static QString csvHeader();
    static QString csvRow(const RecordedRun &run);
};

// Writes runs as CSV lines in UTF-8, the bytes of RecordReport::csvRow. Keeps the cells that
// repeat from run to run (files, result text) so a long record is not formatted afresh per row.
class CsvRowWriter
{
public:
    void append(QByteArray &out, const RecordedRun &run);

private:
    QVector<RecordedFile> files;
    QByteArray filesCell;
    bool haveFiles = false;
    QHash<qint64, QByteArray> resultCells; // by outcome: interrupted, or path and code
};
