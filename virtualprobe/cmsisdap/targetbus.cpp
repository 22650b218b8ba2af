// The emulator's memory map of the simulated chip. The chips' models log what a controller would
// refuse but answer every access; the map adds the bus errors the silicon gives.
#include "targetbus.h"

#include <unicorn/unicorn.h>

namespace {

bool aligned(uint32_t address, unsigned size)
{
    return (size == 1 || size == 2 || size == 4) && address % size == 0;
}

// The QB48x: main flash from 0 as far as the bank goes (the rest of the window faults), the
// LDROM read-only at its fixed address, the register pages.
class Qb48Blocks : public BusDevice
{
public:
    explicit Qb48Blocks(TargetModel &model)
        : m_model(model)
    { }
    bool read(uint32_t address, unsigned size, uint32_t &value) override
    {
        if (!aligned(address, size))
            return false;
        const uint32_t ldrom = address - TargetBus::kLdromAlias;
        if (ldrom < TargetModel::kLdromSize) {
            const uint32_t word = m_model.flashWord(TargetModel::Bank::Ldrom, ldrom & ~3u);
            value = size == 4 ? word : (word >> (ldrom % 4 * 8)) & ((1u << (size * 8)) - 1);
            return true;
        }
        value = m_model.read(address, size);
        return true;
    }
    bool write(uint32_t address, unsigned size, uint32_t value) override
    {
        if (!aligned(address, size) || address - TargetBus::kLdromAlias < TargetModel::kLdromSize)
            return false;
        m_model.write(address, size, value);
        return true;
    }

private:
    TargetModel &m_model;
};

class Qs64Blocks : public BusDevice
{
public:
    explicit Qs64Blocks(Qs64Flash &part)
        : m_part(part)
    { }
    bool read(uint32_t address, unsigned size, uint32_t &value) override
    {
        if (!aligned(address, size))
            return false;
        value = m_part.read(address, size);
        return true;
    }
    bool write(uint32_t address, unsigned size, uint32_t value) override
    {
        if (!aligned(address, size))
            return false;
        m_part.write(address, size, value);
        return true;
    }

private:
    Qs64Flash &m_part;
};

} // namespace

struct TargetBusHooks
{
    static uint64_t read(uc_engine *uc, uint64_t offset, unsigned size, void *user)
    {
        auto *r = static_cast<TargetBus::Region *>(user);
        uint32_t value = 0;
        if (!r->device->read(r->base + uint32_t(offset), size, value))
            refuse(uc, r);
        return value;
    }
    static void write(uc_engine *uc, uint64_t offset, unsigned size, uint64_t value, void *user)
    {
        auto *r = static_cast<TargetBus::Region *>(user);
        if (!r->device->write(r->base + uint32_t(offset), size, uint32_t(value)))
            refuse(uc, r);
    }
    static void refuse(uc_engine *uc, TargetBus::Region *r)
    {
        r->bus->m_coreFault = true;
        uc_emu_stop(uc);
    }
};

TargetBus::TargetBus(TargetModel &model, Qs64Flash *part)
    : TargetBus(model, part, nullptr)
{
    if (!part)
        add(TargetModel::kScsBase, TargetModel::kPageSize, m_owned.front().get());
}

TargetBus::TargetBus(TargetModel &model, Qs64Flash *part, BusDevice *scs)
{
    if (part) {
        m_owned.push_back(std::make_unique<Qs64Blocks>(*part));
        m_ramSize = Qs64Flash::kRamSize;
        add(Qs64Flash::kFlashBase, Qs64Flash::kFlashSize, m_owned.back().get());
        add(Qs64Flash::kNvmBase, Qs64Flash::kNvmWindow, m_owned.back().get());
    } else {
        m_owned.push_back(std::make_unique<Qb48Blocks>(model));
        BusDevice *chip = m_owned.back().get();
        add(TargetModel::kFlashBase, TargetModel::kApromSize, chip);
        add(kLdromAlias, TargetModel::kLdromSize, chip);
        add(TargetModel::kSysBase, TargetModel::kPageSize, chip);
        add(TargetModel::kFmcBase, TargetModel::kPageSize, chip);
    }
    if (scs)
        add(0xE0000000, 0x100000, scs);
}

TargetBus::~TargetBus() = default;

void TargetBus::add(uint32_t base, uint32_t size, BusDevice *device)
{
    m_regions.push_back({this, device, base, size});
}

std::string TargetBus::map(uc_struct *uc)
{
    uc_err err = uc_mem_map(uc, kRamBase, m_ramSize, UC_PROT_ALL);
    for (Region &r : m_regions) {
        if (err == UC_ERR_OK)
            err = uc_mmio_map(uc, r.base, r.size, TargetBusHooks::read, &r, TargetBusHooks::write,
                              &r);
    }
    if (err != UC_ERR_OK)
        return std::string("unicorn: ") + uc_strerror(err);
    m_uc = uc;
    return std::string();
}

const TargetBus::Region *TargetBus::regionAt(uint32_t address) const
{
    for (const Region &r : m_regions) {
        if (address - r.base < r.size)
            return &r;
    }
    return nullptr;
}

bool TargetBus::read(uint32_t address, unsigned size, uint32_t &value) const
{
    if (!aligned(address, size))
        return false;
    if (address - kRamBase < m_ramSize) {
        value = 0;
        return m_uc && uc_mem_read(m_uc, address, &value, size) == UC_ERR_OK;
    }
    const Region *r = regionAt(address);
    return r && r->device->read(address, size, value);
}

bool TargetBus::write(uint32_t address, unsigned size, uint32_t value) const
{
    if (!aligned(address, size))
        return false;
    if (address - kRamBase < m_ramSize) {
        if (!m_uc || uc_mem_write(m_uc, address, &value, size) != UC_ERR_OK)
            return false;
        // Code loaded over code already run must not execute from stale translations.
        uc_ctl_remove_cache(m_uc, address, address + size);
        return true;
    }
    const Region *r = regionAt(address);
    return r && r->device->write(address, size, value);
}

bool TargetBus::takeCoreFault()
{
    const bool fault = m_coreFault;
    m_coreFault = false;
    return fault;
}
