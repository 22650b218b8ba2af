// Reading runs back: streamed in id order so a record of any size costs flat memory, and counted
// in the database rather than in rows fetched.
#include "recorddb.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace {

const char *const runColumns =
    "SELECT id, started_utc, ended_utc, duration_ms, host, tool_version, probe_serial,"
    " probe_firmware, chip_model, device_id, job_file, job_digest, files, options, serial,"
    " status, result, message, via, target, sectors_erased, sectors_programmed,"
    " sectors_skipped, chip_uid, functional, functional_text FROM runs";

QVector<RecordedFile> filesFromJson(const QString &text)
{
    QVector<RecordedFile> files;
    const QJsonArray list = QJsonDocument::fromJson(text.toUtf8()).array();
    for (const QJsonValue &v : list) {
        const QJsonObject o = v.toObject();
        files.append({o.value("name").toString(), quint32(o.value("address").toDouble()),
                      quint32(o.value("length").toDouble()), quint32(o.value("crc32").toDouble())});
    }
    return files;
}

// The record writes its times in one form (yyyy-MM-ddTHH:mm:ss.zzzZ); the general parser would
// cost more than the rest of the row. Anything else goes to it.
QDateTime utcFromText(const QString &text)
{
    static const char form[] = "0000-00-00T00:00:00.000Z";
    if (text.size() != int(sizeof form) - 1)
        return QDateTime::fromString(text, Qt::ISODateWithMs);
    int fields[7] = {};
    int field = 0;
    for (int i = 0; i < text.size(); ++i) {
        const ushort c = text.at(i).unicode();
        if (form[i] != '0') {
            if (c != uchar(form[i]))
                return QDateTime::fromString(text, Qt::ISODateWithMs);
            ++field;
        } else if (c >= '0' && c <= '9') {
            fields[field] = fields[field] * 10 + (c - '0');
        } else {
            return QDateTime::fromString(text, Qt::ISODateWithMs);
        }
    }
    const QDate date(fields[0], fields[1], fields[2]);
    const QTime time(fields[3], fields[4], fields[5], fields[6]);
    if (!date.isValid() || !time.isValid())
        return QDateTime::fromString(text, Qt::ISODateWithMs);
    return QDateTime(date, time, Qt::UTC);
}

int countOrMinus(const QVariant &v)
{
    return v.isNull() ? -1 : v.toInt();
}

// filesText: the files JSON of the run read before, whose list r still holds; runs of one job
// share it, so it is parsed once.
void readRun(const QSqlQuery &q, RecordedRun &r, QString &filesText)
{
    r.id = q.value(0).toLongLong();
    r.record.startedUtc = utcFromText(q.value(1).toString());
    r.endedUtc = utcFromText(q.value(2).toString());
    r.durationMs = q.value(3).isNull() ? -1 : q.value(3).toLongLong();
    r.record.host = q.value(4).toString();
    r.record.toolVersion = q.value(5).toString();
    r.record.probeSerial = q.value(6).toString();
    r.record.probeFirmware = q.value(7).toString();
    r.record.chipModel = q.value(8).toInt();
    r.record.deviceId = quint32(q.value(9).toLongLong());
    r.record.jobFile = q.value(10).toString();
    r.record.jobDigest = q.value(11).toString().toLatin1();
    const QString files = q.value(12).toString();
    if (files != filesText) {
        r.record.files = filesFromJson(files);
        filesText = files;
    }
    r.record.options = q.value(13).toString();
    r.record.hasSerial = !q.value(14).isNull();
    r.record.serial = quint32(q.value(14).toLongLong());
    r.status = q.value(15).toString();
    r.result = q.value(16).isNull() ? -1 : q.value(16).toInt();
    r.message = q.value(17).toString();
    r.record.via = q.value(18).toString();
    r.record.target = q.value(19).toString();
    r.sectors.erased = countOrMinus(q.value(20));
    r.sectors.programmed = countOrMinus(q.value(21));
    r.sectors.skipped = countOrMinus(q.value(22));
    r.record.chipUid = q.value(23).toString();
    r.functional = q.value(24).toString();
    r.functionalText = q.value(25).toString().toUtf8();
}

QString sinceText(const QDateTime &since)
{
    return since.isValid() ? since.toUTC().toString(Qt::ISODateWithMs) : QString("");
}

} // namespace

bool RecordDb::forEachRun(const QDateTime &since,
                          const std::function<bool(const RecordedRun &)> &row)
{
    return readRuns(since, 0, 0, true, row);
}

bool RecordDb::readRuns(const QDateTime &since, int limit, qint64 offset, bool ascending,
                        const std::function<bool(const RecordedRun &)> &row)
{
    error.clear();
    if (!isOpen())
        return fail(QStringLiteral("record not open"), QString());
    QString sql = QString::fromLatin1(runColumns)
        + (ascending ? QStringLiteral(" WHERE started_utc >= ? ORDER BY id")
                     : QStringLiteral(" WHERE started_utc >= ? ORDER BY id DESC"));
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1 OFFSET %2").arg(limit).arg(std::max<qint64>(offset, 0));
    QSqlQuery q(QSqlDatabase::database(connection, false));
    // Forward only: Qt would otherwise cache every row it has passed.
    q.setForwardOnly(true);
    q.prepare(sql);
    q.addBindValue(sinceText(since));
    if (!q.exec())
        return fail(QStringLiteral("record read failed"), q.lastError().text());
    RecordedRun r;
    QString filesText;
    while (q.next()) {
        readRun(q, r, filesText);
        if (!row(r))
            return true;
    }
    if (q.lastError().isValid())
        return fail(QStringLiteral("record read failed"), q.lastError().text());
    return true;
}

QVector<RecordedRun> RecordDb::runs(const QDateTime &since, int limit)
{
    QVector<RecordedRun> out;
    readRuns(since, limit, 0, limit <= 0, [&out](const RecordedRun &r) {
        out.append(r);
        return true;
    });
    if (limit > 0)
        std::reverse(out.begin(), out.end());
    return out;
}

QVector<RecordedRun> RecordDb::newestRuns(qint64 skip, int count)
{
    QVector<RecordedRun> out;
    if (count <= 0)
        return out;
    readRuns(QDateTime(), count, skip, false, [&out](const RecordedRun &r) {
        out.append(r);
        return true;
    });
    return out;
}

bool RecordDb::countRuns(const QDateTime &since, const QByteArray &jobDigest, RunCounts *counts)
{
    *counts = RunCounts();
    error.clear();
    if (!isOpen())
        return fail(QStringLiteral("record not open"), QString());
    // No bound where none is asked for: "started_utc >= ''" would steer the count off the
    // job index onto the time index, and from there through every row of the table.
    QStringList where;
    if (since.isValid())
        where << QStringLiteral("started_utc >= ?");
    if (!jobDigest.isNull())
        where << QStringLiteral("job_digest = ?");
    QString sql = QStringLiteral("SELECT status, COUNT(*) FROM runs");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" GROUP BY status");
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.setForwardOnly(true);
    q.prepare(sql);
    if (since.isValid())
        q.addBindValue(sinceText(since));
    if (!jobDigest.isNull())
        q.addBindValue(QString::fromLatin1(jobDigest));
    if (!q.exec())
        return fail(QStringLiteral("record read failed"), q.lastError().text());
    while (q.next()) {
        const QString status = q.value(0).toString();
        const qint64 n = q.value(1).toLongLong();
        if (status == QLatin1String("passed"))
            counts->passed += n;
        else if (status == QLatin1String("started"))
            counts->running += n;
        else
            counts->failed += n;
    }
    return true;
}
