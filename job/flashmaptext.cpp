// The flash map as a text table for a terminal: problems first, then one line per region.
#include "flashplan.h"

#include <QCoreApplication>

namespace {

QString regionLine(const FlashPlan &plan, const FlashRegion &r)
{
    QStringList fields{flashRegionLabel(r).leftJustified(6), flashRangeText(r.start, r.end),
                       QLatin1String("0x")
                           + QString::number(r.end - r.start, 16).toUpper().rightJustified(8, '0'),
                       flashRegionArea(plan, r)};
    if (r.kind == FlashRegion::File)
        fields << QString::asprintf("CRC-32 0x%08X", r.crc) << r.name;
    if (r.problem)
        fields << QCoreApplication::translate("FlashPlan", "（有问题）");
    return fields.join(QLatin1String("  "));
}

} // namespace

QString flashMapText(const FlashPlan &plan)
{
    QString text;
    for (const FlashProblem &p : plan.problems)
        text += QCoreApplication::translate("FlashPlan", "问题").leftJustified(6)
            + QLatin1String("  ") + p.text + QLatin1Char('\n');
    for (const FlashRegion &r : plan.regions)
        text += regionLine(plan, r) + QLatin1Char('\n');
    return text;
}
