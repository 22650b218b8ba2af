// The production report as one self-contained page: inline CSS and hand-drawn SVG, no script and
// nothing fetched, so it opens anywhere and prints as it shows. Every figure sits in an element
// whose data-k names its key in the JSON, so page and JSON can be compared value by value.
#include "productionreport.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

class ReportText
{
    Q_DECLARE_TR_FUNCTIONS(ProductionReport)
};

// Text from the record (serials, names, messages) is never trusted as markup.
QString esc(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString num(double v)
{
    return QString::number(v, 'g', 12);
}

QString hex8(quint32 v)
{
    return QString::asprintf("0x%08X", v);
}

// A figure tagged with its JSON key; `shown` is what the reader sees.
QString fig(const QString &key, const QString &shown)
{
    return QStringLiteral("<span data-k=\"%1\">%2</span>").arg(esc(key), esc(shown));
}

QString yieldFig(const QString &key, const ReportCount &c)
{
    return c.finished() ? fig(key, num(c.yield())) + QLatin1Char('%') : fig(key, "-");
}

QString msFig(const QString &key, qint64 ms)
{
    return ms >= 0 ? fig(key, QString::number(ms)) + QStringLiteral(" ms") : fig(key, "-");
}

QString localTime(const QDateTime &utc)
{
    return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Round axis maximum: 1, 2 or 5 times a power of ten.
double axisMax(double v)
{
    double p = 1;
    while (true) {
        for (double m : {1.0, 2.0, 5.0}) {
            if (m * p >= v)
                return m * p;
        }
        p *= 10;
    }
}

struct Plot
{
    double width = 880;
    double height = 240;
    double left = 52;
    double right = 52;
    double top = 14;
    double bottom = 44;
    double innerW() const { return width - left - right; }
    double innerH() const { return height - top - bottom; }
};

QString svgOpen(const Plot &p, const QString &label)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %2\" "
                          "role=\"img\" aria-label=\"%3\">")
        .arg(num(p.width), num(p.height), esc(label));
}

QString text(double x, double y, const QString &s, const QString &anchor = "middle",
             const QString &cls = QString())
{
    return QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\"%4>%5</text>")
        .arg(num(x), num(y), anchor,
             cls.isEmpty() ? QString() : QStringLiteral(" class=\"%1\"").arg(cls), esc(s));
}

QString rect(double x, double y, double w, double h, const QString &cls, const QString &title)
{
    return QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" class=\"%5\">"
                          "<title>%6</title></rect>")
        .arg(num(x), num(y), num(std::max(w, 0.0)), num(std::max(h, 0.0)), cls, esc(title));
}

// Left axis 0..max with grid lines; right axis 0..100 % when `percent`.
QString axes(const Plot &p, double max, bool percent)
{
    QString s;
    for (int i = 0; i <= 4; ++i) {
        const double y = p.top + p.innerH() * (1 - i / 4.0);
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" class=\"grid\"/>")
                 .arg(num(p.left), num(y), num(p.left + p.innerW()));
        s += text(p.left - 6, y + 4, num(max * i / 4), "end", "axis");
        if (percent)
            s += text(p.left + p.innerW() + 6, y + 4, QString::number(25 * i) + '%', "start",
                      "axis");
    }
    return s;
}

// Label every k-th of n slots so that about a dozen remain.
int labelStride(int n)
{
    return std::max(1, (n + 11) / 12);
}

QString seriesChart(const ProductionReport &r)
{
    Plot p;
    QString s =
        svgOpen(p, r.daily ? ReportText::tr("每日良率和产量") : ReportText::tr("每小时良率和产量"));
    qint64 most = 1;
    for (const ReportBucket &b : r.buckets)
        most = std::max(most, b.count.runs());
    const double max = axisMax(double(most));
    s += axes(p, max, true);
    const int n = r.buckets.size();
    const double slot = p.innerW() / std::max(1, n);
    const double barW = std::max(1.0, slot * 0.7);
    QString line;
    for (int i = 0; i < n; ++i) {
        const ReportBucket &b = r.buckets[i];
        const double x = p.left + slot * i + (slot - barW) / 2;
        double y = p.top + p.innerH();
        const QString label = b.start.toString(r.daily ? QStringLiteral("yyyy-MM-dd")
                                                       : QStringLiteral("MM-dd HH:mm"));
        const QString tip = ReportText::tr("%1：烧录%2次，通过%3，失败%4，中断%5，良率%6")
                                .arg(label)
                                .arg(b.count.runs())
                                .arg(b.count.passed)
                                .arg(b.count.failed)
                                .arg(b.count.interrupted)
                                .arg(b.count.finished() ? num(b.count.yield()) + '%' : "-");
        s += QStringLiteral("<g>");
        for (const auto &[value, cls] : {std::pair<qint64, const char *>{b.count.passed, "pass"},
                                         {b.count.failed, "fail"},
                                         {b.count.interrupted, "intr"},
                                         {b.count.running, "run"}}) {
            if (!value)
                continue;
            const double h = p.innerH() * double(value) / max;
            y -= h;
            s += rect(x, y, barW, h, cls, tip);
        }
        s += QStringLiteral("</g>");
        if (b.count.finished()) {
            const double ly = p.top + p.innerH() * (1 - b.count.yield() / 100);
            line += QStringLiteral("%1%2 %3 ")
                        .arg(line.isEmpty() ? "M" : "L", num(x + barW / 2), num(ly));
            s += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"2.5\" class=\"dot\"><title>%3"
                                "</title></circle>")
                     .arg(num(x + barW / 2), num(ly), esc(tip));
        }
        if (i % labelStride(n) == 0)
            s += text(x + barW / 2, p.height - p.bottom + 16,
                      b.start.toString(r.daily ? QStringLiteral("MM-dd") : QStringLiteral("HH:mm")),
                      "middle", "axis");
    }
    if (!line.isEmpty())
        s += QStringLiteral("<path d=\"%1\" class=\"yield\"/>").arg(line.trimmed());
    s += text(p.left, p.height - 6,
              ReportText::tr("柱：烧录次数（绿 通过，红 失败，橙 中断）；线：良率"), "start",
              "legend");
    return s + QStringLiteral("</svg>");
}

