// Where everything the host puts in target RAM goes, planned once per session from the chip's RAM
// and the sizes of what is loaded: the return breakpoint, the page stubs, the flash algorithm, the
// CRC routine with its lookup table and range list, the page buffers, and the stack above them.
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

    uint32_t crcBatch = kCrcBatch; // ranges per call as planned

    uint32_t breakpoint = 0; // two BKPT instructions
    uint32_t pageStubs = 0; // see PagePipeline
    uint32_t algorithm = 0; // both banks' algorithms load here, one at a time
    uint32_t crcRoutine = 0;
    uint32_t crcTable = 0; // 256 words the routine builds its lookup table in
    uint32_t crcRanges = 0; // kCrcBatch (address, length) pairs
    uint32_t crcResults = 0; // kCrcBatch words
    uint32_t buffers = 0; // PagePipeline::slotsSize(pageSize)
    uint32_t stackTop = 0; // the end of RAM

    // Nothing, with the reason, when the pieces do not fit with at least kMinStack of stack.
    // Sizes in bytes: the largest algorithm blob, the largest page, the CRC routine's blob.
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
                                       uint32_t crcBatch, QString &error);
};
