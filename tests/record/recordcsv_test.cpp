// Runs as CSV lines written one after another, and stored times and file lists read back: the
// cells kept from the row before must never leak into the next.
#include "recorddb.h"
#include "recordreport.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << s.toStdString();
}

namespace {

RecordedRun run(qint64 id, const QString &status, int result, const QString &via,
                const QVector<RecordedFile> &files, const QString &message = QString())
{
    RecordedRun r;
    r.id = id;
    r.record.startedUtc = QDateTime(QDate(2026, 12, 8), QTime(9, 0, 1, 5), Qt::UTC);
    r.record.via = via;
    r.record.files = files;
    r.status = status;
    r.result = result;
    r.message = message;
    return r;
}

TEST(CsvRowWriter, RowsWrittenInTurnEachCarryTheirOwnFilesAndResult)
{
    const QVector<RecordedFile> one{{"a.bin", 0x08000000, 16, 0xDEADBEEF}};
    const QVector<RecordedFile> two{{"a.bin", 0x08000000, 16, 0xDEADBEEF}, {"b,c.hex", 0, 4, 1}};
    struct Row
    {
        RecordedRun run;
        const char *line;
    } rows[] = {
        {run(1, "passed", 0, "vendor", one),
         "1,2026-12-08T09:00:01.005Z,,,,,,,0,0x00000000,,,a.bin@0x08000000+16/0xDEADBEEF,,,"
         "passed,0,,vendor,烧写成功！,,,\r\n"},
        {run(2, "passed", 0, "vendor", two),
         "2,2026-12-08T09:00:01.005Z,,,,,,,0,0x00000000,,,"
         "\"a.bin@0x08000000+16/0xDEADBEEF;b,c.hex@0x00000000+4/0x00000001\",,,passed,0,,vendor,"
         "烧写成功！,,,\r\n"},
        {run(3, "passed", 0, "swd", two),
         "3,2026-12-08T09:00:01.005Z,,,,,,,0,0x00000000,,,"
         "\"a.bin@0x08000000+16/0xDEADBEEF;b,c.hex@0x00000000+4/0x00000001\",,,passed,0,,swd,"
         "成功,,,\r\n"},
        {run(4, "failed", 47, "swd", {}),
         "4,2026-12-08T09:00:01.005Z,,,,,,,0,0x00000000,,,,,,failed,47,,swd,"
         "SWD错误7：目标应答FAULT,,,\r\n"},
        {run(5, "interrupted", 47, "swd", {}),
         "5,2026-12-08T09:00:01.005Z,,,,,,,0,0x00000000,,,,,,interrupted,47,,swd,中断,,,\r\n"},
        {run(6, "failed", -1, "swd", {}, "=1+1"),
         "6,2026-12-08T09:00:01.005Z,,,,,,,0,0x00000000,,,,,,failed,,'=1+1,swd,'=1+1,,,\r\n"},
        {run(7, "failed", -1, "swd", {}, "lost, \"twice\""),
         "7,2026-12-08T09:00:01.005Z,,,,,,,0,0x00000000,,,,,,failed,,\"lost, \"\"twice\"\"\",swd,"
         "\"lost, \"\"twice\"\"\",,,\r\n"},
    };
    CsvRowWriter writer;
    for (const Row &row : rows) {
        QByteArray line;
        writer.append(line, row.run);
        EXPECT_EQ(QString::fromUtf8(line), QString::fromUtf8(row.line)) << row.run.id;
        EXPECT_EQ(RecordReport::csvRow(row.run), QString::fromUtf8(row.line)) << row.run.id;
    }
}

TEST(CsvRowWriter, TimesAreWrittenInUtcWithMilliseconds)
{
    const struct
    {
        QDateTime time;
        QString cell;
    } cases[] = {
        {QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 999), Qt::UTC),
         "1969-12-31T23:59:59.999Z"},
        {QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC), "0001-01-01T00:00:00.000Z"},
        {QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC),
         "9999-12-31T23:59:59.999Z"},
        {QDateTime(QDate(2026, 6, 1), QTime(8, 0), Qt::OffsetFromUTC, 8 * 3600),
         "2026-06-01T00:00:00.000Z"},
        {QDateTime(), ""},
    };
    for (const auto &c : cases) {
        RecordedRun r;
        r.record.startedUtc = c.time;
        EXPECT_EQ(RecordReport::csvRow(r).section(',', 1, 1), c.cell) << qPrintable(c.cell);
    }
    // Outside four-digit years the general form is kept; Qt writes none for them.
    RecordedRun far;
    far.record.startedUtc = QDateTime(QDate(-5, 3, 1), QTime(1, 2), Qt::UTC);
    EXPECT_EQ(RecordReport::csvRow(far).section(',', 1, 1), "");
}

