// Writing the rows of a run: begun with what is known before it, finished or interrupted with
// its outcome, in one transaction each.
#include "recorddb.h"

#include "processprobe.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

namespace {

QVariant countOrNull(int count)
{
    return count < 0 ? QVariant(QVariant::Int) : QVariant(count);
}

QString utcText(const QDateTime &t)
{
    return t.toUTC().toString(Qt::ISODateWithMs);
}

QString filesJson(const QVector<RecordedFile> &files)
{
    QJsonArray list;
    for (const RecordedFile &f : files)
        list.append(QJsonObject{{"name", f.name},
                                {"address", qint64(f.address)},
                                {"length", qint64(f.length)},
                                {"crc32", qint64(f.crc32)}});
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

} // namespace

qint64 RecordDb::beginRun(const RunRecord &run)
{
    if (!isOpen()) {
        fail(QStringLiteral("record not open"), QString());
        return -1;
    }
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare("INSERT INTO runs (started_utc, host, pid, process_start, tool_version,"
              " probe_serial, probe_firmware, chip_model, device_id, job_file, job_digest,"
              " files, options, serial, via, target, chip_uid, status)"
              " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,'started') RETURNING id");
    const QDateTime started =
        run.startedUtc.isValid() ? run.startedUtc : QDateTime::currentDateTimeUtc();
    q.addBindValue(utcText(started));
    q.addBindValue(run.host.isEmpty() ? QSysInfo::machineHostName() : run.host);
    q.addBindValue(QCoreApplication::applicationPid());
    q.addBindValue(processStartTicks(QCoreApplication::applicationPid()));
    q.addBindValue(run.toolVersion);
    q.addBindValue(run.probeSerial);
    q.addBindValue(run.probeFirmware);
    q.addBindValue(run.chipModel);
    q.addBindValue(qint64(run.deviceId));
    q.addBindValue(run.jobFile);
    q.addBindValue(QString::fromLatin1(run.jobDigest));
    q.addBindValue(filesJson(run.files));
    q.addBindValue(run.options);
    q.addBindValue(run.hasSerial ? QVariant(qint64(run.serial)) : QVariant(QVariant::LongLong));
    q.addBindValue(run.via);
    q.addBindValue(run.target.isEmpty() ? QVariant(QVariant::String) : QVariant(run.target));
    q.addBindValue(run.chipUid.isEmpty() ? QVariant(QVariant::String) : QVariant(run.chipUid));
    // A single statement commits on its own: the row exists before the probe is touched.
    if (!q.exec() || !q.next()) {
        fail(QStringLiteral("record write failed"), q.lastError().text());
        return -1;
    }
    return q.value(0).toLongLong();
}

bool RecordDb::finishRun(qint64 id, bool passed, int result, const QString &message,
                         quint32 deviceId, const SectorCounts &sectors, const RunCheck &check)
{
    return endRun(id, passed ? QStringLiteral("passed") : QStringLiteral("failed"), result, message,
                  deviceId, sectors, check);
}

bool RecordDb::interruptRun(qint64 id, int result, const QString &message, quint32 deviceId,
                            const SectorCounts &sectors, const RunCheck &check)
{
    return endRun(id, QStringLiteral("interrupted"), result, message, deviceId, sectors, check);
}

bool RecordDb::endRun(qint64 id, const QString &status, int result, const QString &message,
                      quint32 deviceId, const SectorCounts &sectors, const RunCheck &check)
{
    const bool passed = status == QLatin1String("passed");
    if (!isOpen())
        return fail(QStringLiteral("record not open"), QString());
    if (!begin())
        return false;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery read(db);
    read.prepare("SELECT started_utc FROM runs WHERE id = ? AND status = 'started'");
    read.addBindValue(id);
    if (!read.exec() || !read.next()) {
        fail(QStringLiteral("run %1 is not open in the record").arg(id), read.lastError().text());
        rollback();
        return false;
    }
    const QDateTime started = QDateTime::fromString(read.value(0).toString(), Qt::ISODateWithMs);
    read.finish();
    const QDateTime ended = QDateTime::currentDateTimeUtc();
    QSqlQuery q(db);
    // The chip detect reads the device id during the run, after the row was written; the chip's
    // ID too, when the row did not have it yet.
    QString sql = QStringLiteral("UPDATE runs SET ended_utc = ?, duration_ms = ?, status = ?,"
                                 " result = ?, message = ?, sectors_erased = ?,"
                                 " sectors_programmed = ?, sectors_skipped = ?,"
                                 " functional = ?, functional_text = ?");
    if (deviceId)
        sql += QStringLiteral(", device_id = ?");
    if (!check.chipUid.isEmpty())
        sql += QStringLiteral(", chip_uid = ?");
    q.prepare(sql + QStringLiteral(" WHERE id = ? AND status = 'started'"));
    q.addBindValue(utcText(ended));
    q.addBindValue(started.isValid() ? started.msecsTo(ended) : qint64(-1));
    q.addBindValue(status);
    q.addBindValue(result);
    q.addBindValue(message);
    q.addBindValue(countOrNull(sectors.erased));
    q.addBindValue(countOrNull(sectors.programmed));
    q.addBindValue(countOrNull(sectors.skipped));
    q.addBindValue(check.functional.isEmpty() ? QVariant(QVariant::String)
                                              : QVariant(check.functional));
    // Bounded, and as text: what a board printed may be any bytes.
    q.addBindValue(check.functional.isEmpty()
                       ? QVariant(QVariant::String)
                       : QVariant(QString::fromUtf8(check.text.left(RunCheck::maxText))));
    if (deviceId)
        q.addBindValue(qint64(deviceId));
    if (!check.chipUid.isEmpty())
        q.addBindValue(check.chipUid);
    q.addBindValue(id);
    if (!q.exec()) {
        fail(QStringLiteral("record write failed"), q.lastError().text());
        rollback();
        return false;
    }
    // Under PostgreSQL's read committed the SELECT above does not hold the row: an interruption
    // committed since then leaves nothing to update, and the ledger keeps what it decided.
    if (q.numRowsAffected() != 1) {
        fail(QStringLiteral("run %1 is not open in the record").arg(id), QString());
        rollback();
        return false;
    }
    QSqlQuery serial(db);
    serial.prepare("UPDATE serial_ledger SET state = ? WHERE run_id = ? AND state = 'allocated'");
    serial.addBindValue(passed ? QStringLiteral("used") : QStringLiteral("void"));
    serial.addBindValue(id);
    if (!serial.exec()) {
        fail(QStringLiteral("record write failed"), serial.lastError().text());
        rollback();
        return false;
    }
    return commit();
}
