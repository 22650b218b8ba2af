#include "swd/builder/flashbuilder.h"

#include "images/crc32.h"
#include "job/erasemode.h"
#include "pack/jobalgorithms.h"

#include <algorithm>

namespace {

SwdResult refused(const QString &message)
{
    return SwdResult::failure(SwdBadJob, message);
}

// Full erase erases the ranges of the device's own algorithms; another algorithm (option bytes,
// OTP, a loader) gets only the sectors its images need, as sector erase does.
int bankMode(const FlashBank &bank, int eraseMode)
{
    return eraseMode == job::FullErase && !bank.ref->fullErase ? int(job::SectorErase) : eraseMode;
}

bool blank(const std::vector<uint8_t> &bytes, size_t from, size_t to, uint8_t erased)
{
    return std::all_of(bytes.begin() + std::ptrdiff_t(from), bytes.begin() + std::ptrdiff_t(to),
                       [erased](uint8_t b) { return b == erased; });
}

// Where a bank lives; its extent is where the pack's range and the device overlap.
SwdResult place(FlashBank &bank)
{
    const FlashAlgorithm &a = *bank.algorithm;
    const pack::FlashAlgorithmRef &ref = *bank.ref;
    bank.base = bank.window ? ref.start : a.deviceStart();
    const uint64_t from = std::max<uint64_t>(ref.start, bank.base);
    const uint64_t to = std::min<uint64_t>(ref.end(), uint64_t(bank.base) + a.deviceSize());
    const auto boundary = [&a](uint64_t offset) {
        if (offset == a.deviceSize())
            return true;
        const std::vector<uint32_t> s = a.sectorsCovering(uint32_t(offset), 1);
        return !s.empty() && s.front() == offset;
    };
    if (from >= to || !boundary(from - bank.base) || !boundary(to - bank.base))
        return refused(QStringLiteral("the pack places %1 at %2 to %3, which its device %4 "
                                      "(%5 to %6) does not hold on sector boundaries")
                           .arg(ref.path, hex8(ref.start), hex8(uint32_t(ref.end() - 1)),
                                a.deviceName(), hex8(a.deviceStart()),
                                hex8(uint32_t(uint64_t(a.deviceStart()) + a.deviceSize() - 1))));
    bank.first = uint32_t(from - bank.base);
    bank.end = uint32_t(to - bank.base);
    return {};
}

} // namespace

uint32_t bankBase(const pack::TargetDescription &target, const pack::FlashAlgorithmRef &ref,
                  uint32_t deviceStart)
{
    return target.windowedMemory(ref.start) ? ref.start : deviceStart;
}

bool FlashSector::wholeCovered() const
{
    return std::all_of(covered.begin(), covered.end(), [](uint8_t c) { return c != 0; });
}

std::vector<std::pair<uint32_t, uint32_t>> FlashSector::coveredRuns() const
{
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    for (uint32_t i = 0; i < size; ++i) {
        if (!covered[i])
            continue;
        if (runs.empty() || runs.back().second != offset + i)
            runs.push_back({offset + i, offset + i + 1});
        else
            ++runs.back().second;
    }
    return runs;
}

void FlashSector::merge(const std::vector<uint8_t> &current)
{
    for (uint32_t i = 0; i < size && i < current.size(); ++i) {
        if (!covered[i])
            expected[i] = current[i];
    }
    needsMerge = false;
}

std::vector<uint32_t> FlashBank::extentSectors() const
{
    return algorithm->sectorsCovering(first, end - first);
}

