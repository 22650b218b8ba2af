// The production report's figures, each from one aggregate query: counts grouped by hour, station,
// probe, job and outcome; durations grouped by value (exact medians without reading every run);
// the ledger grouped into ranges; and the last failed runs through the start-time index.
#include "productionreport.h"

#include "recorddb.h"
#include "reportfigures.h"
#include "resulttext.h"

#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace {

using namespace reportfigures;

QString utcText(const QDateTime &t)
{
    return t.toUTC().toString(Qt::ISODateWithMs);
}

// The filter as a WHERE clause on the runs table (columns prefixed with `table`).
struct Where
{
    QString sql;
    QVariantList binds;
};

Where whereOf(const ReportFilter &f, const QString &table)
{
    Where w;
    QStringList parts;
    // The hour key repeats each bound in the form the hour index is ordered by.
    if (f.since.isValid()) {
        parts << QStringLiteral("substr(%1started_utc, 1, 13) >= ? AND %1started_utc >= ?")
                     .arg(table);
        w.binds << utcText(f.since).left(13) << utcText(f.since);
    }
    if (f.until.isValid()) {
        parts
            << QStringLiteral("substr(%1started_utc, 1, 13) <= ? AND %1started_utc < ?").arg(table);
        w.binds << utcText(f.until).left(13) << utcText(f.until);
    }
    if (!f.job.isEmpty()) {
        parts << QStringLiteral(
                     "(%1job_file = ? OR substr(%1job_digest, 1, length(CAST(? AS TEXT))) = ?)")
                     .arg(table);
        w.binds << f.job << f.job << f.job.toLower();
    }
    if (!f.station.isEmpty()) {
        parts << table + QStringLiteral("host = ?");
        w.binds << f.station;
    }
    if (!f.probe.isEmpty()) {
        parts << table + QStringLiteral("probe_serial = ?");
        w.binds << f.probe;
    }
    w.sql = parts.isEmpty() ? QStringLiteral("1 = 1") : parts.join(QStringLiteral(" AND "));
    return w;
}

class Reader
{
public:
    Reader(RecordDb &db, QString *error)
        : db(QSqlDatabase::database(db.connectionName(), false))
        , error(error)
        , sqlite(!db.onPostgres())
    { }

    // SQLite's planner prefers the index whose first column a filter names (host, say), which
    // would sort a million rows; the grouping index counts them in order.
    QString indexedBy(const char *index) const
    {
        return sqlite ? QStringLiteral(" INDEXED BY ") + QLatin1String(index) : QString();
    }

    bool run(QSqlQuery &q, const QString &sql, const QVariantList &binds)
    {
        q = QSqlQuery(db);
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            return failed(q);
        for (const QVariant &v : binds)
            q.addBindValue(v);
        return q.exec() || failed(q);
    }

private:
    bool failed(const QSqlQuery &q)
    {
        *error = QStringLiteral("record read failed: ") + q.lastError().text();
        return false;
    }

    QSqlDatabase db;
    QString *error;
    bool sqlite;
};

// SQLite groups by sorting: these indexes hold the grouped columns in grouping order (and every
// column the filters read), so a million runs are counted in one pass over an index, unsorted.
// PostgreSQL aggregates by hashing and needs none. A record from before the report gets them on
// its first report.
const char *const sqliteReportIndexes[] = {
    "CREATE INDEX IF NOT EXISTS runs_report_hour ON runs (substr(started_utc, 1, 13), host,"
    " probe_serial, status, via, result, job_file, started_utc)",
    "CREATE INDEX IF NOT EXISTS runs_report_duration ON runs (host, probe_serial, duration_ms,"
    " status, started_utc)",
    "CREATE INDEX IF NOT EXISTS runs_report_unsaved_job ON runs (substr(job_digest, 1, 12),"
    " status, started_utc, host, probe_serial) WHERE job_file IS NULL OR job_file = ''",
    // A filtered report reaches the ledger rows of its runs through this one alone.
    "CREATE INDEX IF NOT EXISTS serial_ledger_report ON serial_ledger (run_id, series_address,"
    " series_first, series_step, seq, state, value)",
};

