// The problem rules of a job's flash map and the regions they are judged on.
#include "flashplan.h"

#include "erasemode.h"

#include "download.h"
#include "images/crc32.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

constexpr int regionsPerEraseReport = 7; // the probe learns where images go from these entries
constexpr uint64_t bootLimit = 0x2000; // 8 KB the chip check allows for the boot-source image
// Over SWD, auto erases at most what sector erase does: the sectors whose content differs.
bool erasesSectors(int eraseMode)
{
    return eraseMode == job::SectorErase || eraseMode == job::AutoErase;
}

QString hex(uint64_t value)
{
    return QLatin1String("0x") + QString::number(value, 16).toUpper().rightJustified(8, '0');
}

FlashRegion span(FlashRegion::Kind kind, uint64_t start, uint64_t end)
{
    FlashRegion r;
    r.kind = kind;
    r.start = start;
    r.end = end;
    return r;
}

struct Band
{
    int slot;
    uint64_t start;
    uint64_t end;
};

QVector<Band> fileBands(const Download &d)
{
    QVector<Band> bands;
    const int count = std::clamp<int>(d.fileCount, 0, Download::maxFiles);
    for (int i = 0; i < count; ++i)
        bands.append({i, d.imageAddress[i], uint64_t(d.imageAddress[i]) + d.imageLength[i]});
    return bands;
}

FlashProblem problem(FlashProblem::Kind kind, QVector<int> files, uint64_t start, uint64_t end,
                     const QString &text)
{
    return FlashProblem{kind, std::move(files), start, end, text};
}

void checkFileCount(const Download &d, const QVector<Band> &bands, QVector<FlashProblem> &out)
{
    if (bands.size() <= regionsPerEraseReport || erasesSectors(d.eraseMode))
        return;
    QVector<int> unplaced;
    for (int i = regionsPerEraseReport; i < bands.size(); ++i)
        unplaced.append(i);
    out.append(
        problem(FlashProblem::TooManyFiles, unplaced, 0, 0,
                QCoreApplication::translate("FlashPlan", "不是扇区擦除时最多烧写7个文件，现有%1个")
                    .arg(bands.size())));
}

// Past the end of the aimed-at memory, or past 8 KB for the boot source; the problem's range is
// the part beyond the limit, its text names the whole file. With the chip booting from APROM both
// say the same of an LDROM image, so only the boot-source one is named.
void checkBounds(const FlashPlan &plan, const Band &b, int bootSource, QVector<FlashProblem> &out)
{
    constexpr const quorvel::MemoryGeometry &geometry = quorvel::qb48Geometry;
    const FlashMemory &area = plan.memoryFor(b.start);
    const bool ldromImage = b.start >= geometry.ldrom.base;
    const QString range = flashRangeText(b.start, b.end);
    bool bootProblem = false;
    if (bootSource == 2 && ldromImage && b.end > geometry.ldrom.base + bootLimit) {
        bootProblem = true;
        out.append(problem(
            FlashProblem::LdromTooLarge, {b.slot},
            std::max<uint64_t>(b.start, geometry.ldrom.base + bootLimit), b.end,
            QCoreApplication::translate("FlashPlan", "芯片从APROM启动，LDROM文件%1超出8KB：%2")
                .arg(b.slot + 1)
                .arg(range)));
    } else if (bootSource == 1 && !ldromImage && b.end > bootLimit) {
        bootProblem = true;
        out.append(
            problem(FlashProblem::LdromTooLarge, {b.slot}, std::max(b.start, bootLimit), b.end,
                    QCoreApplication::translate("FlashPlan", "芯片从LDROM启动，文件%1超出8KB：%2")
                        .arg(b.slot + 1)
                        .arg(range)));
    }
    if (!area.holds(b.start, b.end) && !(bootProblem && ldromImage))
        out.append(problem(FlashProblem::PastEnd, {b.slot}, std::max(b.start, area.end()), b.end,
                           QCoreApplication::translate("FlashPlan", "文件%1超出%2范围：%3")
                               .arg(QString::number(b.slot + 1), area.name, range)));
}

