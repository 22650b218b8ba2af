// Opening the record and its schema; the rows of a run are written in recorddb_runs.cpp.
#include "recorddb.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>
#include <QVariant>

#include <iterator>
#include <vector>

namespace {

QAtomicInteger<quint64> connectionCounter;

// Long enough to ride out other stations' short transactions, short enough that a database locked
// for good is reported while the operator still waits at the window.
constexpr int busyTimeoutMs = 30000;

// Finds an earlier holder of a value at an address, whatever its series.
const char *const valueIndex =
    "CREATE INDEX IF NOT EXISTS serial_ledger_value ON serial_ledger (series_address, value)";

// Finds the runs of one chip, for the serial it already holds.
const char *const chipIndex = "CREATE INDEX IF NOT EXISTS runs_chip_uid ON runs (chip_uid)";
// The dialog counts a job's runs and every opening sweeps the open ones: neither may read the
// whole table of a million runs.
const char *const jobIndex = "CREATE INDEX IF NOT EXISTS runs_job ON runs (job_digest, status)";
const char *const openIndex =
    "CREATE INDEX IF NOT EXISTS runs_open ON runs (host) WHERE status = 'started'";

const char *const sqliteSchema[] = {
    "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS runs ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " started_utc TEXT NOT NULL, ended_utc TEXT, duration_ms INTEGER,"
    " host TEXT NOT NULL, pid INTEGER NOT NULL, process_start INTEGER NOT NULL,"
    " tool_version TEXT, probe_serial TEXT, probe_firmware TEXT,"
    " chip_model INTEGER, device_id INTEGER, job_file TEXT, job_digest TEXT,"
    " files TEXT, options TEXT, serial INTEGER,"
    " status TEXT NOT NULL, result INTEGER, message TEXT,"
    " via TEXT NOT NULL DEFAULT 'vendor', target TEXT,"
    " sectors_erased INTEGER, sectors_programmed INTEGER, sectors_skipped INTEGER,"
    " chip_uid TEXT, functional TEXT, functional_text TEXT)",
    "CREATE INDEX IF NOT EXISTS runs_started ON runs (started_utc)",
    "CREATE TABLE IF NOT EXISTS serial_ledger ("
    " series_address INTEGER NOT NULL, series_first INTEGER NOT NULL,"
    " series_step INTEGER NOT NULL, seq INTEGER NOT NULL, value INTEGER NOT NULL,"
    " run_id INTEGER, state TEXT NOT NULL,"
    " PRIMARY KEY (series_address, series_first, series_step, seq))",
    "CREATE INDEX IF NOT EXISTS serial_ledger_run ON serial_ledger (run_id)",
    valueIndex,
    chipIndex,
    jobIndex,
    openIndex,
};

const char *const postgresSchema[] = {
    "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS runs ("
    " id BIGSERIAL PRIMARY KEY,"
    " started_utc TEXT NOT NULL, ended_utc TEXT, duration_ms BIGINT,"
    " host TEXT NOT NULL, pid BIGINT NOT NULL, process_start BIGINT NOT NULL,"
    " tool_version TEXT, probe_serial TEXT, probe_firmware TEXT,"
    " chip_model INTEGER, device_id BIGINT, job_file TEXT, job_digest TEXT,"
    " files TEXT, options TEXT, serial BIGINT,"
    " status TEXT NOT NULL, result INTEGER, message TEXT,"
    " via TEXT NOT NULL DEFAULT 'vendor', target TEXT,"
    " sectors_erased INTEGER, sectors_programmed INTEGER, sectors_skipped INTEGER,"
    " chip_uid TEXT, functional TEXT, functional_text TEXT)",
    "CREATE INDEX IF NOT EXISTS runs_started ON runs (started_utc)",
    "CREATE TABLE IF NOT EXISTS serial_ledger ("
    " series_address BIGINT NOT NULL, series_first BIGINT NOT NULL,"
    " series_step BIGINT NOT NULL, seq BIGINT NOT NULL, value BIGINT NOT NULL,"
    " run_id BIGINT, state TEXT NOT NULL,"
    " PRIMARY KEY (series_address, series_first, series_step, seq))",
    "CREATE INDEX IF NOT EXISTS serial_ledger_run ON serial_ledger (run_id)",
    valueIndex,
    chipIndex,
    jobIndex,
    openIndex,
};

// What version 2 added to a version 1 record; old runs went through the dedicated probe.
const char *const upgradeFrom1[] = {
    "ALTER TABLE runs ADD COLUMN via TEXT NOT NULL DEFAULT 'vendor'",
    "ALTER TABLE runs ADD COLUMN target TEXT",
    "ALTER TABLE runs ADD COLUMN sectors_erased INTEGER",
    "ALTER TABLE runs ADD COLUMN sectors_programmed INTEGER",
    "ALTER TABLE runs ADD COLUMN sectors_skipped INTEGER",
    "UPDATE schema_version SET version = 2",
};

// What version 3 added: the chip's identity and its self-test.
const char *const upgradeFrom2[] = {
    "ALTER TABLE runs ADD COLUMN chip_uid TEXT",
    "ALTER TABLE runs ADD COLUMN functional TEXT",
    "ALTER TABLE runs ADD COLUMN functional_text TEXT",
    chipIndex,
    jobIndex,
    openIndex,
    "UPDATE schema_version SET version = 3",
};

} // namespace

