// Where everything the host puts in target RAM goes, planned once per session from the chip's RAM
// and the sizes of what is loaded: the return breakpoint, the erase loop with its sector list, the
// flash algorithm, the CRC routine with its lookup table and range list, the page stubs and
// buffers, the session chain where room is left, and the stack above them. Where RAM is short the
// CRC routine and all buffers but one go: the least is the algorithm, one page buffer and
// kMinStack.
#pragma once

#include "job/memorygeometry.h"
#include "pack/targetdescription.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

struct RamPlan
{
    static constexpr uint32_t kCrcBatch = 64; // ranges per call of the CRC routine
    static constexpr uint32_t kSmallCrcBatch = 8; // where RAM is short (a 4 KiB algorithm area)
    static constexpr uint32_t kMinStack = 0x400;
    static constexpr uint32_t kLeastStack = 0x200; // where nothing else fits
    static constexpr uint32_t kEraseLoopSize = 0x20;
    static constexpr uint32_t kEraseBatch = 32; // sectors per run of the erase loop

    uint32_t crcBatch = kCrcBatch; // ranges in the list as planned (TargetCrc may halve it)

    uint32_t breakpoint = 0; // two BKPT instructions
    uint32_t eraseLoop = 0; // kEraseLoopSize of code, then kEraseBatch sector addresses
    uint32_t eraseList = 0;
    uint32_t pageStubs = 0; // see PagePipeline
    uint32_t algorithm = 0; // both banks' algorithms load here, one at a time
    uint32_t crcRoutine = 0;
    uint32_t crcTable = 0; // 256 words the routine builds its lookup table in
    uint32_t crcRanges = 0; // crcBatch (address, length) pairs
    uint32_t crcResults = 0; // crcBatch words
    uint32_t buffers = 0; // PagePipeline::slotsSize(pageSize, bufferCount)
    uint32_t bufferCount = 0;
    // The session chain (sessionchain.h) in what the buffers leave above them; 0: no room, the
    // calls around an erase go one by one.
    uint32_t chain = 0;
    bool withCrc = false; // false: the CRC routine did not fit, verify reads back
    uint32_t stackTop = 0; // the end of RAM

    // Nothing, with the reason, when not even the algorithm and one page buffer fit with at least
    // kLeastStack of stack. Sizes in bytes: the largest algorithm blob, the largest page, the CRC
    // routine's blob (0: none wanted).
    static std::optional<RamPlan> make(const quorvel::MemoryArea &ram, uint32_t algorithmSize,
                                       uint32_t pageSize, uint32_t crcSize, QString &error);
    // Where every algorithm `used` of the target may run: the RAM their RAMstart/RAMsize share,
    // or the device's default RAM when none says. Nothing, with the reason, when there is none.
    static std::optional<quorvel::MemoryArea>
    sharedRam(const pack::TargetDescription &target,
              const std::vector<const pack::FlashAlgorithmRef *> &used, QString &error);

private:
    static std::optional<RamPlan> make(const quorvel::MemoryArea &ram, uint32_t algorithmSize,
                                       uint32_t pageSize, uint32_t crcSize, uint32_t boundary,
                                       uint32_t crcBatch, uint32_t minBuffers, uint32_t stack,
                                       bool chain);
};
