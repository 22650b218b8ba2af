// Layout of the flash map: one row per memory (APROM, LDROM) scaled to what the job reaches in it,
// file bands with their names listed under the row, erase ranges as a strip, the rolling-code word
// as a marker, and the problems in red below.
#include "flashmaplayout.h"

#include "erasemode.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>

namespace {

constexpr qreal margin = 12;
constexpr qreal lineHeight = 18;
constexpr qreal barHeight = 34;
constexpr qreal stripHeight = 8;
const char *const problemColour = "#D01818";
const char *const palette[] = {"#4E8FD8", "#58B368", "#E0A030", "#9A6BD0", "#3BB5B0",
                               "#D0709A", "#8AA040", "#C08850", "#6C7FE0", "#50A0D0"};

QString eraseModeText(int mode)
{
    switch (mode) {
    case job::FullErase:
        return QCoreApplication::translate("FlashPlan", "全擦除");
    case job::SectorErase:
        return QCoreApplication::translate("FlashPlan", "扇区擦除");
    case job::AutoErase:
        return QCoreApplication::translate("FlashPlan",
                                           "自动擦除（至多这些扇区，只擦除内容不同的）");
    default:
        return QCoreApplication::translate("FlashPlan", "不擦除");
    }
}

class RowScale
{
public:
    RowScale(uint64_t low, uint64_t high, qreal left, qreal width)
        : low(low)
        , span(qreal(std::max<uint64_t>(high - low, 1)))
        , left(left)
        , width(width)
    { }
    qreal x(uint64_t address) const
    {
        return left + width * qreal(std::max(address, low) - low) / span;
    }
    // At least two pixels wide, so a four-byte word or a tiny image stays visible.
    QRectF band(uint64_t start, uint64_t end, qreal top, qreal height) const
    {
        const qreal x0 = std::min(x(start), left + width - 2);
        return QRectF(x0, top, std::max<qreal>(x(end) - x0, 2), height);
    }

private:
    uint64_t low;
    qreal span;
    qreal left;
    qreal width;
};

class Builder
{
public:
    Builder(const FlashPlan &plan, qreal width)
        : plan(plan)
        , width(width)
    { }

    FlashMapLayout build()
    {
        text(QCoreApplication::translate("FlashPlan", "擦除方式：%1    烧写：%2")
                 .arg(eraseModeText(plan.eraseMode))
                 .arg(plan.programEnabled ? QCoreApplication::translate("FlashPlan", "是")
                                          : QCoreApplication::translate("FlashPlan", "否")));
        y += lineHeight + 6;
        for (const FlashMemory &memory : plan.memories)
            row(memory);
        legend();
        problems();
        layout.size = QSizeF(width, y + margin);
        return layout;
    }

private:
    void add(MapShape::Kind kind, const QRectF &rect, const QString &label, const QString &fill,
             const QString &stroke, int region = -1)
    {
        layout.shapes.append(MapShape{kind, rect, label, fill, stroke, region});
    }
    void text(const QString &label)
    {
        add(MapShape::Text, QRectF(margin, y, width - 2 * margin, lineHeight), label, {}, {});
    }
    bool onRow(const FlashRegion &r, const FlashMemory &area) const
    {
        return &plan.memoryFor(r.start) == &area;
    }

    // Highest address the job reaches in this memory, at least its end.
    uint64_t reach(const FlashMemory &area) const
    {
        uint64_t high = area.end();
        for (const FlashRegion &r : plan.regions) {
            if (onRow(r, area))
                high = std::max(high, r.end);
        }
        return high;
    }

    void row(const FlashMemory &area)
    {
        text(QStringLiteral("%1  %2  (%3 KiB)")
                 .arg(area.name, flashRangeText(area.base, area.end()),
                      QString::number(area.size / 1024)));
        y += lineHeight;
        const uint64_t high = reach(area);
        const RowScale scale(area.base, high, margin, width - 2 * margin);
        add(MapShape::Memory, scale.band(area.base, area.end(), y, barHeight), {}, "#ECECEC",
            "#808080");
        if (high > area.end())
            add(MapShape::Outside, scale.band(area.end(), high, y, barHeight),
                QCoreApplication::translate("FlashPlan", "超出范围"), "#F6CACA", problemColour);
        QVector<int> listed; // files and the rolling code, named under the bar
        for (int i = 0; i < plan.regions.size(); ++i) {
            const FlashRegion &r = plan.regions[i];
            if (onRow(r, area) && r.kind == FlashRegion::Erase)
                add(MapShape::Erase, scale.band(r.start, r.end, y + barHeight + 2, stripHeight), {},
                    "#F0A040", {}, i);
            else if (onRow(r, area))
                listed.append(i);
        }
        bands(area, scale, listed);
        y += barHeight + stripHeight + 4;
        names(area, scale, listed);
        y += 10;
    }