RecordDb::RecordDb()
    : connection(QStringLiteral("quorvel-record-%1").arg(++connectionCounter))
{ }

RecordDb::~RecordDb()
{
    close();
}

QString RecordDb::defaultLocation()
{
    const QString forced = qEnvironmentVariable("QUORVEL_RECORD");
    if (!forced.isEmpty())
        return forced;
    // Not the per-application folder: the window and the CLI share one record.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/quorvel/record.sqlite");
}

bool RecordDb::isPostgres(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"))
        || location.startsWith(QLatin1String("postgres://"));
}

QString RecordDb::displayLocation(const QString &location)
{
    if (!isPostgres(location))
        return location;
    // Only the user-info part: the rest stays byte for byte as typed, even when not a valid URL.
    const int authority = location.indexOf(QLatin1String("://")) + 3;
    const int slash = location.indexOf(QLatin1Char('/'), authority);
    // The last '@' of the authority: an unescaped '@' may sit in the password itself.
    const int at = location.lastIndexOf(QLatin1Char('@'), slash < 0 ? -1 : slash - 1);
    if (at < authority)
        return location;
    const int colon = location.indexOf(QLatin1Char(':'), authority);
    if (colon < 0 || colon > at)
        return location;
    return location.left(colon + 1) + QStringLiteral("****") + location.mid(at);
}

bool RecordDb::fail(const QString &what, const QString &detail)
{
    error = detail.isEmpty() ? what : what + QStringLiteral(": ") + detail;
    return false;
}

bool RecordDb::open(const QString &location)
{
    close();
    where = location;
    postgres = isPostgres(location);
    bool ok;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(postgres ? "QPSQL" : "QSQLITE", connection);
        ok = postgres ? openPostgres(db, location) : openSqlite(db, location);
    }
    if (ok)
        ok = ensureSchema() && markInterrupted() >= 0;
    if (!ok) {
        const QString keep = error;
        close();
        error = keep;
    }
    return ok;
}