void checkOverlaps(const QVector<Band> &bands, QVector<FlashProblem> &out)
{
    for (int i = 0; i < bands.size(); ++i) {
        for (int j = i + 1; j < bands.size(); ++j) {
            const uint64_t start = std::max(bands[i].start, bands[j].start);
            const uint64_t end = std::min(bands[i].end, bands[j].end);
            if (start < end)
                out.append(
                    problem(FlashProblem::Overlap, {i, j}, start, end,
                            QCoreApplication::translate("FlashPlan", "文件%1与文件%2重叠：%3")
                                .arg(i + 1)
                                .arg(j + 1)
                                .arg(flashRangeText(start, end))));
        }
    }
}

void checkRollingCode(const FlashPlan &plan, uint32_t address, const QVector<Band> &bands,
                      QVector<FlashProblem> &out)
{
    if (address == 0)
        return;
    const uint64_t end = uint64_t(address) + 4;
    // The chip writes the word only where it has flash; elsewhere the run fails after the images.
    if (!plan.memoryFor(address).holds(address, end))
        out.append(problem(FlashProblem::RollingCodeOutside, {}, address, end,
                           QCoreApplication::translate("FlashPlan", "滚码%1不在APROM或LDROM内")
                               .arg(hex(address))));
    for (const Band &b : bands) {
        if (std::max<uint64_t>(address, b.start) < std::min(end, b.end))
            out.append(problem(FlashProblem::RollingCodeInImage, {b.slot}, address, end,
                               QCoreApplication::translate("FlashPlan", "滚码%1位于文件%2内")
                                   .arg(hex(address))
                                   .arg(b.slot + 1)));
    }
}

// From the start of the sector holding `start` to the end of the one holding `end - 1`; past
// the memory's end the last sector size repeats, so a file running out still shows its erase.
FlashRegion sectorSpan(const FlashMemory &m, uint64_t start, uint64_t end)
{
    auto sectorAt = [&m](uint64_t address, bool upper) {
        uint64_t from = m.base, size = 0x200;
        for (int i = 0; i < m.sectors.size(); ++i) {
            if (uint64_t(m.base) + m.sectors[i].second > address)
                break;
            from = uint64_t(m.base) + m.sectors[i].second;
            size = m.sectors[i].first;
        }
        if (address < from)
            return upper ? from : address;
        const uint64_t at = from + (address - from) / size * size;
        return upper && at != address ? at + size : at;
    };
    return span(FlashRegion::Erase, sectorAt(start, false), sectorAt(end, true));
}

// Full erase takes every memory whole on either path; sector erase the sectors each image touches,
// neighbouring or shared ones merged.
QVector<FlashRegion> eraseRegions(const FlashPlan &plan, int eraseMode, const QVector<Band> &bands)
{
    QVector<FlashRegion> out;
    if (eraseMode == job::FullErase) {
        for (const FlashMemory &area : plan.memories)
            out.append(span(FlashRegion::Erase, area.base, area.end()));
        return out;
    }
    if (!erasesSectors(eraseMode))
        return out;
    QVector<FlashRegion> sectors;
    for (const Band &b : bands) {
        if (b.end > b.start)
            sectors.append(sectorSpan(plan.memoryFor(b.start), b.start, b.end));
    }
    std::sort(sectors.begin(), sectors.end(),
              [](const FlashRegion &a, const FlashRegion &b) { return a.start < b.start; });
    for (const FlashRegion &r : sectors) {
        if (!out.isEmpty() && r.start <= out.last().end)
            out.last().end = std::max(out.last().end, r.end);
        else
            out.append(r);
    }
    return out;
}

} // namespace

QVector<FlashMemory> qb48FlashMemories()
{
    QVector<FlashMemory> memories;
    for (const quorvel::MemoryArea *area :
         {&quorvel::qb48Geometry.aprom, &quorvel::qb48Geometry.ldrom})
        memories.append({QString::fromLatin1(area->name),
                         area->base,
                         area->size,
                         {{quorvel::qb48Geometry.sectorSize, 0}}});
    return memories;
}

