// What one job does to the chip's memory before it runs: the file bands, the erase ranges, the
// rolling-code word, and the problems found in them. Shared by the window's map, the text map and
// the command line's checks.
#pragma once

#include "memorygeometry.h"

#include <QString>
#include <QVector>
#include <cstdint>

class Download;

struct FlashRegion
{
    enum Kind { Erase, File, RollingCode }; // also the order of regions starting at one address
    Kind kind = File;
    uint64_t start = 0; // [start, end); 64-bit so a range running past 4 GiB stays visible
    uint64_t end = 0;
    int file = -1; // slot of a file band, else -1
    QString name; // file name
    uint32_t crc = 0; // CRC-32 of a file's image
    bool problem = false; // named by at least one problem
};

struct FlashProblem
{
    enum Kind {
        TooManyFiles, // more than seven files and not sector erase: the probe cannot place the rest
        PastEnd, // a file runs past the end of the memory it is aimed at
        LdromTooLarge, // an image past 8 KB for the chip's boot source
        Overlap, // two files share bytes
        RollingCodeInImage, // the rolling-code word lies (partly) inside an image
        RollingCodeOutside, // the rolling-code word is not wholly inside APROM or LDROM
    };
    Kind kind = Overlap;
    QVector<int> files; // slots involved
    uint64_t start = 0; // the offending bytes, [start, end); empty for job-wide problems
    uint64_t end = 0;
    QString text; // translated, one line
};

// A memory the map draws and judges files against, erased in the sectors of its table.
struct FlashMemory
{
    QString name;
    uint32_t base = 0;
    uint32_t size = 0;
    QVector<QPair<uint32_t, uint32_t>> sectors; // (size, offset from base) runs, as an FLM's table

    uint64_t end() const { return uint64_t(base) + size; }
    bool holds(uint64_t start, uint64_t stop) const
    {
        return start >= base && stop <= end() && start <= stop;
    }
};

// The QB48x's APROM and LDROM: what the map shows unless a device's pack says otherwise.
QVector<FlashMemory> qb48FlashMemories();

struct FlashPlan
{
    QVector<FlashMemory> memories; // by base address
    QVector<FlashRegion> regions; // by start address
    QVector<FlashProblem> problems; // job-wide first, then per file in slot order
    int eraseMode = 0; // job::EraseMode
    bool programEnabled = true;
    int bootSource = 0; // 0 unknown, 1 LDROM, 2 APROM

    bool hasProblems() const { return !problems.isEmpty(); }
    // The memory an address is aimed at: the last one starting at or below it, else the first.
    const FlashMemory &memoryFor(uint64_t address) const;
};

// Boot source: 0 unknown (no boot-source rule), 1 the chip boots from LDROM, 2 from APROM.
// Reads fileCount (clamped to 0..10), names, addresses, lengths and images (imageData of a slot
// must hold imageLength bytes, or be null), eraseMode, programEnabled and rollingCodeAddress.
// The boot-source rule is the QB48x's: give 0 with other memories.
FlashPlan planJob(const Download &d, int bootSource,
                  const QVector<FlashMemory> &memories = qb48FlashMemories());

// Address range as the maps print it: "0x00001000-0x000017FF" (last byte included).
QString flashRangeText(uint64_t start, uint64_t end);
// A region in a few lines for a tooltip: name or kind, range, length and, for files, CRC-32.
QString flashRegionDescription(const FlashRegion &region);
// Short label of a region: "文件N", "擦除" or "滚码".
QString flashRegionLabel(const FlashRegion &region);
// Where a region lies: the name of the memory it starts in ("APROM", "LDROM"), or "超出范围" when
// it starts in neither (past the end of APROM, below or past LDROM).
QString flashRegionArea(const FlashPlan &plan, const FlashRegion &region);

// One line per problem, then one line per region; each line ends with '\n'.
QString flashMapText(const FlashPlan &plan);
// A standalone SVG document of the map, UTF-8, every file named in it.
QByteArray flashMapSvg(const FlashPlan &plan);
