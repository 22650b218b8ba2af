// Unicorn-based debugger host for flash algorithms: memory map, loading, calls and the checks a
// careful host makes after each call.
#include "flashhost.h"

#include <unicorn/unicorn.h>

#include <cstdio>

namespace {

std::string hex(uint32_t value)
{
    char text[12];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(value));
    return text;
}

const uint8_t kBreakpoint[] = {0x00, 0xBE}; // BKPT #0, never executed: emulation stops first

} // namespace

struct FlashHostHooks
{
    // Any RAM write outside the stack and PrgData means the routine keeps state or scribbles.
    static void ramWrite(uc_engine *, uc_mem_type, uint64_t address, int size, int64_t, void *user)
    {
        auto *host = static_cast<FlashHost *>(user);
        const uint64_t end = address + uint64_t(size);
        const bool inStack =
            address >= FlashHost::kStackTop - FlashHost::kStackSize && end <= FlashHost::kStackTop;
        const bool inData = address >= host->m_dataStart && end <= host->m_dataEnd;
        if (!inStack && !inData) {
            host->m_strayWrites.push_back(hex(uint32_t(address)));
        }
    }
};

FlashHost::FlashHost(TargetModel &model)
    : m_bus(model)
{
    uc_err err = uc_open(UC_ARCH_ARM, uc_mode(UC_MODE_THUMB | UC_MODE_MCLASS), &m_uc);
    if (err == UC_ERR_OK) {
        err = uc_ctl_set_cpu_model(m_uc, UC_CPU_ARM_CORTEX_M0);
    }
    if (err != UC_ERR_OK) {
        m_setupError = std::string("unicorn: ") + uc_strerror(err);
        return;
    }
    if (!mapMemory()) {
        m_setupError = "unicorn: cannot map the target's memory";
    }
}

FlashHost::~FlashHost()
{
    if (m_uc) {
        uc_close(m_uc);
    }
}

bool FlashHost::mapMemory()
{
    if (!m_bus.map(m_uc).empty()) {
        return false;
    }
    uc_hook hook;
    if (uc_hook_add(m_uc, &hook, UC_HOOK_MEM_WRITE, (void *)FlashHostHooks::ramWrite, this,
                    kRamBase, kRamBase + kRamSize - 1)
        != UC_ERR_OK) {
        return false;
    }
    writeRam(kReturnAddress, {std::begin(kBreakpoint), std::end(kBreakpoint)});
    return true;
}

bool FlashHost::load(const ElfImage &image, uint32_t base, std::string &error)
{
    const ElfSection *code = image.section("PrgCode");
    const ElfSection *data = image.section("PrgData");
    if (!code || !data || data->addr != code->addr + code->size) {
        error = "image lacks PrgCode followed by PrgData";
        return false;
    }
    const uint64_t size = uint64_t(code->size) + data->size;
    if (base % 4 != 0 || base < kReturnAddress + 4 || base + size > kBufferAddress) {
        error = "load address " + hex(base) + " unusable for " + std::to_string(size) + " bytes";
        return false;
    }
    writeRam(base, image.contents(*code));
    writeRam(base + code->size, image.contents(*data));
    m_dataStart = base + code->size;
    m_dataEnd = m_dataStart + data->size;
    m_entries.clear();
    for (const ElfSymbol &sym : image.symbols()) {
        if (sym.bind == ElfImage::kStbGlobal && sym.type == ElfImage::kSttFunc) {
            m_entries[sym.name] = base + (sym.value & ~1u);
        }
    }
    return true;
}

void FlashHost::writeRam(uint32_t address, const std::vector<uint8_t> &bytes)
{
    if (bytes.empty()) {
        return;
    }
    uc_mem_write(m_uc, address, bytes.data(), bytes.size());
    // New code at an address already run must not execute from stale translations.
    uc_ctl_remove_cache(m_uc, address, address + bytes.size());
}

std::vector<uint8_t> FlashHost::readRam(uint32_t address, uint32_t size)
{
    std::vector<uint8_t> bytes(size);
    if (uc_mem_read(m_uc, address, bytes.data(), size) != UC_ERR_OK) {
        bytes.clear();
    }
    return bytes;
}

CallResult FlashHost::call(const std::string &entry, const std::vector<uint32_t> &args)
{
    const auto it = m_entries.find(entry);
    if (it == m_entries.end()) {
        CallResult result;
        result.failure = "no global function " + entry + " in the loaded image";
        return result;
    }
    return callAt(it->second, args);
}

void FlashHost::armCanary()
{
    std::vector<uint8_t> canary;
    for (uint32_t i = 0; i < kCanarySize; ++i) {
        canary.push_back(uint8_t(kCanaryWord >> (8 * (i % 4))));
    }
    writeRam(kStackTop - kStackSize - kCanarySize, canary);
}

CallResult FlashHost::callAt(uint32_t address, const std::vector<uint32_t> &args)
{
    CallResult result;
    if (!m_setupError.empty() || args.size() > 4) {
        result.failure = m_setupError.empty() ? "more than four arguments" : m_setupError;
        return result;
    }
    static const int argRegs[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t value = i < args.size() ? args[i] : 0;
        uc_reg_write(m_uc, argRegs[i], &value);
    }
    const uint32_t sp = kStackTop;
    const uint32_t lr = kReturnAddress | 1;
    const uint32_t r9 = kPoisonR9;
    uc_reg_write(m_uc, UC_ARM_REG_SP, &sp);
    uc_reg_write(m_uc, UC_ARM_REG_LR, &lr);
    uc_reg_write(m_uc, UC_ARM_REG_R9, &r9);
    armCanary();
    m_strayWrites.clear();

    const uc_err err = uc_emu_start(m_uc, address | 1, kReturnAddress, 0, m_budget);
    uint32_t pc = 0;
    uint32_t spAfter = 0;
    uc_reg_read(m_uc, UC_ARM_REG_PC, &pc);
    uc_reg_read(m_uc, UC_ARM_REG_SP, &spAfter);
    uc_reg_read(m_uc, UC_ARM_REG_R0, &result.value);
    if (err != UC_ERR_OK) {
        result.failure = std::string("emulation stopped: ") + uc_strerror(err) + " at " + hex(pc);
        return result;
    }
    result.failure = checkAfterCall(pc, spAfter);
    result.returned = result.failure.empty();
    return result;
}

std::string FlashHost::checkAfterCall(uint32_t pc, uint32_t sp)
{
    std::string failure;
    if (pc != kReturnAddress) {
        failure +=
            "no return within " + std::to_string(m_budget) + " instructions (PC " + hex(pc) + "); ";
    } else if (sp != kStackTop) {
        failure += "SP " + hex(sp) + " not restored to " + hex(kStackTop) + "; ";
    }
    const std::vector<uint8_t> canary = readRam(kStackTop - kStackSize - kCanarySize, kCanarySize);
    for (uint32_t i = 0; i < canary.size(); ++i) {
        if (canary[i] != uint8_t(kCanaryWord >> (8 * (i % 4)))) {
            failure += "stack canary overwritten; ";
            break;
        }
    }
    if (!m_strayWrites.empty()) {
        failure += "wrote RAM outside its stack and PrgData at " + m_strayWrites.front() + "; ";
    }
    return failure;
}