QString causeLabel(const ReportCause &c)
{
    if (c.interrupted)
        return ReportText::tr("中断");
    return c.via == QLatin1String("swd") ? QStringLiteral("SWD %1").arg(c.result)
                                         : QString::number(c.result);
}

QString paretoChart(const ProductionReport &r)
{
    Plot p;
    p.height = 220;
    QString s = svgOpen(p, ReportText::tr("失败原因"));
    const qint64 failures = r.total.failed + r.total.interrupted;
    const double max =
        axisMax(double(std::max<qint64>(1, r.causes.isEmpty() ? 1 : r.causes[0].count)));
    s += axes(p, max, true);
    const int n = r.causes.size();
    const double slot = p.innerW() / std::max(1, n);
    const double barW = std::min(60.0, slot * 0.7);
    qint64 cumulative = 0;
    QString line;
    for (int i = 0; i < n; ++i) {
        const ReportCause &c = r.causes[i];
        cumulative += c.count;
        const double x = p.left + slot * i + (slot - barW) / 2;
        const double h = p.innerH() * double(c.count) / max;
        s += rect(x, p.top + p.innerH() - h, barW, h, "fail",
                  QStringLiteral("%1 %2: %3").arg(causeLabel(c), c.text, QString::number(c.count)));
        const double ly = p.top + p.innerH() * (1 - double(cumulative) / double(failures));
        line += QStringLiteral("%1%2 %3 ").arg(i ? "L" : "M", num(x + barW / 2), num(ly));
        s += text(x + barW / 2, p.height - p.bottom + 16, causeLabel(c), "middle", "axis");
    }
    if (!line.isEmpty())
        s += QStringLiteral("<path d=\"%1\" class=\"yield\"/>").arg(line.trimmed());
    s +=
        text(p.left, p.height - 6, ReportText::tr("柱：失败次数；线：累计占比"), "start", "legend");
    return s + QStringLiteral("</svg>");
}

QString histogram(const ReportDurations &d)
{
    Plot p;
    p.height = 220;
    QString s = svgOpen(p, ReportText::tr("烧录时长分布"));
    qint64 most = 1;
    for (qint64 b : d.bins)
        most = std::max(most, b);
    const double max = axisMax(double(most));
    s += axes(p, max, false);
    const int n = d.bins.size();
    const double slot = p.innerW() / std::max(1, n);
    for (int i = 0; i < n; ++i) {
        const qint64 from = (d.firstBin + i) * d.binMs;
        const double h = p.innerH() * double(d.bins[i]) / max;
        s += rect(p.left + slot * i + 1, p.top + p.innerH() - h, slot - 2, h, "bin",
                  QStringLiteral("%1–%2 ms: %3").arg(from).arg(from + d.binMs).arg(d.bins[i]));
        if (i % labelStride(n) == 0)
            s += text(p.left + slot * i, p.height - p.bottom + 16, QString::number(from), "middle",
                      "axis");
    }
    auto marker = [&](qint64 ms, const QString &label, double dy) {
        if (ms < 0 || !d.binMs || n == 0)
            return;
        const double x = p.left + p.innerW() * (double(ms) / d.binMs - d.firstBin) / n;
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" class=\"mark\"/>")
                 .arg(num(x), num(p.top), num(p.top + p.innerH()));
        s += text(x + 4, p.top + dy, QStringLiteral("%1 %2 ms").arg(label).arg(ms), "start",
                  "marklabel");
    };
    marker(d.medianMs, ReportText::tr("中位数"), 12);
    marker(d.p95Ms, ReportText::tr("95百分位"), 28);
    s += text(p.left, p.height - 6, ReportText::tr("横轴：时长（毫秒）；纵轴：烧录次数"), "start",
              "legend");
    return s + QStringLiteral("</svg>");
}

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