bool RecordDb::openSqlite(QSqlDatabase &db, const QString &path)
{
    if (!db.isValid())
        return fail(QStringLiteral("SQLite driver missing"), QString());
    if (path.isEmpty())
        return fail(QStringLiteral("no record location"), QString());
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    if (!db.open())
        return fail(QStringLiteral("cannot open %1").arg(path), db.lastError().text());
    QSqlQuery q(db);
    // WAL lets several processes record at once; FULL keeps a committed row across a power cut.
    if (!q.exec("PRAGMA journal_mode=WAL") || !q.next())
        return fail(QStringLiteral("cannot read %1").arg(path), q.lastError().text());
    if (q.value(0).toString().compare("wal", Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("cannot use %1").arg(path),
                    QStringLiteral("journal mode %1").arg(q.value(0).toString()));
    return exec("PRAGMA synchronous=FULL");
}

bool RecordDb::openPostgres(QSqlDatabase &db, const QString &location)
{
    if (!db.isValid())
        return fail(QStringLiteral("PostgreSQL driver missing"), QString());
    const QUrl url(location, QUrl::StrictMode);
    const QString name = url.path().mid(1);
    if (!url.isValid() || url.host().isEmpty() || name.isEmpty())
        return fail(QStringLiteral("bad PostgreSQL location %1")
                        .arg(url.toDisplayString(QUrl::RemovePassword)),
                    QStringLiteral("expected postgresql://user@host:port/dbname"));
    db.setHostName(url.host());
    db.setPort(url.port(5432));
    db.setUserName(url.userName());
    db.setPassword(url.password());
    db.setDatabaseName(name);
    db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    if (!db.open())
        return fail(QStringLiteral("cannot open %1").arg(url.toDisplayString(QUrl::RemovePassword)),
                    db.lastError().text());
    return true;
}

void RecordDb::close()
{
    if (QSqlDatabase::contains(connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }
}

bool RecordDb::isOpen() const
{
    return QSqlDatabase::contains(connection) && QSqlDatabase::database(connection, false).isOpen();
}

bool RecordDb::exec(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(connection, false));
    if (!q.exec(sql))
        return fail(QStringLiteral("record write failed"), q.lastError().text());
    return true;
}

bool RecordDb::begin()
{
    return exec(postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
}

bool RecordDb::commit()
{
    if (exec(QStringLiteral("COMMIT")))
        return true;
    const QString keep = error;
    rollback();
    error = keep;
    return false;
}

void RecordDb::rollback()
{
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.exec(QStringLiteral("ROLLBACK"));
}

bool RecordDb::ensureSchema()
{
    // Taking the write lock here also tells at once whether the database can be written at all.
    if (!begin())
        return false;
    if (postgres && !exec(QStringLiteral("SELECT pg_advisory_xact_lock(7351402)"))) {
        rollback();
        return false;
    }
    QSqlQuery q(QSqlDatabase::database(connection, false));
    // The tables are made in one transaction, so one of them present means all are. DDL on a
    // present schema is skipped: on PostgreSQL it would lock tables that other stations write.
    if (!q.exec(postgres ? "SELECT to_regclass('schema_version') IS NOT NULL"
                         : "SELECT COUNT(*) FROM sqlite_master WHERE name = 'schema_version'")
        || !q.next()) {
        fail(QStringLiteral("cannot read %1").arg(where), q.lastError().text());
        rollback();
        return false;
    }
    const bool present = q.value(0).toBool();
    q.finish();
    for (const char *sql : postgres ? postgresSchema : sqliteSchema) {
        if (!present && !exec(QString::fromLatin1(sql))) {
            rollback();
            return false;
        }
    }
    if (!q.exec("SELECT MAX(version) FROM schema_version") || !q.next()) {
        fail(QStringLiteral("cannot read the schema version"), q.lastError().text());
        rollback();
        return false;
    }
    const QVariant version = q.value(0);
    q.finish();
    if (version.isNull()) {
        if (!exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)")
                      .arg(schemaVersion))) {
            rollback();
            return false;
        }
    } else if (version.toInt() == 1 || version.toInt() == 2) {
        std::vector<const char *> steps;
        if (version.toInt() == 1)
            steps.insert(steps.end(), std::begin(upgradeFrom1), std::end(upgradeFrom1));
        steps.insert(steps.end(), std::begin(upgradeFrom2), std::end(upgradeFrom2));
        for (const char *sql : steps) {
            if (!exec(QString::fromLatin1(sql))) {
                rollback();
                return false;
            }
        }
    } else if (version.toInt() != schemaVersion) {
        fail(QStringLiteral("record schema version %1, this program writes version %2")
                 .arg(version.toInt())
                 .arg(schemaVersion),
             QString());
        rollback();
        return false;
    }
    if (present && !ensureValueIndex()) {
        rollback();
        return false;
    }
    return commit();
}

// Records of version 2 made before the ledger looked values up across series lack the index.
bool RecordDb::ensureValueIndex()
{
    QSqlQuery q(QSqlDatabase::database(connection, false));
    if (!q.exec(postgres ? "SELECT to_regclass('serial_ledger_value') IS NOT NULL"
                         : "SELECT COUNT(*) FROM sqlite_master WHERE name = 'serial_ledger_value'")
        || !q.next())
        return fail(QStringLiteral("cannot read %1").arg(where), q.lastError().text());
    return q.value(0).toBool() || exec(QString::fromLatin1(valueIndex));
}