TEST(CsvRowWriter, TextCellsAreQuotedAndGuardedAgainstFormulas)
{
    const struct
    {
        QString host;
        QByteArray cell;
    } cases[] = {
        {"station-1", "station-1"},
        {"-1", "'-1"},
        {"@home", "'@home"},
        {"+x", "'+x"},
        {"a\rb", "\"a\rb\""},
        {"工位,一", "\"工位,一\""},
        {"工位", "工位"},
        {QString(QChar(0)) + "x", QByteArray("\0x", 2)},
        {"", ""},
    };
    for (const auto &c : cases) {
        RecordedRun r;
        r.record.host = c.host;
        QByteArray line;
        CsvRowWriter().append(line, r);
        EXPECT_EQ(line.mid(5, c.cell.size() + 1), c.cell + ',') << qPrintable(c.host);
    }
}

// Times and file lists as other writers may have stored them read back as the general parser
// reads them, row by row.
TEST(RecordDb, StoredTimesAndFileListsReadBackPerRow)
{
    const struct
    {
        const char *started;
        const char *files;
        QVector<RecordedFile> expected;
    } rows[] = {
        {"2026-11-01T00:00:00.000Z",
         R"([{"name":"a.bin","address":16,"length":4,"crc32":7}])",
         {{"a.bin", 16, 4, 7}}},
        {"2026-11-01T00:00:02.592Z",
         R"([{"name":"a.bin","address":16,"length":4,"crc32":7}])",
         {{"a.bin", 16, 4, 7}}},
        {"2026-11-01T08:00:00.250+08:00", "[]", {}},
        {"2026-11-01T00:00:03Z",
         R"([{"name":"b.bin","address":0,"length":1,"crc32":2}])",
         {{"b.bin", 0, 1, 2}}},
        {"2026-13-01T00:00:00.000Z", "not json", {}},
        {"2026-11-01T24:00:00.000Z",
         R"([{"name":"b.bin","address":0,"length":1,"crc32":2}])",
         {{"b.bin", 0, 1, 2}}},
        {"2026-11-01 00:00:00.000Z", R"([{"name":"c.bin"}])", {{"c.bin", 0, 0, 0}}},
        {"２026-11-01T00:00:00.000Z", R"([{"name":"c.bin"}])", {{"c.bin", 0, 0, 0}}},
    };
    QTemporaryDir dir;
    const QString location = dir.filePath("record.sqlite");
    {
        RecordDb db;
        ASSERT_TRUE(db.open(location)) << qPrintable(db.lastError());
        for (std::size_t i = 0; i < sizeof rows / sizeof *rows; ++i)
            ASSERT_GE(db.beginRun(RunRecord()), 0);
    }
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "raw");
        raw.setDatabaseName(location);
        ASSERT_TRUE(raw.open());
        QSqlQuery q(raw);
        ASSERT_TRUE(q.prepare("UPDATE runs SET started_utc = ?, files = ? WHERE id = ?"));
        for (std::size_t i = 0; i < sizeof rows / sizeof *rows; ++i) {
            q.addBindValue(QString::fromUtf8(rows[i].started));
            q.addBindValue(QString::fromUtf8(rows[i].files));
            q.addBindValue(qint64(i + 1));
            ASSERT_TRUE(q.exec());
        }
        raw.close();
    }
    QSqlDatabase::removeDatabase("raw");
    RecordDb db;
    ASSERT_TRUE(db.open(location)) << qPrintable(db.lastError());
    std::size_t i = 0;
    ASSERT_TRUE(db.forEachRun(QDateTime(), [&](const RecordedRun &r) {
        const QDateTime expected =
            QDateTime::fromString(QString::fromUtf8(rows[i].started), Qt::ISODateWithMs);
        EXPECT_EQ(r.record.startedUtc, expected) << rows[i].started;
        EXPECT_EQ(r.record.startedUtc.timeSpec(), expected.timeSpec()) << rows[i].started;
        EXPECT_EQ(r.record.files.size(), rows[i].expected.size()) << rows[i].started;
        for (int f = 0; f < r.record.files.size() && f < rows[i].expected.size(); ++f) {
            EXPECT_EQ(r.record.files[f].name, rows[i].expected[f].name);
            EXPECT_EQ(r.record.files[f].address, rows[i].expected[f].address);
            EXPECT_EQ(r.record.files[f].length, rows[i].expected[f].length);
            EXPECT_EQ(r.record.files[f].crc32, rows[i].expected[f].crc32);
        }
        ++i;
        return true;
    }));
    EXPECT_EQ(i, sizeof rows / sizeof *rows);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
