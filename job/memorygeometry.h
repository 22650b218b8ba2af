// Memory geometry of the QB48 family as its flash algorithms describe it: main flash (APROM) and
// LDROM, and what a debugger host must know of the chip besides: its RAM and how the LDROM is read.
// Plain C++ without Qt. The flash map and the dedicated probe's page check in the virtual probe use
// it; the SWD host reads the same facts from the shipped pack (its LDROM's read window too). The
// simulated SWD target (virtualprobe/cmsisdap/targetmodel.h) keeps its
// own sizes on purpose, as the chip the host is tested against.
#pragma once

#include <cstddef>
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

// The flash is read through one window at address 0; a register of the flash controller chooses
// whether the window shows the APROM or the LDROM.
struct ReadWindow
{
    uint32_t selectRegister;
    uint32_t aprom; // value that shows the APROM
    uint32_t ldrom; // value that shows the LDROM
};

struct MemoryGeometry
{
    MemoryArea aprom;
    MemoryArea ldrom;
    uint32_t sectorSize;
    MemoryArea ram; // what a debugger host may plan its routines, stack and buffers in
    ReadWindow window;

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

// 120 KiB of APROM from 0 and 8 KiB of LDROM, both in 512-byte sectors (flashalgo/FlashDev.c);
// 16 KiB of RAM; the LDROM bit of the flash controller's command register selects the window
// (without the lock bit: only the flash algorithm's UnInit locks the controller).
constexpr MemoryGeometry qb48Geometry{{"APROM", 0x00000000u, 0x0001E000u},
                                      {"LDROM", 0x10000000u, 0x00002000u},
                                      0x200u,
                                      {"RAM", 0x20000000u, 0x00004000u},
                                      {0x4000B010u, 0x00000000u, 0x00000100u}};

} // namespace quorvel