bool readCounts(Reader &db, ProductionReport &r, const Where &w)
{
    QSqlQuery q;
    // Jobs never saved are named by their digest, counted apart through their partial index.
    if (!db.run(q,
                QStringLiteral("SELECT substr(job_digest, 1, 12), status, COUNT(*) FROM runs%1"
                               " WHERE (job_file IS NULL OR job_file = '') AND %2"
                               " GROUP BY substr(job_digest, 1, 12), status")
                    .arg(db.indexedBy("runs_report_unsaved_job"), w.sql),
                w.binds))
        return false;
    while (q.next())
        count(r.totals.byJob[q.value(0).toString()], q.value(1).toString(),
              q.value(2).toLongLong());
    if (!db.run(q,
                QStringLiteral("SELECT substr(started_utc, 1, 13), host, probe_serial, job_file,"
                               " status, via, result, COUNT(*) FROM runs%1 WHERE %2"
                               " GROUP BY substr(started_utc, 1, 13), host, probe_serial, status,"
                               " via, result, job_file")
                    .arg(db.indexedBy("runs_report_hour"), w.sql),
                w.binds))
        return false;
    QMap<QDateTime, ReportCount> hours;
    QMap<QString, ReportCount> stations;
    QMap<QString, ReportCount> probes;
    QMap<QPair<QString, int>, qint64> failures;
    qint64 interrupted = 0;
    while (q.next()) {
        const QString status = q.value(4).toString();
        const qint64 n = q.value(7).toLongLong();
        const int result = q.value(6).isNull() ? -1 : q.value(6).toInt();
        r.total.add(status, n);
        hours[hourOf(q.value(0).toString())].add(status, n);
        stations[q.value(1).toString()].add(status, n);
        probes[q.value(2).toString()].add(status, n);
        count(r.totals.total, status, n);
        if (!q.value(3).toString().isEmpty())
            count(r.totals.byJob[q.value(3).toString()], status, n);
        count(r.totals.byProbe[q.value(2).toString()], status, n);
        if (status == QLatin1String("failed")) {
            failures[{q.value(5).toString(), result}] += n;
            r.totals.failuresByCode[QString::number(result)] += int(n);
        } else if (status == QLatin1String("interrupted")) {
            interrupted += n;
            r.totals.failuresByCode[QStringLiteral("interrupted")] += int(n);
        }
    }
    r.activeHours = hours.size();
    r.boardsPerHour = r.activeHours ? oneDecimal(double(r.total.passed) / r.activeHours) : 0;
    fillBuckets(r, hours);
    for (auto it = failures.cbegin(); it != failures.cend(); ++it) {
        r.causes.append({it.key().first, it.key().second, false, it.value(),
                         recordedResultText(QStringLiteral("failed"), it.key().second,
                                            it.key().first, QString())});
    }
    if (interrupted)
        r.causes.append({QString(), -1, true, interrupted,
                         recordedResultText(QStringLiteral("interrupted"), -1, QString(), {})});
    std::stable_sort(r.causes.begin(), r.causes.end(),
                     [](const ReportCause &a, const ReportCause &b) { return a.count > b.count; });
    r.stations = groups(stations, {});
    r.probes = groups(probes, {});
    return true;
}

bool readDurations(Reader &db, ProductionReport &r, const Where &w)
{
    QSqlQuery q;
    if (!db.run(q,
                QStringLiteral("SELECT host, probe_serial, duration_ms, COUNT(*) FROM runs"
                               " WHERE %1 AND status <> 'started' AND duration_ms >= 0"
                               " GROUP BY 1, 2, 3")
                    .arg(w.sql),
                w.binds))
        return false;
    QMap<qint64, qint64> all;
    QMap<QString, QMap<qint64, qint64>> stations;
    QMap<QString, QMap<qint64, qint64>> probes;
    while (q.next()) {
        const qint64 ms = q.value(2).toLongLong();
        const qint64 n = q.value(3).toLongLong();
        all[ms] += n;
        stations[q.value(0).toString()][ms] += n;
        probes[q.value(1).toString()][ms] += n;
    }
    fillDurations(r.durations, all);
    auto medians = [](QVector<ReportGroup> &groups, const QMap<QString, QMap<qint64, qint64>> &by) {
        for (ReportGroup &g : groups) {
            const QMap<qint64, qint64> d = by.value(g.name);
            if (!d.isEmpty())
                g.medianMs = rankValue(d, countOf(d), 0.5);
        }
    };
    medians(r.stations, stations);
    medians(r.probes, probes);
    return true;
}