    // Files, then the problems' marks over them, then the rolling-code word on top, so a
    // four-byte word inside an image stays visible.
    void bands(const FlashMemory &area, const RowScale &scale, const QVector<int> &listed)
    {
        for (int i : listed) {
            const FlashRegion &r = plan.regions[i];
            if (r.kind != FlashRegion::File)
                continue;
            const QRectF band = scale.band(r.start, r.end, y + 3, barHeight - 6);
            // A label cut to a few pixels says nothing; the line under the bar names the file.
            add(MapShape::File, band, band.width() >= 48 ? flashRegionLabel(r) : QString(),
                palette[r.file % 10], r.problem ? problemColour : "#303030", i);
        }
        for (const FlashProblem &p : plan.problems) {
            if (p.end > p.start && &plan.memoryFor(p.start) == &area)
                add(MapShape::ProblemMark, scale.band(p.start, p.end, y, barHeight), {},
                    problemColour, problemColour);
        }
        for (int i : listed) {
            const FlashRegion &r = plan.regions[i];
            if (r.kind != FlashRegion::RollingCode)
                continue;
            QRectF marker = scale.band(r.start, r.end, y - 5, barHeight + 10);
            marker.setWidth(std::max<qreal>(marker.width(), 5));
            add(MapShape::RollingCode, marker, {}, r.problem ? problemColour : "#6040C0", "#202020",
                i);
        }
    }

    // One line per file or code word under the bar, starting below its band where it fits; one
    // drawn in the row's red outside part says it lies outside the memory.
    void names(const FlashMemory &area, const RowScale &scale, const QVector<int> &listed)
    {
        for (int i : listed) {
            const FlashRegion &r = plan.regions[i];
            const QString where = flashRegionArea(plan, r);
            const qreal x = std::min(scale.x(r.start), width - margin - 420);
            add(MapShape::Text, QRectF(std::max(margin, x), y, 420, lineHeight),
                QStringList{flashRegionLabel(r), r.name, flashRangeText(r.start, r.end),
                            where == area.name ? QString() : where}
                    .filter(QRegularExpression("."))
                    .join(QLatin1String("  ")),
                {}, r.problem ? problemColour : QString(), i);
            y += lineHeight;
        }
    }

    void legend()
    {
        struct Item
        {
            const char *fill;
            const char *stroke;
            QString label;
        };
        const Item items[] = {
            {"#4E8FD8", "#303030", QCoreApplication::translate("FlashPlan", "文件")},
            {"#F0A040", "", QCoreApplication::translate("FlashPlan", "擦除范围")},
            {"#6040C0", "#202020", QCoreApplication::translate("FlashPlan", "滚码")},
            {problemColour, problemColour, QCoreApplication::translate("FlashPlan", "问题")}};
        qreal x = margin;
        for (const Item &item : items) {
            const bool problem = item.stroke == problemColour;
            add(problem ? MapShape::ProblemMark : MapShape::Erase, QRectF(x, y + 4, 14, 10), {},
                item.fill, item.stroke);
            add(MapShape::Text, QRectF(x + 18, y, 110, lineHeight), item.label, {}, {});
            x += 130;
        }
        y += lineHeight + 6;
    }

    void problems()
    {
        if (plan.problems.isEmpty()) {
            add(MapShape::Text, QRectF(margin, y, width - 2 * margin, lineHeight),
                QCoreApplication::translate("FlashPlan", "没有发现问题"), {}, "#208040");
            y += lineHeight;
        }
        for (const FlashProblem &p : plan.problems) {
            add(MapShape::ProblemText, QRectF(margin, y, width - 2 * margin, lineHeight), p.text,
                {}, problemColour);
            y += lineHeight;
        }
    }

    const FlashPlan &plan;
    qreal width;
    qreal y = margin;
    FlashMapLayout layout;
};

} // namespace

FlashMapLayout layoutFlashMap(const FlashPlan &plan, qreal width)
{
    return Builder(plan, width).build();
}
