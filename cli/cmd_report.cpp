// `report`: the production record's figures for a stretch of time, a job, a station or a probe:
// totals as text, every figure as JSON, a self-contained HTML page, or the rows as CSV.
#include "command.h"
#include "exitcodes.h"

#include "record/productionreport.h"
#include "record/recorddb.h"
#include "record/recordreport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSaveFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cli {

int runReport(const QStringList &arguments)
{
    Command c("report",
              QCoreApplication::translate("QuorvelCli", "生产记录的统计：通过、失败、良率。"));
    c.parser.addOptions({
        {"record",
         QCoreApplication::translate("QuorvelCli",
                                     "生产记录：SQLite文件或postgresql://用户@主机:端口/数据库。"),
         "FILE|URL"},
        {"since",
         QCoreApplication::translate(
             "QuorvelCli", "只统计此时间以后的烧录（ISO日期或时间，UTC；或today、yesterday）。"),
         "DATE"},
        {"until",
         QCoreApplication::translate(
             "QuorvelCli", "只统计此时间以前的烧录（日期含当天；ISO，UTC；或today、yesterday）。"),
         "DATE"},
        {"job", QCoreApplication::translate("QuorvelCli", "只统计此工程（文件名或摘要开头）。"),
         "JOB"},
        {"station", QCoreApplication::translate("QuorvelCli", "只统计此工位（主机名）。"), "HOST"},
        {"probe", QCoreApplication::translate("QuorvelCli", "只统计此烧录器（序列号）。"),
         "SERIAL"},
        {"html", QCoreApplication::translate("QuorvelCli", "把报告写成一个网页文件。"), "FILE"},
        {"csv", QCoreApplication::translate("QuorvelCli", "输出每次烧录的记录（CSV）。")},
    });
    const int parsed = c.parse(arguments, false);
    if (parsed >= 0)
        return parsed;
    ReportFilter filter;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const char *name : {"since", "until"}) {
        if (!c.parser.isSet(name))
            continue;
        const bool until = qstrcmp(name, "until") == 0;
        const QDateTime bound = reportBound(c.parser.value(name), until, now);
        if (!bound.isValid())
            return c.fail(ExitUsage,
                          QCoreApplication::translate("QuorvelCli", "日期格式错误：%1")
                              .arg(c.parser.value(name)));
        (until ? filter.until : filter.since) = bound;
    }
    filter.job = c.parser.value("job");
    filter.station = c.parser.value("station");
    filter.probe = c.parser.value("probe");
    if (c.parser.isSet("csv") && (c.json() || c.parser.isSet("html")))
        return c.fail(
            ExitUsage,
            QCoreApplication::translate("QuorvelCli", "--csv不能与--json或--html同时使用"));

    RecordDb db;
    const QString location =
        c.parser.isSet("record") ? c.parser.value("record") : RecordDb::defaultLocation();
    if (!db.open(location))
        return c.fail(
            ExitRecord,
            QCoreApplication::translate("QuorvelCli", "生产记录无法打开：%1").arg(db.lastError()));
    if (c.parser.isSet("csv")) {
        // Written as read: a million runs never sit in memory at once.
        auto putBytes = [](const QByteArray &bytes) {
            return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout)
                == size_t(bytes.size());
        };
        bool written = putBytes(RecordReport::csvHeader().toUtf8());
        CsvRowWriter rows;
        // Unfiltered, every row read is written: no per-row check.
        const bool narrowed = filter.since.isValid() || filter.until.isValid()
            || !filter.job.isEmpty() || !filter.station.isEmpty() || !filter.probe.isEmpty();
        // Written in blocks of some rows: a write per row would cost more than its formatting.
        const int blockBytes = 1 << 16;
        QByteArray lines;
        lines.reserve(blockBytes + 4096); // kept across blocks: resize(0) frees no reserved buffer
        const bool read = written && db.forEachRun(filter.since, [&](const RecordedRun &r) {
            if (!narrowed || reportIncludes(filter, r))
                rows.append(lines, r);
            if (lines.size() >= blockBytes) {
                written = putBytes(lines);
                lines.resize(0);
            }
            return written;
        });
        written = written && putBytes(lines);
        written = std::fflush(stdout) == 0 && written;
        if (!written)
            return c.fail(
                ExitCannotCreate,
                QCoreApplication::translate("QuorvelCli", "无法写入%1：%2")
                    .arg(QStringLiteral("stdout"), QString::fromLocal8Bit(strerror(errno))));
        if (!read)
            return c.fail(ExitRecord,
                          QCoreApplication::translate("QuorvelCli", "生产记录无法打开：%1")
                              .arg(db.lastError()));
        return ExitOk;
    }
    ProductionReport report;
    QString error;
    if (!computeReport(db, filter, &report, &error))
        return c.fail(ExitRecord,
                      QCoreApplication::translate("QuorvelCli", "生产记录无法打开：%1").arg(error));
    if (c.parser.isSet("html")) {
        QSaveFile page(c.parser.value("html"));
        const QByteArray bytes = report.html();
        if (!page.open(QIODevice::WriteOnly) || page.write(bytes) != bytes.size() || !page.commit())
            return c.fail(ExitCannotCreate,
                          QCoreApplication::translate("QuorvelCli", "无法写入%1：%2")
                              .arg(c.parser.value("html"), page.errorString()));
    }
    const QJsonObject figures = report.json();
    for (auto it = figures.begin(); it != figures.end(); ++it)
        c.report().insert(it.key(), it.value());
    c.report().insert("record", RecordDb::displayLocation(location));
    return c.finish(ExitOk, report.totals.text().trimmed());
}

} // namespace cli
