// The emulator's memory map of the simulated chip; the callbacks turn a block offset back into the
// absolute address the model expects.
#include "targetbus.h"

#include <unicorn/unicorn.h>

struct TargetBusHooks
{
    static uint64_t read(uc_engine *, uint64_t offset, unsigned size, void *user)
    {
        auto *region = static_cast<TargetBus::Region *>(user);
        return region->model->read(region->base + uint32_t(offset), size);
    }
    static void write(uc_engine *, uint64_t offset, unsigned size, uint64_t value, void *user)
    {
        auto *region = static_cast<TargetBus::Region *>(user);
        region->model->write(region->base + uint32_t(offset), size, uint32_t(value));
    }
};

TargetBus::TargetBus(TargetModel &model)
    : m_regions{{&model, TargetModel::kFlashBase, TargetModel::kFlashWindow},
                {&model, TargetModel::kScsBase, TargetModel::kPageSize},
                {&model, TargetModel::kSysBase, TargetModel::kPageSize},
                {&model, TargetModel::kFmcBase, TargetModel::kPageSize}}
{ }

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

bool TargetBus::inModel(uint32_t address) const
{
    for (const Region &r : m_regions) {
        if (address - r.base < r.size)
            return true;
    }
    return false;
}
