// The RAM plan: pieces laid out upwards from the start of RAM, the stack taking what is left.
#include "swd/flash/ramplan.h"

#include "swd/flash/pagepipeline.h"

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
