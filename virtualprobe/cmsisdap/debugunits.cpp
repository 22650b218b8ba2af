// The breakpoint unit's and the DWT's comparators as the core's fetch and access hooks ask them.
#include "systemcontrol.h"

namespace vprobe {

namespace {

constexpr uint32_t kFunctionPc = 0x4, kFunctionRead = 0x5, kFunctionWrite = 0x6,
                   kFunctionAccess = 0x7;

} // namespace

std::array<uint32_t, SystemControl::kFpbComparators> SystemControl::breakpoints() const
{
    std::array<uint32_t, kFpbComparators> at;
    at.fill(0xFFFFFFFF);
    for (unsigned i = 0; m_fpbEnabled && i < kFpbComparators; ++i) {
        const uint32_t comp = m_fpComp[i];
        const uint32_t replace = comp >> 30;
        if ((comp & 1) && replace != 0)
            at[i] = (comp & 0x1FFFFFFC) | (replace == 2 ? 2 : 0);
    }
    return at;
}

bool SystemControl::breakpointAt(uint32_t address) const
{
    for (unsigned i = 0; m_fpbEnabled && i < kFpbComparators; ++i) {
        const uint32_t comp = m_fpComp[i];
        const uint32_t replace = comp >> 30;
        if (!(comp & 1) || replace == 0 || (address & 0x1FFFFFFC) != (comp & 0x1FFFFFFC)
            || address >= 0x20000000)
            continue;
        const bool upper = address & 2;
        if ((upper && (replace & 2)) || (!upper && (replace & 1)))
            return true;
    }
    return false;
}

bool SystemControl::dwtRange(int comparator, uint32_t &low, uint32_t &high) const
{
    const Comparator &c = m_dwt[comparator];
    const uint32_t ignore = c.mask >= 32 ? 0xFFFFFFFF : (1u << c.mask) - 1;
    low = c.comp & ~ignore;
    high = low | ignore;
    return c.function >= kFunctionPc && c.function <= kFunctionAccess;
}

int SystemControl::watchpointAt(uint32_t address, unsigned size, bool write) const
{
    for (int i = 0; i < int(kDwtComparators); ++i) {
        uint32_t low = 0, high = 0;
        const uint32_t f = m_dwt[i].function;
        const bool kind =
            f == kFunctionAccess || (write ? f == kFunctionWrite : f == kFunctionRead);
        if (dwtRange(i, low, high) && kind && address <= high && address + size - 1 >= low)
            return i;
    }
    return -1;
}

int SystemControl::pcMatchAt(uint32_t address) const
{
    for (int i = 0; i < int(kDwtComparators); ++i) {
        uint32_t low = 0, high = 0;
        if (dwtRange(i, low, high) && m_dwt[i].function == kFunctionPc && address >= low
            && address <= high)
            return i;
    }
    return -1;
}

unsigned SystemControl::watchFunctions() const
{
    unsigned kinds = 0;
    for (const Comparator &c : m_dwt) {
        if (c.function == kFunctionPc)
            kinds |= kWatchPc;
        else if (c.function > kFunctionPc && c.function <= kFunctionAccess)
            kinds |= kWatchData;
    }
    return kinds;
}

void SystemControl::setWatchpointMatched(int comparator)
{
    if (comparator >= 0 && comparator < int(kDwtComparators))
        m_dwt[comparator].matched = true;
}

} // namespace vprobe