SwdResult buildBanks(const pack::TargetDescription &target, const std::vector<SwdImage> &images,
                     bool allBanks, std::vector<FlashBank> &banks)
{
    banks.clear();
    if (target.algorithms.isEmpty())
        return refused(QStringLiteral("%1 has no flash algorithm").arg(target.device));
    std::vector<FlashBank> all;
    for (const pack::FlashAlgorithmRef &ref : target.algorithms) {
        FlashBank bank;
        bank.ref = &ref;
        if (const pack::MemoryRegion *m = target.windowedMemory(ref.start))
            bank.window = m->readWindow;
        all.push_back(std::move(bank));
    }
    for (const SwdImage &image : images) {
        // An image outside every range goes to the nearest one below, which names it refused.
        const pack::FlashAlgorithmRef *ref = target.algorithmFor(image.address);
        size_t at = 0;
        for (size_t i = 0; i < all.size(); ++i) {
            if (ref ? all[i].ref == ref : all[i].ref->start <= image.address)
                at = i;
        }
        all[at].images.push_back(&image);
    }
    for (FlashBank &bank : all) {
        if (bank.images.empty() && !(allBanks && bank.ref->fullErase))
            continue;
        QString error;
        bank.algorithm = FlashAlgorithm::parse(
            std::vector<uint8_t>(bank.ref->image.begin(), bank.ref->image.end()), bank.ref->path,
            error);
        if (!bank.algorithm)
            return SwdResult::failure(SwdAlgorithmInvalid, error);
        if (const SwdResult placed = place(bank); !placed.ok())
            return placed;
        const FlashAlgorithm &a = *bank.algorithm;
        std::vector<uint32_t> starts;
        for (const SwdImage *image : bank.images) {
            const uint64_t offset = uint64_t(image->address) - bank.base;
            if (!image->data || image->length == 0 || image->address < bank.jobAddress(bank.first)
                || offset + image->length > bank.end)
                return refused(
                    QStringLiteral("%1 (%2 bytes at 0x%3) is outside %4")
                        .arg(image->name, QString::number(image->length),
                             QStringLiteral("%1").arg(image->address, 8, 16, QLatin1Char('0')),
                             a.deviceName()));
            const QString outside = pack::imageBoundsProblem(
                target, *bank.ref, {image->address, image->length, image->name});
            if (!outside.isEmpty())
                return refused(outside);
            for (uint32_t start : a.sectorsCovering(uint32_t(offset), image->length))
                starts.push_back(start);
        }
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (uint32_t start : starts) {
            const uint32_t size = a.sectorSizeAt(start);
            bank.sectors.push_back({start,
                                    size,
                                    std::vector<uint8_t>(size, a.erasedValue()),
                                    std::vector<uint8_t>(size, 0),
                                    {},
                                    false});
        }
        // Images do not overlap (the file list's rule): each byte has one image to come from.
        for (FlashSector &sector : bank.sectors) {
            for (const SwdImage *image : bank.images) {
                const uint64_t from = std::max<uint64_t>(bank.offsetOf(*image), sector.offset);
                const uint64_t to =
                    std::min<uint64_t>(uint64_t(bank.offsetOf(*image)) + image->length,
                                       uint64_t(sector.offset) + sector.size);
                for (uint64_t at = from; at < to; ++at) {
                    sector.expected[at - sector.offset] = image->data[at - bank.offsetOf(*image)];
                    sector.covered[at - sector.offset] = 1;
                }
            }
        }
        banks.push_back(std::move(bank));
    }
    return banks.empty() ? refused(QStringLiteral("the job has no image")) : SwdResult{};
}

std::vector<std::pair<uint32_t, uint32_t>> comparedRanges(const FlashBank &bank)
{
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    for (const FlashSector &sector : bank.sectors) {
        if (!sector.wholeCovered()) {
            for (const auto &[from, to] : sector.coveredRuns())
                ranges.push_back({from, to - from});
        }
        ranges.push_back({sector.offset, sector.size});
    }
    return ranges;
}

