// Summing recorded runs and writing them out as text, CSV and JSON.
#include "recordreport.h"

#include <QJsonArray>

namespace {

void count(Tally &t, const QString &status)
{
    if (status == QLatin1String("passed"))
        ++t.passed;
    else if (status == QLatin1String("started"))
        ++t.running;
    else
        ++t.failed;
}

QJsonObject tallyJson(const Tally &t)
{
    return QJsonObject{{"passed", t.passed},
                       {"failed", t.failed},
                       {"running", t.running},
                       {"yield", t.yieldText()}};
}

QJsonObject mapJson(const QMap<QString, Tally> &map)
{
    QJsonObject o;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        o.insert(it.key(), tallyJson(it.value()));
    return o;
}

} // namespace

QString Tally::yieldText() const
{
    if (finished() == 0)
        return QStringLiteral("-");
    return QString::number(100.0 * passed / finished(), 'f', 1) + QLatin1Char('%');
}

RecordReport::RecordReport(const QVector<RecordedRun> &runs)
{
    for (const RecordedRun &r : runs) {
        count(total, r.status);
        count(byJob[jobKey(r.record)], r.status);
        count(byProbe[r.record.probeSerial], r.status);
        if (r.status == QLatin1String("failed"))
            ++failuresByCode[QString::number(r.result)];
        else if (r.status == QLatin1String("interrupted"))
            ++failuresByCode[QStringLiteral("interrupted")];
    }
}

QString RecordReport::jobKey(const RunRecord &run)
{
    return run.jobFile.isEmpty() ? QString::fromLatin1(run.jobDigest.left(12)) : run.jobFile;
}

QString RecordReport::text() const
{
    QString out;
    auto line = [&out](const QString &label, const Tally &t) {
        // One arg() call: a job or probe name holding "%1" must come out as written.
        out += QStringLiteral("%1  passed %2  failed %3  yield %4")
                   .arg(label, QString::number(t.passed), QString::number(t.failed), t.yieldText());
        if (t.running)
            out += QStringLiteral("  running %1").arg(t.running);
        out += QLatin1Char('\n');
    };
    line(QStringLiteral("total"), total);
    for (auto it = byJob.cbegin(); it != byJob.cend(); ++it)
        line(QStringLiteral("job ") + it.key(), it.value());
    for (auto it = byProbe.cbegin(); it != byProbe.cend(); ++it)
        line(QStringLiteral("probe ") + it.key(), it.value());
    for (auto it = failuresByCode.cbegin(); it != failuresByCode.cend(); ++it)
        out += QStringLiteral("%1  %2\n")
                   .arg(it.key() == QLatin1String("interrupted")
                            ? it.key()
                            : QStringLiteral("result ") + it.key(),
                        QString::number(it.value()));
    return out;
}

QJsonObject RecordReport::json() const
{
    QJsonObject codes;
    for (auto it = failuresByCode.cbegin(); it != failuresByCode.cend(); ++it)
        codes.insert(it.key(), it.value());
    return QJsonObject{{"schema", RecordDb::schemaVersion},
                       {"total", tallyJson(total)},
                       {"byJob", mapJson(byJob)},
                       {"byProbe", mapJson(byProbe)},
                       {"failuresByCode", codes}};
}
