// The emulator's memory map of the simulated chip; the callbacks turn a block offset back into the
// absolute address the model expects.
#include "targetbus.h"

#include <unicorn/unicorn.h>

struct TargetBusHooks
{
    static uint64_t read(uc_engine *, uint64_t offset, unsigned size, void *user)
    {
        auto *region = static_cast<TargetBus::Region *>(user);
        return region->read(region->base + uint32_t(offset), size);
    }
    static void write(uc_engine *, uint64_t offset, unsigned size, uint64_t value, void *user)
    {
        auto *region = static_cast<TargetBus::Region *>(user);
        region->write(region->base + uint32_t(offset), size, uint32_t(value));
    }
};

TargetBus::TargetBus(TargetModel &model, Qs64Flash *part)
{
    if (part)
        m_regions = {{nullptr, part, Qs64Flash::kFlashBase, Qs64Flash::kFlashSize},
                     {nullptr, part, Qs64Flash::kNvmBase, Qs64Flash::kNvmWindow}};
    else
        m_regions = {{&model, nullptr, TargetModel::kFlashBase, TargetModel::kFlashWindow},
                     {&model, nullptr, TargetModel::kScsBase, TargetModel::kPageSize},
                     {&model, nullptr, TargetModel::kSysBase, TargetModel::kPageSize},
                     {&model, nullptr, TargetModel::kFmcBase, TargetModel::kPageSize}};
}

std::string TargetBus::map(uc_struct *uc)
{
    uc_err err = uc_mem_map(uc, kRamBase, kRamSize, UC_PROT_ALL);
    for (Region &r : m_regions) {
        if (err == UC_ERR_OK)
            err = uc_mmio_map(uc, r.base, r.size, TargetBusHooks::read, &r, TargetBusHooks::write,
                              &r);
    }
    return err == UC_ERR_OK ? std::string() : std::string("unicorn: ") + uc_strerror(err);
}

const TargetBus::Region *TargetBus::regionAt(uint32_t address) const
{
    for (const Region &r : m_regions) {
        if (address - r.base < r.size)
            return &r;
    }
    return nullptr;
}

bool TargetBus::read(uint32_t address, uint32_t &value) const
{
    const Region *r = regionAt(address);
    if (r)
        value = r->read(address, 4);
    return r != nullptr;
}

bool TargetBus::write(uint32_t address, uint32_t value) const
{
    const Region *r = regionAt(address);
    if (r)
        r->write(address, 4, value);
    return r != nullptr;
}
