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

} // namespace pack
