// The emulator's memory map of the simulated chip. The chips' models log what a controller would
// refuse but answer every access; the map adds the bus errors the silicon gives.
#include "targetbus.h"

#include "parts/boardpart.h"

#include <unicorn/unicorn.h>

#include <algorithm>

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
    // Data accesses to a code region: the device answers, the copy carries its value.
    static void codeRead(uc_engine *uc, uc_mem_type, uint64_t address, int size, int64_t,
                         void *user)
    {
        auto *r = static_cast<TargetBus::Region *>(user);
        uint32_t value = 0;
        if (!r->device->read(uint32_t(address), unsigned(size), value))
            refuse(uc, r);
        uc_mem_write(uc, address, &value, size_t(size));
    }
    static void codeWrite(uc_engine *uc, uc_mem_type, uint64_t address, int size, int64_t value,
                          void *user)
    {
        auto *r = static_cast<TargetBus::Region *>(user);
        r->dirty = true; // the raw store lands in the copy; the next sync puts the chip back
        if (!r->device->write(uint32_t(address), unsigned(size), uint32_t(value)))
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
        add(Qs64Flash::kFlashBase, Qs64Flash::kFlashSize, m_owned.back().get(),
            scs ? &part->flash() : nullptr);
        add(Qs64Flash::kNvmBase, Qs64Flash::kNvmWindow, m_owned.back().get());
    } else {
        m_owned.push_back(std::make_unique<Qb48Blocks>(model));
        BusDevice *chip = m_owned.back().get();
        add(TargetModel::kFlashBase, TargetModel::kApromSize, chip,
            scs ? &model.flash(TargetModel::Bank::Aprom) : nullptr);
        add(kLdromAlias, TargetModel::kLdromSize, chip,
            scs ? &model.flash(TargetModel::Bank::Ldrom) : nullptr);
        add(TargetModel::kSysBase, TargetModel::kPageSize, chip);
        add(TargetModel::kFmcBase, TargetModel::kPageSize, chip);
    }
    if (scs)
        add(0xE0000000, 0x100000, scs);
}

TargetBus::TargetBus(vprobe::BoardPart &part, BusDevice *scs)
    : m_ramSize(part.ramSize())
    , m_part(&part)
{
    for (const vprobe::BoardPart::Block &b : part.blocks())
        add(b.base, b.size, &part, b.code);
    add(0xE0000000, 0x100000, scs);
}

TargetBus::~TargetBus() = default;

uint64_t TargetBus::takeBusyNanoseconds()
{
    return m_part ? m_part->takeBusyNanoseconds() : 0;
}

void TargetBus::add(uint32_t base, uint32_t size, BusDevice *device,
                    const std::vector<uint8_t> *code)
{
    m_regions.push_back({this, device, base, size, code, {}, true});
}

std::string TargetBus::map(uc_struct *uc)
{
    uc_err err = uc_mem_map(uc, kRamBase, m_ramSize, UC_PROT_ALL);
    uc_hook hook;
    for (Region &r : m_regions) {
        if (err == UC_ERR_OK && !r.code)
            err = uc_mmio_map(uc, r.base, r.size, TargetBusHooks::read, &r, TargetBusHooks::write,
                              &r);
        else if (err == UC_ERR_OK)
            err = uc_mem_map(uc, r.base, r.size, UC_PROT_ALL);
        if (err == UC_ERR_OK && r.code)
            err = uc_hook_add(uc, &hook, UC_HOOK_MEM_READ, (void *)TargetBusHooks::codeRead, &r,
                              r.base, r.base + r.size - 1);
        if (err == UC_ERR_OK && r.code)
            err = uc_hook_add(uc, &hook, UC_HOOK_MEM_WRITE, (void *)TargetBusHooks::codeWrite, &r,
                              r.base, r.base + r.size - 1);
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
    if (!r)
        return false;
    if (m_part)
        m_part->setDebuggerAccess(true, m_debuggerNs);
    const bool ok = r->device->read(address, size, value);
    if (m_part)
        m_part->setDebuggerAccess(false, 0);
    return ok;
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
    if (!r)
        return false;
    if (m_part)
        m_part->setDebuggerAccess(true, m_debuggerNs);
    const bool ok = r->device->write(address, size, value);
    if (m_part)
        m_part->setDebuggerAccess(false, 0);
    return ok;
}

void TargetBus::syncCode()
{
    for (Region &r : m_regions) {
        if (!m_uc || !r.code || (!r.dirty && r.copy == *r.code))
            continue;
        r.copy = *r.code;
        uc_mem_write(m_uc, r.base, r.copy.data(), std::min<size_t>(r.copy.size(), r.size));
        uc_ctl_remove_cache(m_uc, r.base, r.base + r.size);
        r.dirty = false;
    }
}

bool TargetBus::takeCoreFault()
{
    const bool fault = m_coreFault;
    m_coreFault = false;
    return fault;
}
