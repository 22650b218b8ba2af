// Summing recorded runs and writing them out as text, CSV and JSON.
#include "recordreport.h"

#include "resulttext.h"

#include <QJsonArray>
#include <QStringList>

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

QString hex8(quint32 v)
{
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')).toUpper().replace("0X", "0x");
}

// RFC 4180 quoting; a cell that a spreadsheet would run as a formula gets a leading apostrophe.
QString csvCell(QString s)
{
    if (!s.isEmpty() && QStringLiteral("=+-@").contains(s.at(0)))
        s.prepend(QLatin1Char('\''));
    if (s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('"'))
        || s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r')))
        return QLatin1Char('"') + s.replace(QLatin1String("\""), QLatin1String("\"\""))
            + QLatin1Char('"');
    return s;
}

QString filesText(const QVector<RecordedFile> &files)
{
    QStringList parts;
    for (const RecordedFile &f : files)
        parts << QStringLiteral("%1@%2+%3/%4")
                     .arg(f.name, hex8(f.address), QString::number(f.length), hex8(f.crc32));
    return parts.join(QLatin1Char(';'));
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

QString RecordReport::csvHeader()
{
    return QStringLiteral(
        "id,started_utc,ended_utc,duration_ms,host,tool_version,probe_serial,probe_firmware,"
        "chip_model,device_id,job_file,job_digest,files,options,serial,status,result,message,via,"
        "result_text,chip_uid,functional,functional_text\r\n");
}

QString RecordReport::csvRow(const RecordedRun &r)
{
    const RunRecord &c = r.record;
    const QString cells[] = {QString::number(r.id),
                             c.startedUtc.toUTC().toString(Qt::ISODateWithMs),
                             r.endedUtc.isValid() ? r.endedUtc.toUTC().toString(Qt::ISODateWithMs)
                                                  : QString(),
                             r.durationMs >= 0 ? QString::number(r.durationMs) : QString(),
                             c.host,
                             c.toolVersion,
                             c.probeSerial,
                             c.probeFirmware,
                             QString::number(c.chipModel),
                             hex8(c.deviceId),
                             c.jobFile,
                             QString::fromLatin1(c.jobDigest),
                             filesText(c.files),
                             c.options,
                             c.hasSerial ? hex8(c.serial) : QString(),
                             r.status,
                             r.result >= 0 ? QString::number(r.result) : QString(),
                             r.message,
                             c.via,
                             recordedResultText(r.status, r.result, c.via, r.message),
                             c.chipUid,
                             r.functional,
                             QString::fromUtf8(r.functionalText)};
    QString out;
    for (const QString &cell : cells) {
        if (&cell != cells)
            out += QLatin1Char(',');
        out += csvCell(cell);
    }
    return out + QStringLiteral("\r\n");
}

QString RecordReport::csv(const QVector<RecordedRun> &runs)
{
    QString out = csvHeader();
    for (const RecordedRun &r : runs)
        out += csvRow(r);
    return out;
}
