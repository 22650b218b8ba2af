// The production report as JSON: the figures the page shows, under the keys its elements name.
#include "productionreport.h"

#include <QJsonArray>
#include <cmath>
#include <utility>

namespace {

QString hex8(quint32 v)
{
    return QString::asprintf("0x%08X", v);
}

QJsonValue yieldValue(const ReportCount &c)
{
    return c.finished() ? QJsonValue(c.yield()) : QJsonValue();
}

QJsonObject countJson(const ReportCount &c)
{
    return QJsonObject{{"runs", c.runs()},     {"passed", c.passed},
                       {"failed", c.failed},   {"interrupted", c.interrupted},
                       {"running", c.running}, {"yield", yieldValue(c)}};
}

QJsonArray groupsJson(const QVector<ReportGroup> &groups)
{
    QJsonArray list;
    for (const ReportGroup &g : groups) {
        QJsonObject o = countJson(g.count);
        o.insert("name", g.name);
        o.insert("medianMs", g.medianMs >= 0 ? QJsonValue(g.medianMs) : QJsonValue());
        list.append(o);
    }
    return list;
}

QJsonValue timeValue(const QDateTime &t)
{
    return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

} // namespace

QJsonObject ProductionReport::json() const
{
    QJsonObject o = totals.json();
    QJsonObject f{{"since", timeValue(filter.since)}, {"until", timeValue(filter.until)}};
    for (const auto &[key, value] : {std::pair<const char *, QString>{"job", filter.job},
                                     {"station", filter.station},
                                     {"probe", filter.probe}})
        f.insert(key, value.isEmpty() ? QJsonValue() : QJsonValue(value));
    o.insert("filter", f);

    QJsonObject headline = countJson(total);
    headline.insert("boardsPerHour", boardsPerHour);
    headline.insert("activeHours", activeHours);
    o.insert("headline", headline);

    o.insert("period", daily ? "day" : "hour");
    QJsonArray series;
    for (const ReportBucket &b : buckets) {
        QJsonObject s = countJson(b.count);
        s.insert("start", b.start.toString(daily ? "yyyy-MM-dd" : "yyyy-MM-ddTHH:mm"));
        series.append(s);
    }
    o.insert("series", series);

    QJsonArray causeList;
    const qint64 failures = total.failed + total.interrupted;
    qint64 cumulative = 0;
    for (const ReportCause &c : causes) {
        cumulative += c.count;
        causeList.append(QJsonObject{
            {"via", c.interrupted ? QJsonValue() : QJsonValue(c.via)},
            {"result", c.result >= 0 ? QJsonValue(c.result) : QJsonValue()},
            {"interrupted", c.interrupted},
            {"count", c.count},
            {"cumulative", failures ? std::round(1000.0 * cumulative / failures) / 10.0 : 0.0},
            {"text", c.text}});
    }
    o.insert("causes", causeList);
    o.insert("stations", groupsJson(stations));
    o.insert("probes", groupsJson(probes));

    QJsonArray bins;
    for (int i = 0; i < durations.bins.size(); ++i)
        bins.append(QJsonObject{{"fromMs", (durations.firstBin + i) * durations.binMs},
                                {"count", durations.bins[i]}});
    auto msOrNull = [](qint64 v) { return v >= 0 ? QJsonValue(v) : QJsonValue(); };
    o.insert("durations",
             QJsonObject{{"count", durations.count},
                         {"medianMs", msOrNull(durations.medianMs)},
                         {"p95Ms", msOrNull(durations.p95Ms)},
                         {"binMs", durations.binMs},
                         {"bins", bins}});

    QJsonArray ledgerList;
    for (const ReportSeries &s : ledger) {
        QJsonArray ranges;
        for (const ReportSerialRange &r : s.ranges)
            ranges.append(
                QJsonObject{{"from", hex8(r.from)}, {"to", hex8(r.to)}, {"count", r.count}});
        QJsonArray voids;
        for (quint32 v : s.voidValues)
            voids.append(hex8(v));
        ledgerList.append(QJsonObject{{"address", hex8(s.address)},
                                      {"first", hex8(s.first)},
                                      {"step", qint64(s.step)},
                                      {"issued", s.issued},
                                      {"used", s.used},
                                      {"void", s.voided},
                                      {"ranges", ranges},
                                      {"voidValues", voids}});
    }
    o.insert("ledger", ledgerList);

    QJsonArray failed;
    for (const ReportFailedRun &f : lastFailed)
        failed.append(
            QJsonObject{{"id", f.id},
                        {"started", timeValue(f.startedUtc)},
                        {"station", f.station},
                        {"probe", f.probe},
                        {"deviceId", hex8(f.deviceId)},
                        {"chipUid", f.chipUid.isEmpty() ? QJsonValue() : QJsonValue(f.chipUid)},
                        {"serial", f.hasSerial ? QJsonValue(hex8(f.serial)) : QJsonValue()},
                        {"status", f.status},
                        {"result", f.result >= 0 ? QJsonValue(f.result) : QJsonValue()},
                        {"via", f.via},
                        {"text", f.text},
                        {"message", f.message}});
    o.insert("lastFailed", failed);
    return o;
}
