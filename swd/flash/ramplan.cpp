// The RAM plan: pieces laid out upwards from the start of RAM, the stack taking what is left.
#include "swd/flash/ramplan.h"

#include "swd/flash/pagepipeline.h"

#include <algorithm>

std::optional<RamPlan> RamPlan::make(const quorvel::MemoryArea &ram, uint32_t algorithmSize,
                                     uint32_t pageSize, uint32_t crcSize, QString &error)
{
    // The 1 KiB boundaries and the long CRC batches only save time: a RAM too small for them goes
    // without.
    std::optional<RamPlan> plan =
        make(ram, algorithmSize, pageSize, crcSize, 0x400, kCrcBatch, error);
    if (!plan)
        plan = make(ram, algorithmSize, pageSize, crcSize, 16, kCrcBatch, error);
    return plan ? plan : make(ram, algorithmSize, pageSize, crcSize, 16, kSmallCrcBatch, error);
}

std::optional<RamPlan> RamPlan::make(const quorvel::MemoryArea &ram, uint32_t algorithmSize,
                                     uint32_t pageSize, uint32_t crcSize, uint32_t boundary,
                                     uint32_t crcBatch, QString &error)
{
    uint64_t at = ram.base;
    auto take = [&at](uint64_t size, uint64_t align = 16) {
        const uint64_t start = (at + align - 1) & ~(align - 1);
        at = start + size;
        return uint32_t(start);
    };
    RamPlan plan;
    plan.breakpoint = take(0x10);
    plan.pageStubs = take(PagePipeline::stubsSize());
    plan.algorithm = take(algorithmSize);
    plan.crcRoutine = take(crcSize);
    // What the routine writes stays off the pages of code: a write there is a code change to a
    // core that caches or translates code (the emulator does).
    plan.crcTable = take(256 * 4, boundary);
    plan.crcBatch = crcBatch;
    plan.crcRanges = take(crcBatch * 8);
    plan.crcResults = take(crcBatch * 4);
    // On a 1 KiB boundary, where the debug port's address auto-increment wraps: fewer TAR writes.
    plan.buffers = take(PagePipeline::slotsSize(pageSize), boundary);
    plan.stackTop = uint32_t(ram.end() & ~uint64_t(7));
    if (at + kMinStack > plan.stackTop) {
        error = QStringLiteral("the flash algorithm, the CRC routine and the page buffers need "
                               "%1 bytes of the %2 of RAM")
                    .arg(at - ram.base + kMinStack)
                    .arg(ram.size);
        return std::nullopt;
    }
    return plan;
}

std::optional<quorvel::MemoryArea>
RamPlan::sharedRam(const pack::TargetDescription &target,
                   const std::vector<const pack::FlashAlgorithmRef *> &used, QString &error)
{
    uint64_t ramStart = 0, ramEnd = ~uint32_t(0);
    bool said = false;
    for (const pack::FlashAlgorithmRef *ref : used) {
        if (!ref->ramStart || !ref->ramSize)
            continue;
        said = true;
        ramStart = std::max<uint64_t>(ramStart, *ref->ramStart);
        ramEnd = std::min<uint64_t>(ramEnd, uint64_t(*ref->ramStart) + *ref->ramSize);
    }
    if (!said) {
        const pack::MemoryRegion *ram = nullptr;
        for (const pack::MemoryRegion &m : target.memories) {
            if (m.writable() && (!ram || (m.isDefault && !ram->isDefault)))
                ram = &m;
        }
        if (!ram) {
            error =
                QStringLiteral("%1 has no RAM to run its flash algorithm in").arg(target.device);
            return std::nullopt;
        }
        ramStart = ram->start;
        ramEnd = ram->end();
    }
    if (ramEnd <= ramStart) {
        error = QStringLiteral("the flash algorithms of %1 share no RAM").arg(target.device);
        return std::nullopt;
    }
    return quorvel::MemoryArea{"RAM", uint32_t(ramStart), uint32_t(ramEnd - ramStart)};
}
