// See reportfigures.h.
#include "reportfigures.h"

#include "recorddb.h"

#include <algorithm>
#include <cmath>

namespace reportfigures {

double oneDecimal(double v)
{
    return std::round(v * 10.0) / 10.0;
}

// Value at the nearest rank ceil(p * n) of a distribution given as value -> count.
qint64 rankValue(const QMap<qint64, qint64> &counts, qint64 total, double p)
{
    const qint64 rank = std::max<qint64>(1, qint64(std::ceil(p * double(total))));
    qint64 seen = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        seen += it.value();
        if (seen >= rank)
            return it.key();
    }
    return -1;
}

qint64 countOf(const QMap<qint64, qint64> &counts)
{
    qint64 n = 0;
    for (qint64 c : counts)
        n += c;
    return n;
}

// 1, 2 or 5 times a power of ten, at least `v`.
qint64 niceWidth(qint64 v)
{
    qint64 p = 1;
    while (true) {
        for (qint64 m : {1, 2, 5}) {
            if (m * p >= v)
                return m * p;
        }
        p *= 10;
    }
}

void fillDurations(ReportDurations &d, const QMap<qint64, qint64> &counts)
{
    d.count = countOf(counts);
    if (d.count == 0)
        return;
    d.medianMs = rankValue(counts, d.count, 0.5);
    d.p95Ms = rankValue(counts, d.count, 0.95);
    constexpr qint64 targetBins = 20;
    const qint64 lo = counts.firstKey();
    const qint64 hi = counts.lastKey();
    d.binMs = niceWidth(std::max<qint64>(1, (hi - lo + targetBins) / targetBins));
    d.firstBin = lo / d.binMs;
    d.bins.fill(0, int(hi / d.binMs - d.firstBin + 1));
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        d.bins[int(it.key() / d.binMs - d.firstBin)] += it.value();
}

QVector<ReportGroup> groups(const QMap<QString, ReportCount> &counts,
                            const QMap<QString, QMap<qint64, qint64>> &durations)
{
    QVector<ReportGroup> out;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        ReportGroup g{it.key(), it.value(), -1};
        const QMap<qint64, qint64> d = durations.value(it.key());
        if (!d.isEmpty())
            g.medianMs = rankValue(d, countOf(d), 0.5);
        out.append(g);
    }
    return out;
}

void count(Tally &t, const QString &status, qint64 n)
{
    if (status == QLatin1String("passed"))
        t.passed += int(n);
    else if (status == QLatin1String("started"))
        t.running += int(n);
    else
        t.failed += int(n);
}

QDateTime hourOf(const QString &key)
{
    QDateTime t = QDateTime::fromString(key + QStringLiteral(":00:00"), Qt::ISODate);
    t.setTimeSpec(Qt::UTC);
    return t;
}

void fillBuckets(ProductionReport &r, const QMap<QDateTime, ReportCount> &hours)
{
    QDateTime lo = r.filter.since;
    QDateTime hi = r.filter.until;
    if (hours.isEmpty() && (!lo.isValid() || !hi.isValid()))
        return;
    // Open bounds, and bounds far wider than the runs (a --since 1970), end at the runs.
    constexpr qint64 widestSpanSecs = 400LL * 24 * 3600;
    if (!lo.isValid() || (!hours.isEmpty() && lo.secsTo(hours.firstKey()) > widestSpanSecs))
        lo = hours.firstKey();
    if (!hi.isValid() || (!hours.isEmpty() && hours.lastKey().secsTo(hi) > widestSpanSecs))
        hi = hours.lastKey().addSecs(3600);
    if (hours.isEmpty() && lo.secsTo(hi) > widestSpanSecs)
        return;
    lo = lo.toUTC();
    hi = hi.toUTC();
    if (hi <= lo)
        return;
    r.daily = lo.secsTo(hi) > qint64(ProductionReport::hourlyUpToHours) * 3600;
    if (r.daily) {
        const QDate first = lo.toLocalTime().date();
        const QDate last = hi.addMSecs(-1).toLocalTime().date();
        for (QDate d = first; d <= last; d = d.addDays(1))
            r.buckets.append({QDateTime(d, QTime(0, 0), Qt::LocalTime), ReportCount()});
        for (auto it = hours.cbegin(); it != hours.cend(); ++it) {
            const qint64 i = first.daysTo(it.key().toLocalTime().date());
            if (i < 0 || i >= r.buckets.size())
                continue;
            ReportCount &c = r.buckets[int(i)].count;
            c.passed += it->passed;
            c.failed += it->failed;
            c.interrupted += it->interrupted;
            c.running += it->running;
        }
        return;
    }
    QDateTime h = lo.addSecs(-(lo.toSecsSinceEpoch() % 3600));
    h.setTime(QTime(h.time().hour(), 0));
    for (; h < hi; h = h.addSecs(3600))
        r.buckets.append({h.toLocalTime(), hours.value(h)});
}

} // namespace reportfigures

using reportfigures::oneDecimal;

QDateTime reportBound(const QString &text, bool end, const QDateTime &nowUtc)
{
    const QString t = text.trimmed();
    const QDate today = nowUtc.toLocalTime().date();
    QDateTime day;
    if (t == QLatin1String("today"))
        day = QDateTime(today, QTime(0, 0), Qt::LocalTime);
    else if (t == QLatin1String("yesterday"))
        day = QDateTime(today.addDays(-1), QTime(0, 0), Qt::LocalTime);
    else {
        const QDate date = QDate::fromString(t, Qt::ISODate);
        if (date.isValid() && t.size() == 10) {
            day = QDateTime(date, QTime(0, 0), Qt::UTC);
        } else {
            QDateTime moment = QDateTime::fromString(t, Qt::ISODate);
            if (moment.isValid() && moment.timeSpec() == Qt::LocalTime)
                moment.setTimeSpec(Qt::UTC);
            return moment.isValid() ? moment.toUTC() : QDateTime();
        }
    }
    return (end ? day.addDays(1) : day).toUTC();
}

bool reportIncludes(const ReportFilter &f, const RecordedRun &run)
{
    const RunRecord &r = run.record;
    const QString digest = QString::fromLatin1(r.jobDigest);
    return (!f.since.isValid() || r.startedUtc >= f.since)
        && (!f.until.isValid() || r.startedUtc < f.until)
        && (f.job.isEmpty() || r.jobFile == f.job || digest.startsWith(f.job.toLower()))
        && (f.station.isEmpty() || r.host == f.station)
        && (f.probe.isEmpty() || r.probeSerial == f.probe);
}

double ReportCount::yield() const
{
    return finished() ? oneDecimal(100.0 * double(passed) / double(finished())) : -1;
}

void ReportCount::add(const QString &status, qint64 n)
{
    if (status == QLatin1String("passed"))
        passed += n;
    else if (status == QLatin1String("failed"))
        failed += n;
    else if (status == QLatin1String("interrupted"))
        interrupted += n;
    else
        running += n;
}
