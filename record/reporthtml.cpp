// The production report as one self-contained page: inline CSS and hand-drawn SVG, no script and
// nothing fetched, so it opens anywhere and prints as it shows. Every figure sits in an element
// whose data-k names its key in the JSON, so page and JSON can be compared value by value.
#include "productionreport.h"
#include "reportmarkup.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

using namespace reportmarkup;

QString groupTable(const QString &key, const QString &title, const QString &nameHeader,
                   const QVector<ReportGroup> &groups)
{
    QString s = QStringLiteral("<h3>%1</h3><table><thead><tr><th>%2</th><th>%3</th><th>%4</th>"
                               "<th>%5</th><th>%6</th><th>%7</th></tr></thead><tbody>")
                    .arg(esc(title), esc(nameHeader), esc(ReportText::tr("烧录次数")),
                         esc(ReportText::tr("通过")), esc(ReportText::tr("失败")),
                         esc(ReportText::tr("良率")), esc(ReportText::tr("中位时长")));
    for (int i = 0; i < groups.size(); ++i) {
        const ReportGroup &g = groups[i];
        const QString k = QStringLiteral("%1.%2.").arg(key).arg(i);
        s += QStringLiteral("<tr><td>%1</td><td class=\"n\">%2</td><td class=\"n\">%3</td>"
                            "<td class=\"n\">%4</td><td class=\"n\">%5</td><td class=\"n\">%6</td>"
                            "</tr>")
                 .arg(fig(k + "name", g.name), fig(k + "runs", QString::number(g.count.runs())),
                      fig(k + "passed", QString::number(g.count.passed)),
                      fig(k + "failed", QString::number(g.count.failed)),
                      yieldFig(k + "yield", g.count), msFig(k + "medianMs", g.medianMs));
    }
    return s + QStringLiteral("</tbody></table>");
}

QString tile(const QString &label, const QString &value)
{
    return QStringLiteral("<div class=\"tile\"><div class=\"v\">%1</div><div class=\"l\">%2</div>"
                          "</div>")
        .arg(value, esc(label));
}

QString filterText(const ReportFilter &f)
{
    QStringList parts;
    if (f.since.isValid())
        parts << ReportText::tr("从 %1").arg(localTime(f.since));
    if (f.until.isValid())
        parts << ReportText::tr("到 %1").arg(localTime(f.until));
    if (!f.job.isEmpty())
        parts << ReportText::tr("工程 %1").arg(f.job);
    if (!f.station.isEmpty())
        parts << ReportText::tr("工位 %1").arg(f.station);
    if (!f.probe.isEmpty())
        parts << ReportText::tr("烧录器 %1").arg(f.probe);
    return parts.isEmpty() ? ReportText::tr("全部记录") : parts.join(QStringLiteral("，"));
}

