// The report page's charts, drawn by hand as inline SVG: runs and yield per hour, the failure
// causes as a Pareto chart, and the histogram of run durations.
#include "reportmarkup.h"

#include <algorithm>
#include <cmath>

namespace reportmarkup {

namespace {

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

} // namespace

QString causeLabel(const ReportCause &c)
{
    if (c.interrupted)
        return ReportText::tr("中断");
    return c.via == QLatin1String("swd") ? QStringLiteral("SWD %1").arg(c.result)
                                         : QString::number(c.result);
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

} // namespace reportmarkup
