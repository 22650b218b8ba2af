// The production report on SQLite and PostgreSQL: two stations' runs give exact figures through
// every filter; record text is escaped on the page; dates and recorded results read as meant.
#include "productionreport.h"
#include "recorddb.h"
#include "resulttext.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>
#include <gtest/gtest.h>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << s.toStdString();
}

namespace {

QDateTime at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute), Qt::UTC);
}

class ReportBackend : public ::testing::TestWithParam<const char *>
{
protected:
    void SetUp() override
    {
        if (QString(GetParam()) == "sqlite") {
            location = dir.filePath("record.sqlite");
        } else {
            location = qEnvironmentVariable("QUORVEL_TEST_PG");
            ASSERT_FALSE(location.isEmpty()) << "QUORVEL_TEST_PG not set";
            const QUrl url(location);
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "reset");
                db.setHostName(url.host());
                db.setPort(url.port());
                db.setUserName(url.userName());
                db.setDatabaseName(url.path().mid(1));
                ASSERT_TRUE(db.open());
                QSqlQuery(db).exec("DROP TABLE IF EXISTS runs, serial_ledger, schema_version");
            }
            QSqlDatabase::removeDatabase("reset");
        }
        ASSERT_TRUE(db.open(location)) << qPrintable(db.lastError());
    }

    // status "passed", "failed", "interrupted" or "started" (left running).
    void add(const QDateTime &start, const char *host, const char *probe, const char *status,
             int result, qint64 ms, const char *via = "vendor", bool serial = true)
    {
        RunRecord r;
        r.startedUtc = start;
        r.host = host;
        r.probeSerial = probe;
        r.jobFile = "line.qjob";
        r.jobDigest = "ab12";
        r.via = via;
        const qint64 id = db.beginRun(r);
        ASSERT_GE(id, 0) << qPrintable(db.lastError());
        quint32 value = 0;
        if (serial) {
            ASSERT_TRUE(db.allocateSerial({0x1000, 100, 2}, id, &value));
        }
        const QString s = status;
        if (s == "started")
            return;
        ASSERT_TRUE(s == "interrupted" ? db.interruptRun(id, result, "stopped")
                                       : db.finishRun(id, s == "passed", result, "as written"));
        QSqlQuery q(QSqlDatabase::database(db.connectionName()));
        q.prepare("UPDATE runs SET duration_ms = ? WHERE id = ?");
        q.addBindValue(ms);
        q.addBindValue(id);
        ASSERT_TRUE(q.exec());
    }

    QJsonObject report(const ReportFilter &f)
    {
        ProductionReport r;
        QString error;
        EXPECT_TRUE(computeReport(db, f, &r, &error)) << qPrintable(error);
        return r.json();
    }

    QTemporaryDir dir;
    QString location;
    RecordDb db;
};

QJsonValue parse(const char *json)
{
    return QJsonDocument::fromJson(QByteArray("[") + json + "]").array().at(0);
}