const char *const css = R"(
body{font-family:"Noto Sans CJK SC","WenQuanYi Micro Hei",sans-serif;margin:0;background:#f4f5f7;color:#1d232b}
main{max-width:960px;margin:0 auto;padding:20px}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:28px 0 8px}h3{font-size:15px;margin:18px 0 6px}
.filter{color:#5a6470;margin:0 0 16px}
section{background:#fff;border:1px solid #dde1e6;border-radius:6px;padding:12px 16px;margin:12px 0}
.tiles{display:flex;flex-wrap:wrap;gap:10px}
.tile{flex:1 1 120px;background:#fff;border:1px solid #dde1e6;border-radius:6px;padding:10px 12px}
.tile .v{font-size:24px;font-weight:600}.tile .l{color:#5a6470;font-size:13px}
table{border-collapse:collapse;width:100%;font-size:13px}
th,td{border-bottom:1px solid #e6e9ed;padding:4px 6px;text-align:left;vertical-align:top}
th{background:#f0f2f5}td.n{text-align:right;font-variant-numeric:tabular-nums}
td.msg{word-break:break-all}
svg{width:100%;height:auto;display:block}
svg text{font-size:11px;fill:#3b4450}svg .legend{fill:#5a6470}
.grid{stroke:#e3e6ea}.pass{fill:#3a9b5c}.fail{fill:#d0453b}.intr{fill:#e0a030}.run{fill:#9aa5b1}
.bin{fill:#4b78c8}.dot{fill:#1f4fa8}.yield{fill:none;stroke:#1f4fa8;stroke-width:2}
.mark{stroke:#1d232b;stroke-dasharray:4 3}.marklabel{font-weight:600}
.empty{color:#5a6470}
)";

} // namespace

QByteArray ProductionReport::html() const
{
    QString s = QStringLiteral("<!DOCTYPE html>\n<html lang=\"%1\"><head><meta charset=\"utf-8\">"
                               "<meta name=\"viewport\" content=\"width=device-width\">"
                               "<title>%2</title><style>%3</style></head><body><main>")
                    .arg(ReportText::tr("zh-CN"), esc(ReportText::tr("生产报告")),
                         QString::fromLatin1(css));
    s += QStringLiteral("<h1>%1</h1><p class=\"filter\">%2</p>")
             .arg(esc(ReportText::tr("生产报告")), esc(filterText(filter)));

    s += QStringLiteral("<div class=\"tiles\" id=\"headline\">");
    s += tile(ReportText::tr("烧录次数"), fig("headline.runs", QString::number(total.runs())));
    s += tile(ReportText::tr("通过"), fig("headline.passed", QString::number(total.passed)));
    s += tile(ReportText::tr("失败"), fig("headline.failed", QString::number(total.failed)));
    s += tile(ReportText::tr("中断"),
              fig("headline.interrupted", QString::number(total.interrupted)));
    s += tile(ReportText::tr("良率"), yieldFig("headline.yield", total));
    s += tile(ReportText::tr("每小时板数"), fig("headline.boardsPerHour", num(boardsPerHour)));
    s += QStringLiteral("</div>");

    s += QStringLiteral("<section id=\"series\"><h2>%1</h2>")
             .arg(esc(daily ? ReportText::tr("每日良率和产量")
                            : ReportText::tr("每小时良率和产量")));
    s += buckets.isEmpty()
        ? QStringLiteral("<p class=\"empty\">%1</p>").arg(esc(ReportText::tr("没有记录")))
        : seriesChart(*this);
    s += QStringLiteral("</section>");

    s += QStringLiteral("<section id=\"causes\"><h2>%1</h2>").arg(esc(ReportText::tr("失败原因")));
    if (causes.isEmpty()) {
        s += QStringLiteral("<p class=\"empty\">%1</p>").arg(esc(ReportText::tr("没有失败")));
    } else {
        s += paretoChart(*this);
        s += QStringLiteral("<table><thead><tr><th>%1</th><th>%2</th><th>%3</th><th>%4</th></tr>"
                            "</thead><tbody>")
                 .arg(esc(ReportText::tr("结果代码")), esc(ReportText::tr("消息")),
                      esc(ReportText::tr("次数")), esc(ReportText::tr("累计占比")));
        const qint64 failures = total.failed + total.interrupted;
        qint64 cumulative = 0;
        for (int i = 0; i < causes.size(); ++i) {
            const ReportCause &c = causes[i];
            cumulative += c.count;
            const QString k = QStringLiteral("causes.%1.").arg(i);
            s += QStringLiteral("<tr><td>%1</td><td class=\"msg\">%2</td><td class=\"n\">%3</td>"
                                "<td class=\"n\">%4%</td></tr>")
                     .arg(esc(causeLabel(c)), fig(k + "text", c.text),
                          fig(k + "count", QString::number(c.count)),
                          fig(k + "cumulative",
                              num(std::round(1000.0 * cumulative / failures) / 10.0)));
        }
        s += QStringLiteral("</tbody></table>");
    }
    s += QStringLiteral("</section>");

    s += QStringLiteral("<section id=\"groups\"><h2>%1</h2>")
             .arg(esc(ReportText::tr("各工位和各烧录器")));
    s += groupTable("stations", ReportText::tr("各工位"), ReportText::tr("工位"), stations);
    s += groupTable("probes", ReportText::tr("各烧录器"), ReportText::tr("烧录器"), probes);
    s += QStringLiteral("</section>");

    s += QStringLiteral("<section id=\"durations\"><h2>%1</h2><p>%2 %3 · %4 %5 · %6 %7</p>")
             .arg(esc(ReportText::tr("烧录时长分布")), esc(ReportText::tr("烧录次数")),
                  fig("durations.count", QString::number(durations.count)),
                  esc(ReportText::tr("中位数")), msFig("durations.medianMs", durations.medianMs),
                  esc(ReportText::tr("95百分位")), msFig("durations.p95Ms", durations.p95Ms));
    if (durations.count)
        s += histogram(durations);
    s += QStringLiteral("</section>");

    s += QStringLiteral("<section id=\"ledger\"><h2>%1</h2>").arg(esc(ReportText::tr("滚码记录")));
    if (ledger.isEmpty())
        s += QStringLiteral("<p class=\"empty\">%1</p>")
                 .arg(esc(ReportText::tr("没有由生产记录分配的滚码")));
    for (int i = 0; i < ledger.size(); ++i) {
        const ReportSeries &l = ledger[i];
        const QString k = QStringLiteral("ledger.%1.").arg(i);
        s += QStringLiteral("<h3>%1 %2 · %3 %4 · %5 %6</h3><p>%7 %8 · %9 %10 · %11 %12</p>")
                 .arg(esc(ReportText::tr("地址")), fig(k + "address", hex8(l.address)),
                      esc(ReportText::tr("首值")), fig(k + "first", hex8(l.first)),
                      esc(ReportText::tr("步长")), fig(k + "step", QString::number(l.step)),
                      esc(ReportText::tr("已发")), fig(k + "issued", QString::number(l.issued)),
                      esc(ReportText::tr("已用")), fig(k + "used", QString::number(l.used)))
                 .arg(esc(ReportText::tr("作废")), fig(k + "void", QString::number(l.voided)));
        QStringList ranges;
        for (const ReportSerialRange &r : l.ranges)
            ranges
                << (r.from == r.to
                        ? hex8(r.from)
                        : QStringLiteral("%1–%2 (%3)").arg(hex8(r.from), hex8(r.to)).arg(r.count));
        QStringList voids;
        for (quint32 v : l.voidValues)
            voids << hex8(v);
        if (l.voided > l.voidValues.size())
            voids << QStringLiteral("…");
        const QString labelled = ReportText::tr("%1：%2");
        s += QStringLiteral("<p>%1</p><p>%2</p>")
                 .arg(esc(labelled.arg(ReportText::tr("发放范围"), ranges.join(", "))),
                      esc(labelled.arg(ReportText::tr("作废的值"),
                                       voids.isEmpty() ? ReportText::tr("无") : voids.join(", "))));
    }
    s += QStringLiteral("</section>");

    s += QStringLiteral("<section id=\"failed\"><h2>%1</h2>")
             .arg(esc(ReportText::tr("最近50次失败")));
    if (lastFailed.isEmpty()) {
        s += QStringLiteral("<p class=\"empty\">%1</p>").arg(esc(ReportText::tr("没有失败")));
    } else {
        s += QStringLiteral("<table><thead><tr><th>%1</th><th>%2</th><th>%3</th><th>%4</th>"
                            "<th>%5</th><th>%6</th><th>%7</th><th>%8</th></tr></thead><tbody>")
                 .arg(esc(ReportText::tr("时间")), esc(ReportText::tr("工位")),
                      esc(ReportText::tr("烧录器")), esc(ReportText::tr("设备ID")),
                      esc(ReportText::tr("芯片ID")), esc(ReportText::tr("滚码")),
                      esc(ReportText::tr("消息")), esc(ReportText::tr("记录的消息")));
        for (int i = 0; i < lastFailed.size(); ++i) {
            const ReportFailedRun &f = lastFailed[i];
            const QString k = QStringLiteral("lastFailed.%1.").arg(i);
            s += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                                "<td>%6</td><td class=\"msg\">%7</td><td class=\"msg\">%8</td>"
                                "</tr>")
                     .arg(esc(localTime(f.startedUtc)), fig(k + "station", f.station),
                          fig(k + "probe", f.probe), fig(k + "deviceId", hex8(f.deviceId)),
                          f.chipUid.isEmpty() ? QString() : fig(k + "chipUid", f.chipUid),
                          f.hasSerial ? fig(k + "serial", hex8(f.serial)) : QString(),
                          fig(k + "text", f.text), fig(k + "message", f.message));
        }
        s += QStringLiteral("</tbody></table>");
    }
    s += QStringLiteral("</section></main></body></html>\n");
    return s.toUtf8();
}
