// From a job's images and the device's memories: the banks the images go to, and for each touched
// sector whether it is erased, merged, programmed or skipped. The one home of the address rule
// (every operation uses a byte's device address), of a bank's extent (the pack's range inside the
// algorithm's device) and of the erase rule.
#pragma once

#include "pack/targetdescription.h"
#include "swd/flash/flashalgorithm.h"
#include "swd/swdprogrammer.h"

#include <optional>
#include <vector>

struct FlashSector
{
    enum Action { EraseAndProgram, ProgramOnly, Skip };
    uint32_t offset; // from the algorithm's DevAdr
    uint32_t size;
    // What it holds afterwards: the images' bytes over what it held before (erased after a full
    // erase), once merge() has been given the rest.
    std::vector<uint8_t> expected;
    std::vector<uint8_t> covered; // 1 where an image gives the byte
    Action action = EraseAndProgram;
    bool needsMerge = false; // the bytes no image gives must be read before programming

    bool wholeCovered() const;
    // Runs of image bytes [from, to) inside the sector, as offsets from DevAdr.
    std::vector<std::pair<uint32_t, uint32_t>> coveredRuns() const;
    // The sector's bytes as the flash holds them now: every byte no image gives is kept.
    void merge(const std::vector<uint8_t> &current);
};

struct FlashBank
{
    const pack::FlashAlgorithmRef *ref = nullptr;
    // The window the bank is read through, at the algorithm's addresses; none: read where it
    // lies. A copy: the description's memories may move while the bank lives.
    std::optional<pack::ReadWindow> window;
    uint32_t base = 0; // job address of the algorithm's DevAdr
    uint32_t first = 0, end = 0; // its extent, offsets from DevAdr: pack range and szDev both
    std::vector<const SwdImage *> images;
    std::optional<FlashAlgorithm> algorithm;
    std::vector<FlashSector> sectors; // those the images touch, ascending

    uint32_t offsetOf(const SwdImage &image) const { return image.address - base; }
    // The address routines take and the core reads for `offset`: the device's.
    uint32_t deviceAddress(uint32_t offset) const { return algorithm->deviceStart() + offset; }
    uint32_t jobAddress(uint32_t offset) const { return base + offset; }
    std::vector<uint32_t> extentSectors() const; // what a full erase erases
};

struct ProgramSpan
{
    uint32_t offset; // page-aligned, from DevAdr
    std::vector<uint8_t> bytes; // whole pages
};

// The job address of an algorithm's DevAdr: a bank the chip shows through a read window keeps its
// own numbering from the pack's start; any other bank is at its device addresses.
uint32_t bankBase(const pack::TargetDescription &target, const pack::FlashAlgorithmRef &ref,
                  uint32_t deviceStart);

// The banks of the job's device, each with its images, touched sectors and what they must hold;
// allBanks keeps banks no image goes to (full erase). A pack range that the algorithm's device
// does not hold on sector boundaries, or an image outside its bank, is refused (SwdBadJob) before
// any traffic.
SwdResult buildBanks(const pack::TargetDescription &target, const std::vector<SwdImage> &images,
                     bool allBanks, std::vector<FlashBank> &banks);

// What a sector/auto run asks the target before deciding: per sector, the CRC of each run of image
// bytes (unless they fill it) then of the whole sector, in that order.
std::vector<std::pair<uint32_t, uint32_t>> comparedRanges(const FlashBank &bank);
// The erase rule. crcs: answers to comparedRanges (empty when the mode compares nothing). A
// sector whose image bytes are already there is skipped; in auto a blank one is programmed
// without an erase; every other sector of sector and auto is erased, the bytes no image gives
// kept; none keeps them too, full erase blanks them.
void decideSectors(FlashBank &bank, int eraseMode, const std::vector<uint32_t> &crcs);
std::vector<uint32_t> sectorsToErase(const FlashBank &bank, int eraseMode);
// How a full erase blanks a bank. By EraseChip only where the algorithm has it and the bank's
// extent is its whole device: EraseChip knows nothing of a pack range that leaves part of the
// device to another algorithm.
enum class FullEraseWay { None, Chip, Sectors };
FullEraseWay fullEraseWay(const FlashBank &bank, int eraseMode);
// The same per algorithm of `target` (its algorithms chosen and loaded), for those who show what a
// full erase will do: None for one it leaves alone or that a job would refuse.
std::vector<FullEraseWay> fullEraseWays(const pack::TargetDescription &target);
// Runs of neighbouring pages to program, each page once: those an image touches, and with an
// erase those the merge left not blank.
std::vector<ProgramSpan> programSpans(const FlashBank &bank, int eraseMode);
