// The serial ledger and the sweep of dead runs.
#include "recorddb.h"

#include "processprobe.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

namespace {

QString hex8(quint32 v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

QString repeatedValueMessage(quint32 address, quint32 value, qint64 runId, const QString &state)
{
    const char *stateText = QT_TRANSLATE_NOOP("RecordDb", "已预留");
    if (state == QLatin1String("used"))
        stateText = QT_TRANSLATE_NOOP("RecordDb", "已使用");
    else if (state == QLatin1String("void"))
        stateText = QT_TRANSLATE_NOOP("RecordDb", "已作废");
    return QCoreApplication::translate("RecordDb",
                                       "地址0x%1的滚码值0x%2已分配给烧录记录%3（%4），不会重复分配")
        .arg(hex8(address), hex8(value))
        .arg(runId)
        .arg(QCoreApplication::translate("RecordDb", stateText));
}

} // namespace

bool RecordDb::serialOfChip(const SerialSeries &series, const QString &chipUid, qint64 *value)
{
    *value = -1;
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare("SELECT l.value FROM runs r CROSS JOIN serial_ledger l WHERE r.chip_uid = ?"
              " AND l.run_id = r.id AND l.series_address = ? AND l.series_first = ?"
              " AND l.series_step = ? AND l.state = 'used' ORDER BY l.seq DESC LIMIT 1");
    q.addBindValue(chipUid);
    q.addBindValue(qint64(series.address));
    q.addBindValue(qint64(series.first));
    q.addBindValue(qint64(series.step));
    if (!q.exec())
        return fail(QStringLiteral("record read failed"), q.lastError().text());
    if (q.next())
        *value = q.value(0).toLongLong();
    return true;
}

bool RecordDb::allocateSerial(const SerialSeries &series, qint64 runId, quint32 *value,
                              const QString &chipUid, bool newSerial)
{
    if (!isOpen())
        return fail(QStringLiteral("record not open"), QString());
    if (!begin())
        return false;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    // SQLite's BEGIN IMMEDIATE already holds the one write lock; PostgreSQL needs the table lock
    // so that two stations never read the same highest entry.
    if (postgres && !exec(QStringLiteral("LOCK TABLE serial_ledger IN EXCLUSIVE MODE"))) {
        rollback();
        return false;
    }
    QSqlQuery q(db);
    if (!chipUid.isEmpty()) {
        qint64 held = -1;
        if (!newSerial && !serialOfChip(series, chipUid, &held)) {
            rollback();
            return false;
        }
        // A board programmed again keeps the serial it carries: no ledger row, nothing voided if
        // this run fails.
        q.prepare(held >= 0
                      ? QStringLiteral("UPDATE runs SET chip_uid = ?, serial = ? WHERE id = ?")
                      : QStringLiteral("UPDATE runs SET chip_uid = ? WHERE id = ?"));
        q.addBindValue(chipUid);
        if (held >= 0)
            q.addBindValue(held);
        q.addBindValue(runId);
        if (!q.exec()) {
            fail(QStringLiteral("record write failed"), q.lastError().text());
            rollback();
            return false;
        }
        if (held >= 0) {
            if (!commit())
                return false;
            *value = quint32(held);
            return true;
        }
    }
    q.prepare("SELECT MAX(seq) FROM serial_ledger WHERE series_address = ? AND series_first = ?"
              " AND series_step = ?");
    q.addBindValue(qint64(series.address));
    q.addBindValue(qint64(series.first));
    q.addBindValue(qint64(series.step));
    if (!q.exec() || !q.next()) {
        fail(QStringLiteral("record read failed"), q.lastError().text());
        rollback();
        return false;
    }
    const qint64 seq = q.value(0).isNull() ? 0 : q.value(0).toLongLong() + 1;
    q.finish();
    const qint64 next = qint64(series.first) + seq * qint64(series.step);
    if (seq < 0 || next > 0xFFFFFFFFLL || (series.step == 0 && seq > 0)) {
        fail(QStringLiteral("serial series at 0x%1 from 0x%2 step 0x%3 is used up")
                 .arg(series.address, 8, 16, QLatin1Char('0'))
                 .arg(series.first, 8, 16, QLatin1Char('0'))
                 .arg(series.step, 8, 16, QLatin1Char('0')),
             QString());
        rollback();
        return false;
    }
    // A production line promises one serial per board: a value any series at this address
    // already issued, reserved or voided is never issued again.
    q.prepare("SELECT run_id, state FROM serial_ledger WHERE series_address = ? AND value = ?"
              " LIMIT 1");
    q.addBindValue(qint64(series.address));
    q.addBindValue(next);
    if (!q.exec()) {
        fail(QStringLiteral("record read failed"), q.lastError().text());
        rollback();
        return false;
    }
    if (q.next()) {
        error = repeatedValueMessage(series.address, quint32(next), q.value(0).toLongLong(),
                                     q.value(1).toString());
        rollback();
        return false;
    }
    q.finish();
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO serial_ledger (series_address, series_first, series_step, seq,"
                   " value, run_id, state) VALUES (?,?,?,?,?,?,'allocated')");
    insert.addBindValue(qint64(series.address));
    insert.addBindValue(qint64(series.first));
    insert.addBindValue(qint64(series.step));
    insert.addBindValue(seq);
    insert.addBindValue(next);
    insert.addBindValue(runId);
    QSqlQuery run(db);
    run.prepare("UPDATE runs SET serial = ? WHERE id = ?");
    run.addBindValue(next);
    run.addBindValue(runId);
    if (!insert.exec() || !run.exec()) {
        fail(QStringLiteral("record write failed"),
             insert.lastError().isValid() ? insert.lastError().text() : run.lastError().text());
        rollback();
        return false;
    }
    if (!commit())
        return false;
    *value = quint32(next);
    return true;
}

int RecordDb::markInterrupted()
{
    if (!isOpen()) {
        fail(QStringLiteral("record not open"), QString());
        return -1;
    }
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery q(db);
    q.prepare("SELECT id, pid, process_start FROM runs WHERE status = 'started' AND host = ?"
              " ORDER BY id");
    q.addBindValue(QSysInfo::machineHostName());
    if (!q.exec()) {
        fail(QStringLiteral("record read failed"), q.lastError().text());
        return -1;
    }
    QVector<qint64> dead;
    while (q.next()) {
        if (!processAlive(q.value(1).toLongLong(), q.value(2).toLongLong()))
            dead.append(q.value(0).toLongLong());
    }
    q.finish();
    if (dead.isEmpty())
        return 0;
    if (!begin())
        return -1;
    int marked = 0;
    for (qint64 id : dead) {
        // The run may have ended since it was read: only a row still started is interrupted, and
        // only its serial voided.
        QSqlQuery run(db);
        run.prepare("UPDATE runs SET status = 'interrupted' WHERE id = ? AND status = 'started'");
        run.addBindValue(id);
        if (!run.exec()) {
            fail(QStringLiteral("record write failed"), run.lastError().text());
            rollback();
            return -1;
        }
        if (run.numRowsAffected() != 1)
            continue;
        QSqlQuery serial(db);
        serial.prepare("UPDATE serial_ledger SET state = 'void' WHERE run_id = ?"
                       " AND state = 'allocated'");
        serial.addBindValue(id);
        if (!serial.exec()) {
            fail(QStringLiteral("record write failed"), serial.lastError().text());
            rollback();
            return -1;
        }
        ++marked;
    }
    return commit() ? marked : -1;
}

QVector<QPair<quint32, QString>> RecordDb::ledger(const SerialSeries &series)
{
    QVector<QPair<quint32, QString>> out;
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare("SELECT value, state FROM serial_ledger WHERE series_address = ? AND"
              " series_first = ? AND series_step = ? ORDER BY seq");
    q.addBindValue(qint64(series.address));
    q.addBindValue(qint64(series.first));
    q.addBindValue(qint64(series.step));
    if (!q.exec()) {
        fail(QStringLiteral("record read failed"), q.lastError().text());
        return out;
    }
    while (q.next())
        out.append({quint32(q.value(0).toLongLong()), q.value(1).toString()});
    return out;
}