void decideSectors(FlashBank &bank, int eraseMode, const std::vector<uint32_t> &crcs)
{
    eraseMode = bankMode(bank, eraseMode);
    const uint8_t erased = bank.algorithm->erasedValue();
    size_t answer = 0;
    for (FlashSector &sector : bank.sectors) {
        sector.action = eraseMode == job::FullErase || eraseMode == job::NoErase
            ? FlashSector::ProgramOnly
            : FlashSector::EraseAndProgram;
        sector.needsMerge = eraseMode != job::FullErase && !sector.wholeCovered();
        if (crcs.empty())
            continue;
        bool same = true;
        if (!sector.wholeCovered()) {
            for (const auto &[from, to] : sector.coveredRuns()) {
                const uint32_t at = from - sector.offset;
                same = same && answer < crcs.size()
                    && crcs[answer] == calcCrc32(sector.expected.data() + at, to - from);
                ++answer;
            }
        }
        const std::vector<uint8_t> blankSector(sector.size, erased);
        const uint32_t whole = answer < crcs.size() ? crcs[answer] : 0;
        const bool isBlank =
            answer < crcs.size() && whole == calcCrc32(blankSector.data(), sector.size);
        if (sector.wholeCovered())
            same = answer < crcs.size() && whole == calcCrc32(sector.expected.data(), sector.size);
        ++answer;
        if (same) {
            sector.action = FlashSector::Skip;
            sector.needsMerge = false;
        } else if (eraseMode == job::AutoErase && isBlank) {
            sector.action = FlashSector::ProgramOnly;
            sector.needsMerge = false;
        }
    }
}

std::vector<uint32_t> sectorsToErase(const FlashBank &bank, int eraseMode)
{
    eraseMode = bankMode(bank, eraseMode);
    if (eraseMode == job::FullErase)
        return bank.extentSectors();
    std::vector<uint32_t> sectors;
    if (eraseMode == job::NoErase)
        return sectors;
    for (const FlashSector &sector : bank.sectors) {
        if (sector.action == FlashSector::EraseAndProgram)
            sectors.push_back(sector.offset);
    }
    return sectors;
}

FullEraseWay fullEraseWay(const FlashBank &bank, int eraseMode)
{
    if (bankMode(bank, eraseMode) != job::FullErase)
        return FullEraseWay::None;
    const FlashAlgorithm &a = *bank.algorithm;
    return a.entry("EraseChip") && bank.first == 0 && bank.end == a.deviceSize()
        ? FullEraseWay::Chip
        : FullEraseWay::Sectors;
}

std::vector<FullEraseWay> fullEraseWays(const pack::TargetDescription &target)
{
    std::vector<FullEraseWay> ways;
    for (const pack::FlashAlgorithmRef &ref : target.algorithms) {
        pack::TargetDescription one = target;
        one.algorithms = {ref};
        std::vector<FlashBank> banks;
        ways.push_back(ref.fullErase && buildBanks(one, {}, true, banks).ok()
                           ? fullEraseWay(banks.front(), job::FullErase)
                           : FullEraseWay::None);
    }
    return ways;
}

std::vector<ProgramSpan> programSpans(const FlashBank &bank, int eraseMode)
{
    eraseMode = bankMode(bank, eraseMode);
    const uint32_t page = bank.algorithm->pageSize();
    const uint8_t erased = bank.algorithm->erasedValue();
    std::vector<ProgramSpan> spans;
    for (const FlashSector &sector : bank.sectors) {
        if (sector.action == FlashSector::Skip)
            continue;
        const bool wasErased =
            eraseMode == job::FullErase || sector.action == FlashSector::EraseAndProgram;
        // Pages of the device that hold any of the sector's bytes; a sector smaller than a page
        // shares its page with its neighbours, whose bytes the page then carries too.
        for (uint64_t p = sector.offset - sector.offset % page;
             p < uint64_t(sector.offset) + sector.size; p += page) {
            const uint32_t from = uint32_t(std::max<uint64_t>(p, sector.offset)) - sector.offset;
            const uint32_t to =
                uint32_t(std::min<uint64_t>(p + page, uint64_t(sector.offset) + sector.size))
                - sector.offset;
            const bool touched =
                std::any_of(sector.covered.begin() + from, sector.covered.begin() + to,
                            [](uint8_t c) { return c != 0; });
            if ((!touched && !wasErased) || blank(sector.expected, from, to, erased))
                continue;
            if (spans.empty() || spans.back().offset + spans.back().bytes.size() < p) {
                spans.push_back({uint32_t(p), std::vector<uint8_t>(page, erased)});
            } else if (spans.back().offset + spans.back().bytes.size() == p) {
                spans.back().bytes.resize(spans.back().bytes.size() + page, erased);
            }
            std::copy(sector.expected.begin() + from, sector.expected.begin() + to,
                      spans.back().bytes.begin() + (sector.offset + from - spans.back().offset));
        }
    }
    return spans;
}