bool readLastFailed(Reader &db, ProductionReport &r, const Where &w)
{
    QSqlQuery q;
    if (!db.run(q,
                QStringLiteral("SELECT id, started_utc, host, probe_serial, device_id, serial,"
                               " status, result, via, message, chip_uid FROM runs WHERE %1"
                               " AND status IN"
                               " ('failed', 'interrupted') ORDER BY started_utc DESC, id DESC"
                               " LIMIT %2")
                    .arg(w.sql)
                    .arg(ProductionReport::lastFailedRuns),
                w.binds))
        return false;
    while (q.next()) {
        ReportFailedRun f;
        f.id = q.value(0).toLongLong();
        f.startedUtc = QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs);
        f.station = q.value(2).toString();
        f.probe = q.value(3).toString();
        f.deviceId = quint32(q.value(4).toLongLong());
        f.hasSerial = !q.value(5).isNull();
        f.serial = quint32(q.value(5).toLongLong());
        f.status = q.value(6).toString();
        f.result = q.value(7).isNull() ? -1 : q.value(7).toInt();
        f.via = q.value(8).toString();
        f.message = q.value(9).toString();
        f.chipUid = q.value(10).toString();
        f.text = recordedResultText(f.status, f.result, f.via, f.message);
        r.lastFailed.append(f);
    }
    return true;
}

ReportSeries &seriesOf(QVector<ReportSeries> &list, const QSqlQuery &q)
{
    const quint32 address = quint32(q.value(0).toLongLong());
    const quint32 first = quint32(q.value(1).toLongLong());
    const quint32 step = quint32(q.value(2).toLongLong());
    for (ReportSeries &s : list) {
        if (s.address == address && s.first == first && s.step == step)
            return s;
    }
    ReportSeries s;
    s.address = address;
    s.first = first;
    s.step = step;
    list.append(s);
    return list.last();
}