const FlashMemory &FlashPlan::memoryFor(uint64_t address) const
{
    static const QVector<FlashMemory> fallback = qb48FlashMemories();
    const QVector<FlashMemory> &all = memories.isEmpty() ? fallback : memories;
    const FlashMemory *found = &all.front();
    for (const FlashMemory &m : all) {
        if (m.base <= address)
            found = &m;
    }
    return *found;
}

FlashPlan planJob(const Download &d, int bootSource, const QVector<FlashMemory> &memories)
{
    FlashPlan plan;
    plan.memories = memories.isEmpty() ? qb48FlashMemories() : memories;
    std::sort(plan.memories.begin(), plan.memories.end(),
              [](const FlashMemory &a, const FlashMemory &b) { return a.base < b.base; });
    plan.eraseMode = d.eraseMode;
    plan.programEnabled = d.programEnabled != 0;
    plan.bootSource = bootSource;
    const QVector<Band> bands = fileBands(d);

    checkFileCount(d, bands, plan.problems);
    for (const Band &b : bands)
        checkBounds(plan, b, bootSource, plan.problems);
    checkOverlaps(bands, plan.problems);
    checkRollingCode(plan, d.rollingCodeAddress, bands, plan.problems);

    plan.regions = eraseRegions(plan, d.eraseMode, bands);
    for (const Band &b : bands) {
        FlashRegion r = span(FlashRegion::File, b.start, b.end);
        r.file = b.slot;
        r.name = d.fileName[b.slot];
        if (d.imageData[b.slot])
            r.crc = calcCrc32(d.imageData[b.slot], d.imageLength[b.slot]);
        plan.regions.append(r);
    }
    if (d.rollingCodeAddress != 0)
        plan.regions.append(span(FlashRegion::RollingCode, d.rollingCodeAddress,
                                 uint64_t(d.rollingCodeAddress) + 4));

    for (const FlashProblem &p : plan.problems) {
        for (FlashRegion &r : plan.regions) {
            const bool named = r.kind == FlashRegion::RollingCode
                ? p.kind == FlashProblem::RollingCodeInImage
                    || p.kind == FlashProblem::RollingCodeOutside
                : r.kind == FlashRegion::File && p.files.contains(r.file);
            r.problem = r.problem || named;
        }
    }
    std::stable_sort(plan.regions.begin(), plan.regions.end(),
                     [](const FlashRegion &a, const FlashRegion &b) {
                         return a.start != b.start ? a.start < b.start : a.kind < b.kind;
                     });
    return plan;
}

QString flashRangeText(uint64_t start, uint64_t end)
{
    return hex(start) + QLatin1Char('-') + hex(end > start ? end - 1 : start);
}

QString flashRegionLabel(const FlashRegion &region)
{
    switch (region.kind) {
    case FlashRegion::Erase:
        return QCoreApplication::translate("FlashPlan", "擦除");
    case FlashRegion::RollingCode:
        return QCoreApplication::translate("FlashPlan", "滚码");
    case FlashRegion::File:
        break;
    }
    return QCoreApplication::translate("FlashPlan", "文件%1").arg(region.file + 1);
}

QString flashRegionArea(const FlashPlan &plan, const FlashRegion &region)
{
    const FlashMemory &area = plan.memoryFor(region.start);
    if (region.start >= area.base && region.start < area.end())
        return area.name;
    return QCoreApplication::translate("FlashPlan", "超出范围");
}

QString flashRegionDescription(const FlashRegion &region)
{
    QString text = region.kind == FlashRegion::File ? region.name + QLatin1Char('\n')
                                                    : flashRegionLabel(region) + QLatin1Char('\n');
    text += flashRangeText(region.start, region.end) + QLatin1Char('\n');
    text +=
        QCoreApplication::translate("FlashPlan", "长度：%1").arg(hex(region.end - region.start));
    if (region.kind == FlashRegion::File)
        text += QLatin1Char('\n')
            + QCoreApplication::translate("FlashPlan", "CRC-32：%1").arg(hex(region.crc));
    return text;
}
