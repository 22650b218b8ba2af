// The RAM plan: pieces laid out upwards from the start of RAM, the stack taking what is left.
#include "swd/flash/ramplan.h"

#include "swd/flash/pagepipeline.h"
#include "swd/flash/sessionchain.h"

#include <algorithm>

std::optional<RamPlan> RamPlan::make(const quorvel::MemoryArea &ram, uint32_t algorithmSize,
                                     uint32_t pageSize, uint32_t crcSize, QString &error)
{
    // The session chain, the 1 KiB boundaries, the long CRC batches and the CRC routine itself
    // only save time: a RAM too small for them goes without, as long as the pages can still be
    // double buffered. The chain goes first, but takes what the buffers leave wherever it fits.
    struct Try
    {
        uint32_t boundary, crcBatch, crcSize, minBuffers, stack;
        bool chain;
    };
    const Try tries[] = {{0x400, kCrcBatch, crcSize, 2, kMinStack, true},
                         {0x400, kCrcBatch, crcSize, 2, kMinStack, false},
                         {16, kCrcBatch, crcSize, 2, kMinStack, false},
                         {16, kSmallCrcBatch, crcSize, 2, kMinStack, false},
                         {16, 0, 0, 1, kMinStack, false},
                         {16, 0, 0, 1, kLeastStack, false}};
    for (const Try &t : tries) {
        if (auto plan = make(ram, algorithmSize, pageSize, t.crcSize, t.boundary, t.crcBatch,
                             t.minBuffers, t.stack, t.chain))
            return plan;
    }
    const uint64_t least = 0x10 + kEraseLoopSize + kEraseBatch * 4 + ((algorithmSize + 15) & ~15u)
        + PagePipeline::stubsSize(1) + PagePipeline::slotsSize(pageSize, 1) + kLeastStack;
    error = QStringLiteral("the flash algorithm, one page buffer and the stack need %1 bytes of "
                           "the %2 of RAM")
                .arg(least)
                .arg(ram.size);
    return std::nullopt;
}

std::optional<RamPlan> RamPlan::make(const quorvel::MemoryArea &ram, uint32_t algorithmSize,
                                     uint32_t pageSize, uint32_t crcSize, uint32_t boundary,
                                     uint32_t crcBatch, uint32_t minBuffers, uint32_t stack,
                                     bool chain)
{
    uint64_t at = ram.base;
    auto take = [&at](uint64_t size, uint64_t align = 16) {
        const uint64_t start = (at + align - 1) & ~(align - 1);
        at = start + size;
        return uint32_t(start);
    };
    RamPlan plan;
    plan.breakpoint = take(0x10);
    plan.eraseLoop = take(kEraseLoopSize);
    plan.eraseList = take(kEraseBatch * 4);
    plan.algorithm = take(algorithmSize);
    plan.withCrc = crcSize != 0;
    if (plan.withCrc) {
        plan.crcRoutine = take(crcSize);
        // What the routine writes stays off the pages of code: a write there is a code change
        // to a core that caches or translates code (the emulator does).
        plan.crcTable = take(256 * 4, boundary);
        plan.crcBatch = crcBatch;
        plan.crcRanges = take(crcBatch * 8);
        plan.crcResults = take(crcBatch * 4);
    } else {
        plan.crcBatch = 0;
    }
    plan.stackTop = uint32_t(ram.end() & ~uint64_t(7));
    // As many buffers as fit beside the stack; on a 1 KiB boundary, where the debug port's
    // address auto-increment wraps: fewer TAR writes.
    const uint64_t perBuffer = PagePipeline::perBufferSize(pageSize);
    const uint64_t stubsAt = (at + 15) & ~uint64_t(15);
    const uint64_t reserve =
        PagePipeline::stubsSize(0) + stack + boundary + (chain ? sessionchain::kSize + 15 : 0);
    const uint64_t room = plan.stackTop > stubsAt + reserve ? plan.stackTop - stubsAt - reserve : 0;
    const uint32_t count =
        uint32_t(std::min<uint64_t>(room / perBuffer, PagePipeline::kMaxBuffers));
    if (count < minBuffers)
        return std::nullopt;
    plan.bufferCount = count;
    plan.pageStubs = take(PagePipeline::stubsSize(count));
    plan.buffers = take(PagePipeline::slotsSize(pageSize, count), boundary);
    if (at + stack > plan.stackTop)
        return std::nullopt;
    // Last, where what the buffers leave may hold it even when it was not asked for.
    if (((at + 15) & ~uint64_t(15)) + sessionchain::kSize + stack <= plan.stackTop)
        plan.chain = take(sessionchain::kSize);
    else if (chain)
        return std::nullopt;
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