bool readLedger(Reader &db, ProductionReport &r, const Where &w, bool whole)
{
    // The whole record needs no join: every ledger row counts.
    const QString from = whole
        ? QStringLiteral(" FROM serial_ledger l WHERE 1 = 1")
        // From the filtered runs to their ledger rows, not the other way round.
        : QStringLiteral(" FROM runs r CROSS JOIN serial_ledger l WHERE l.run_id = r.id AND ")
            + w.sql;
    const QString states = QStringLiteral("SUM(CASE WHEN l.state = 'used' THEN 1 ELSE 0 END),"
                                          " SUM(CASE WHEN l.state = 'void' THEN 1 ELSE 0 END)");
    QSqlQuery q;
    // The whole record in one pass in key order: a series without gaps is one range.
    bool gaps = !whole;
    if (whole) {
        if (!db.run(q,
                    QStringLiteral("SELECT l.series_address, l.series_first, l.series_step,"
                                   " COUNT(*), %1, MIN(l.seq), MAX(l.seq)%2"
                                   " GROUP BY l.series_address, l.series_first, l.series_step"
                                   " ORDER BY 1, 2, 3")
                        .arg(states, from),
                    w.binds))
            return false;
        while (q.next()) {
            ReportSeries &s = seriesOf(r.ledger, q);
            s.issued = q.value(3).toLongLong();
            s.used = q.value(4).toLongLong();
            s.voided = q.value(5).toLongLong();
            const qint64 low = q.value(6).toLongLong();
            const qint64 high = q.value(7).toLongLong();
            if (high - low + 1 == s.issued)
                s.ranges.append({quint32(s.first + low * qint64(s.step)),
                                 quint32(s.first + high * qint64(s.step)), s.issued});
            else
                gaps = true;
        }
    }
    // Consecutive sequence numbers share seq - row_number(): each such group is one range. A
    // filtered report counts its values here too.
    if (gaps
        && !db.run(
            q,
            QStringLiteral("SELECT series_address, series_first, series_step, MIN(seq), MAX(seq),"
                           " COUNT(*), SUM(used), SUM(void) FROM (SELECT l.series_address,"
                           " l.series_first, l.series_step, l.seq,"
                           " CASE WHEN l.state = 'used' THEN 1 ELSE 0 END AS used,"
                           " CASE WHEN l.state = 'void' THEN 1 ELSE 0 END AS void,"
                           " l.seq - ROW_NUMBER() OVER (PARTITION BY l.series_address,"
                           " l.series_first, l.series_step ORDER BY l.seq) AS island%1) t"
                           " GROUP BY 1, 2, 3, island ORDER BY 1, 2, 3, 4")
                .arg(from),
            w.binds))
        return false;
    while (gaps && q.next()) {
        ReportSeries &s = seriesOf(r.ledger, q);
        const qint64 count = q.value(5).toLongLong();
        if (whole && !s.ranges.isEmpty() && s.ranges.last().count == s.issued)
            continue; // no gaps: its one range is there
        if (!whole) {
            s.issued += count;
            s.used += q.value(6).toLongLong();
            s.voided += q.value(7).toLongLong();
        }
        if (s.ranges.size() < ProductionReport::maxRanges)
            s.ranges.append({quint32(s.first + q.value(3).toLongLong() * qint64(s.step)),
                             quint32(s.first + q.value(4).toLongLong() * qint64(s.step)), count});
    }
    // Capped per series: one series with many voided values must not hide the others'.
    if (!db.run(q,
                QStringLiteral("SELECT series_address, series_first, series_step, value FROM"
                               " (SELECT l.series_address, l.series_first, l.series_step, l.value,"
                               " l.seq, ROW_NUMBER() OVER (PARTITION BY l.series_address,"
                               " l.series_first, l.series_step ORDER BY l.seq) AS n%1"
                               " AND l.state = 'void') t WHERE n <= %2 ORDER BY 1, 2, 3, seq")
                    .arg(from)
                    .arg(ProductionReport::maxVoidValues),
                w.binds))
        return false;
    while (q.next()) {
        ReportSeries &s = seriesOf(r.ledger, q);
        if (s.voidValues.size() < ProductionReport::maxVoidValues)
            s.voidValues.append(quint32(q.value(3).toLongLong()));
    }
    return true;
}

} // namespace

bool computeReport(RecordDb &db, const ReportFilter &filter, ProductionReport *report,
                   QString *error)
{
    *report = ProductionReport();
    report->filter = filter;
    if (!db.isOpen()) {
        *error = QStringLiteral("record not open");
        return false;
    }
    if (!prepareReportIndexes(db, error))
        return false;
    Reader reader(db, error);
    const Where runs = whereOf(filter, QString());
    const Where joined = whereOf(filter, QStringLiteral("r."));
    const bool whole = !filter.since.isValid() && !filter.until.isValid() && filter.job.isEmpty()
        && filter.station.isEmpty() && filter.probe.isEmpty();
    return readCounts(reader, *report, runs) && readDurations(reader, *report, runs)
        && readLastFailed(reader, *report, runs) && readLedger(reader, *report, joined, whole);
}

bool prepareReportIndexes(RecordDb &db, QString *error)
{
    if (db.onPostgres())
        return true;
    QSqlQuery q(QSqlDatabase::database(db.connectionName(), false));
    for (const char *sql : sqliteReportIndexes) {
        if (!q.exec(QString::fromLatin1(sql))) {
            *error = QStringLiteral("record index failed: ") + q.lastError().text();
            return false;
        }
    }
    return true;
}
