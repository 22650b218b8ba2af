#include "targetdescription.h"

namespace pack {

const FlashAlgorithmRef *TargetDescription::algorithmFor(uint32_t address) const
{
    const FlashAlgorithmRef *found = nullptr;
    for (const FlashAlgorithmRef &a : algorithms) {
        if (address < a.start || address >= a.end())
            continue;
        if (a.isDefault)
            return &a;
        if (!found)
            found = &a;
    }
    return found;
}

const MemoryRegion *TargetDescription::memory(const QString &name) const
{
    for (const MemoryRegion &m : memories) {
        if (m.name.compare(name, Qt::CaseInsensitive) == 0)
            return &m;
    }
    return nullptr;
}

const MemoryRegion *TargetDescription::windowedMemory(uint32_t address) const
{
    for (const MemoryRegion &m : memories) {
        if (m.readWindow && address >= m.start && address < m.end())
            return &m;
    }
    return nullptr;
}

const MemoryRegion &TargetDescription::aliasRoot(const MemoryRegion &m) const
{
    const MemoryRegion *at = &m;
    // Bounded: a description may chain aliases into a loop.
    for (int hops = 0; hops < memories.size() && !at->alias.isEmpty(); ++hops) {
        const MemoryRegion *next = memory(at->alias);
        if (!next || next == at)
            break;
        at = next;
    }
    return *at;
}

} // namespace pack
