// Memory geometry of the QB48 family as its flash algorithms describe it: main flash (APROM) and
// LDROM. Plain C++ without Qt, so the simulated chip of the virtual probe shares this one source.
#pragma once

#include <cstdint>

namespace quorvel {

struct MemoryArea
{
    const char *name;
    uint32_t base;
    uint32_t size;

    constexpr uint64_t end() const { return uint64_t(base) + size; }
    // [start, end) lies wholly inside the area; an empty range anywhere in it counts too.
    constexpr bool holds(uint64_t start, uint64_t stop) const
    {
        return start >= base && stop <= end() && start <= stop;
    }
};

struct MemoryGeometry
{
    MemoryArea aprom;
    MemoryArea ldrom;
    uint32_t sectorSize;

    // The memory an address is aimed at: everything from the LDROM's base up counts as LDROM, the
    // same split the chip check makes between low and LDROM images.
    constexpr const MemoryArea &areaFor(uint32_t address) const
    {
        return address >= ldrom.base ? ldrom : aprom;
    }
    // True when [address, address + length) lies inside the main flash or inside the LDROM.
    constexpr bool holds(uint32_t address, uint64_t length) const
    {
        return areaFor(address).holds(address, uint64_t(address) + length);
    }
};

// 120 KiB of APROM from 0 and 8 KiB of LDROM, both in 512-byte sectors (flashalgo/FlashDev.c).
constexpr MemoryGeometry qb48Geometry{
    {"APROM", 0x00000000u, 0x0001E000u}, {"LDROM", 0x10000000u, 0x00002000u}, 0x200u};

} // namespace quorvel