TEST_P(ReportBackend, TwoStationsThroughEveryFilter)
{
    add(at(1, 7, 0).addDays(-5), "st-a", "P1", "passed", 0, 900); // outside the day
    add(at(1, 8, 5), "st-a", "P1", "passed", 0, 1000);
    add(at(1, 8, 10), "st-a", "P1", "passed", 0, 1200, "vendor", false);
    add(at(1, 8, 20), "st-a", "P1", "failed", 8, 3000);
    add(at(1, 9, 5), "st-a", "P1", "passed", 0, 1100, "vendor", false);
    add(at(1, 9, 10), "st-b", "P2", "passed", 0, 2000);
    add(at(1, 9, 20), "st-b", "P2", "failed", 47, 500, "swd");
    add(at(1, 10, 0), "st-b", "P2", "interrupted", -1, 700, "vendor", false);
    add(at(1, 10, 30), "st-b", "P2", "started", -1, 0, "vendor", false);

    ReportFilter day;
    day.since = at(1, 0, 0);
    day.until = at(2, 0, 0);
    const QJsonObject r = report(day);
    EXPECT_EQ(r["headline"], parse(R"({"runs":8,"passed":4,"failed":2,"interrupted":1,"running":1,
        "yield":57.1,"boardsPerHour":1.3,"activeHours":3})"));
    EXPECT_EQ(r["stations"], parse(R"([
        {"name":"st-a","runs":4,"passed":3,"failed":1,"interrupted":0,"running":0,"yield":75,
         "medianMs":1100},
        {"name":"st-b","runs":4,"passed":1,"failed":1,"interrupted":1,"running":1,"yield":33.3,
         "medianMs":700}])"));
    EXPECT_EQ(r["probes"].toArray().at(1)["name"], "P2");
    EXPECT_EQ(r["causes"], parse(R"([
        {"via":"swd","result":47,"interrupted":false,"count":1,"cumulative":33.3,
         "text":"SWD错误7：目标应答FAULT"},
        {"via":"vendor","result":8,"interrupted":false,"count":1,"cumulative":66.7,
         "text":"烧写错误！"},
        {"via":null,"result":null,"interrupted":true,"count":1,"cumulative":100,"text":"中断"}])"));
    const QJsonObject d = r["durations"].toObject();
    EXPECT_EQ(d["count"], 7);
    EXPECT_EQ(d["medianMs"], 1100);
    EXPECT_EQ(d["p95Ms"], 3000);
    EXPECT_EQ(d["binMs"], 200);
    QVector<int> bins;
    for (const QJsonValue &b : d["bins"].toArray())
        bins << b["count"].toInt();
    EXPECT_EQ(bins, (QVector<int>{1, 1, 0, 2, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(d["bins"].toArray().at(0)["fromMs"], 400);

    const QJsonArray series = r["series"].toArray();
    EXPECT_EQ(r["period"], "hour");
    ASSERT_EQ(series.size(), 24);
    EXPECT_EQ(series.at(8)["start"], "2026-12-01T08:00");
    EXPECT_EQ(series.at(8)["passed"], 2);
    EXPECT_EQ(series.at(9)["failed"], 1);
    EXPECT_EQ(series.at(10)["running"], 1);
    EXPECT_EQ(series.at(10)["yield"], 0);
    EXPECT_EQ(series.at(11)["yield"], QJsonValue());

    // The value outside the day went first: the day's four values are one range after it.
    EXPECT_EQ(r["ledger"], parse(R"([{"address":"0x00001000","first":"0x00000064","step":2,
        "issued":4,"used":2,"void":2,"ranges":[{"from":"0x00000066","to":"0x0000006C","count":4}],
        "voidValues":["0x00000068","0x0000006C"]}])"));
    QStringList failed;
    for (const QJsonValue &f : r["lastFailed"].toArray())
        failed << f["started"].toString() + ' ' + f["text"].toString() + '/'
                + f["message"].toString();
    EXPECT_EQ(failed,
              (QStringList{"2026-12-01T10:00:00.000Z 中断/stopped",
                           "2026-12-01T09:20:00.000Z SWD错误7：目标应答FAULT/as written",
                           "2026-12-01T08:20:00.000Z 烧写错误！/as written"}));

    const struct
    {
        const char *station;
        const char *probe;
        const char *job;
        bool wholeRecord;
        int runs;
        const char *period;
    } filters[] = {
        {"st-a", "", "", false, 4, "hour"},   {"", "P2", "", false, 4, "hour"},
        {"st-b", "P1", "", false, 0, "hour"}, {"", "", "line.qjob", false, 8, "hour"},
        {"", "", "AB1", true, 9, "day"},      {"", "", "ab13", true, 0, "hour"},
    };
    for (const auto &f : filters) {
        ReportFilter filter = f.wholeRecord ? ReportFilter() : day;
        filter.station = f.station;
        filter.probe = f.probe;
        filter.job = f.job;
        const QJsonObject o = report(filter);
        EXPECT_EQ(o["headline"]["runs"], f.runs) << f.station << f.probe << f.job;
        EXPECT_EQ(o["period"], f.period) << f.station << f.probe << f.job;
    }
    // Without bounds the chart spans the record, five days before included, per day.
    const QJsonObject all = report(ReportFilter());
    EXPECT_EQ(all["series"].toArray().size(), 6);
    EXPECT_EQ(all["series"].toArray().at(5)["runs"], 8);
    EXPECT_EQ(all["ledger"].toArray().at(0)["ranges"],
              parse(R"([{"from":"0x00000064","to":"0x0000006C","count":5}])"));
}

// A series with many voided values must leave the others' their own share of the list.
TEST_P(ReportBackend, VoidedValuesAreCappedPerSeries)
{
    QSqlQuery q(QSqlDatabase::database(db.connectionName()));
    ASSERT_TRUE(q.exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n"
                       " WHERE i < 1199) INSERT INTO serial_ledger (series_address, series_first,"
                       " series_step, seq, value, run_id, state)"
                       " SELECT 4096, 1, 1, i, i + 1, NULL, 'void' FROM n"))
        << qPrintable(q.lastError().text());
    ASSERT_TRUE(q.exec("INSERT INTO serial_ledger VALUES (8192, 5, 1, 0, 5, NULL, 'void')"));
    const QJsonArray ledger = report(ReportFilter())["ledger"].toArray();
    ASSERT_EQ(ledger.size(), 2);
    const QJsonArray first = ledger.at(0)["voidValues"].toArray();
    EXPECT_EQ(first.size(), ProductionReport::maxVoidValues);
    EXPECT_EQ(first.at(0), "0x00000001");
    EXPECT_EQ(first.last(), "0x000000C8");
    EXPECT_EQ(ledger.at(0)["void"], 1200);
    EXPECT_EQ(ledger.at(1)["voidValues"], parse(R"(["0x00000005"])"));
}

INSTANTIATE_TEST_SUITE_P(Record, ReportBackend, ::testing::Values("sqlite", "postgres"));

TEST(ReportPage, RecordTextIsEscaped)
{
    const QString hostile = QStringLiteral("<script>alert('x')</script> & \"q\" %1");
    ProductionReport r;
    r.filter.job = hostile;
    r.total.failed = 1;
    r.stations = {{hostile, r.total, 10}};
    r.probes = r.stations;
    r.causes = {{"vendor", -1, false, 1, hostile}};
    ReportFailedRun f;
    f.station = f.probe = f.message = f.text = hostile;
    f.startedUtc = at(1, 8, 0);
    r.lastFailed = {f};
    const QString page = QString::fromUtf8(r.html());
    EXPECT_FALSE(page.contains("<script")) << qPrintable(page);
    EXPECT_FALSE(page.contains("alert('x')"));
    const QString escaped =
        "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot; %1";
    // Filter line, two tables, the Pareto table and tooltip, and four cells of the failed run;
    // "%1" stays as written.
    EXPECT_EQ(page.count(escaped), 9);
}

TEST(ReportBound, WordsDatesAndTimes)
{
    qputenv("TZ", "Asia/Shanghai");
    tzset();
    const QDateTime now(QDate(2026, 12, 8), QTime(17, 0), Qt::UTC); // 01:00 on the 9th there
    const struct
    {
        const char *text;
        bool end;
        const char *utc; // empty: refused
    } cases[] = {
        {"today", false, "2026-12-08T16:00:00.000Z"},
        {"today", true, "2026-12-09T16:00:00.000Z"},
        {"yesterday", false, "2026-12-07T16:00:00.000Z"},
        {"2026-12-01", false, "2026-12-01T00:00:00.000Z"},
        {"2026-12-01", true, "2026-12-02T00:00:00.000Z"},
        {"2026-12-01T08:30", true, "2026-12-01T08:30:00.000Z"},
        {"2026-12-01T08:30+08:00", false, "2026-12-01T00:30:00.000Z"},
        {"tomorrow", false, ""},
        {"2026-13-01", false, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(reportBound(c.text, c.end, now).toString(Qt::ISODateWithMs), QString(c.utc))
            << c.text;
    qunsetenv("TZ");
    tzset();
}

TEST(RecordedResult, TextFromCodeAndPath)
{
    const struct
    {
        const char *status;
        int result;
        const char *via;
        const char *text;
    } cases[] = {
        {"passed", 0, "vendor", "烧写成功！"},
        {"failed", 8, "vendor", "烧写错误！"},
        {"failed", 99, "vendor", "其他错误！"},
        {"passed", 0, "swd", "成功"},
        {"failed", 54, "swd", "SWD错误14：校验不一致"},
        {"failed", 55, "swd", "烧录成功，自检失败"}, // programmed; the board's self-test failed
        {"failed", 56, "swd", "SWD错误56"},
        {"failed", -1, "vendor", "stored"},
        {"interrupted", 0, "vendor", "中断"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(recordedResultText(c.status, c.result, c.via, "stored"), QString(c.text))
            << c.status << c.result << c.via;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("TZ", "UTC");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
