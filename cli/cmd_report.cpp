// `report`: totals of the production record, pass/fail/yield per job and per probe, failures by
// result code; or the rows as CSV for a spreadsheet or a factory system.
#include "command.h"
#include "exitcodes.h"

#include "record/recorddb.h"
#include "record/recordreport.h"

#include <QCoreApplication>
#include <QDateTime>

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
         QCoreApplication::translate("QuorvelCli", "只统计此时间以后的烧录（ISO日期，UTC）。"),
         "DATE"},
        {"csv", QCoreApplication::translate("QuorvelCli", "输出每次烧录的记录（CSV）。")},
    });
    const int parsed = c.parse(arguments, false);
    if (parsed >= 0)
        return parsed;
    QDateTime since;
    if (c.parser.isSet("since")) {
        since = QDateTime::fromString(c.parser.value("since"), Qt::ISODate);
        since.setTimeSpec(Qt::UTC);
        if (!since.isValid())
            return c.fail(ExitUsage,
                          QCoreApplication::translate("QuorvelCli", "日期格式错误：%1")
                              .arg(c.parser.value("since")));
    }
    if (c.parser.isSet("csv") && c.json())
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "--csv和--json不能同时使用"));

    RecordDb db;
    const QString location =
        c.parser.isSet("record") ? c.parser.value("record") : RecordDb::defaultLocation();
    if (!db.open(location))
        return c.fail(
            ExitRecord,
            QCoreApplication::translate("QuorvelCli", "生产记录无法打开：%1").arg(db.lastError()));
    const QVector<RecordedRun> runs = db.runs(since);
    if (c.parser.isSet("csv")) {
        c.data(RecordReport::csv(runs).toUtf8());
        return ExitOk;
    }
    const RecordReport report(runs);
    const QJsonObject totals = report.json();
    for (auto it = totals.begin(); it != totals.end(); ++it)
        c.report().insert(it.key(), it.value());
    c.report().insert("record", location);
    return c.finish(ExitOk, report.text().trimmed());
}

} // namespace cli
