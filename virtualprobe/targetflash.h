// The simulated target's flash: a sparse 32-bit address space that reads 0xFF where erased,
// programs like NOR flash (bits only go from 1 to 0) and erases in 512-byte sectors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace vprobe {

class TargetFlash
{
public:
    static constexpr uint32_t sectorSize = 512;
    // Longest range the probe will erase, program or digest: larger than any chip of the family.
    static constexpr uint32_t rangeLimit = 16u << 20;

    void eraseAll() { pages.clear(); }
    void eraseSectors(uint32_t address, uint32_t length);
    // Programs without erasing: the cell keeps old AND new, as real flash does.
    void program(uint32_t address, const uint8_t *data, size_t length);
    // Overwrites (the probe erases the surrounding sector and re-programs it).
    void store(uint32_t address, const uint8_t *data, size_t length);
    std::vector<uint8_t> read(uint32_t address, uint32_t length) const;
    // Calls `sink` over [address, address + length) in order, in chunks; stops at the 4 GiB end.
    void visit(uint32_t address, uint32_t length,
               const std::function<void(const uint8_t *, size_t)> &sink) const;

    // True when [address, address + length) does not run past the end of the address space.
    static bool rangeFits(uint32_t address, uint32_t length)
    {
        return uint64_t(address) + length <= (uint64_t(1) << 32);
    }

private:
    static constexpr uint32_t pageSize = 1024;
    using Page = std::array<uint8_t, pageSize>;

    Page &pageAt(uint32_t index);
    template<typename Op>
    static void forEachSpan(uint32_t address, uint64_t length, Op op);

    std::map<uint32_t, Page> pages; // keyed by address / pageSize
};

} // namespace vprobe
