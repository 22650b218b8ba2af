// Unicorn-backed Cortex-M0 with halting debug: a resume runs the code until a BKPT, a fault or
// the instruction budget, which leaves the core running (never halting) as far as the probe sees.
#include "cortexcore.h"

#include <unicorn/unicorn.h>

namespace vprobe {

namespace {

constexpr uint32_t kDbgKey = 0xA05F0000;
constexpr uint32_t kCDebugEn = 0x1, kCHalt = 0x2;
constexpr uint32_t kSRegRdy = 1u << 16, kSHalt = 1u << 17, kSLockup = 1u << 19;
constexpr uint32_t kSResetSt = 1u << 25;
constexpr uint32_t kRegWrite = 1u << 16;
constexpr uint32_t kVcCoreReset = 0x1;
constexpr uint32_t kSysResetRequest = 0x05FA0004;
constexpr uint32_t kNeverReached = 0xFFFFFFF0;

const int kRegisters[] = {
    UC_ARM_REG_R0,  UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3, UC_ARM_REG_R4,  UC_ARM_REG_R5,
    UC_ARM_REG_R6,  UC_ARM_REG_R7, UC_ARM_REG_R8, UC_ARM_REG_R9, UC_ARM_REG_R10, UC_ARM_REG_R11,
    UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR, UC_ARM_REG_PC, UC_ARM_REG_XPSR};

} // namespace

struct CoreHooks
{
    static void interrupt(uc_engine *uc, uint32_t, void *user)
    {
        // BKPT, or any exception: the debugger gets the core back.
        static_cast<CortexCore *>(user)->m_hitBreakpoint = true;
        uc_emu_stop(uc);
    }
};

CortexCore::CortexCore(TargetModel &model, Qs64Flash *part)
    : m_model(model)
    , m_bus(model, part)
{
    uc_err err = uc_open(UC_ARCH_ARM, uc_mode(UC_MODE_THUMB | UC_MODE_MCLASS), &m_uc);
    if (err == UC_ERR_OK)
        err = uc_ctl_set_cpu_model(m_uc, UC_CPU_ARM_CORTEX_M0);
    if (err != UC_ERR_OK) {
        m_setupError = std::string("unicorn: ") + uc_strerror(err);
        return;
    }
    m_setupError = m_bus.map(m_uc);
    uc_hook hook;
    if (m_setupError.empty()
        && uc_hook_add(m_uc, &hook, UC_HOOK_INTR, (void *)CoreHooks::interrupt, this, 1, 0)
            != UC_ERR_OK)
        m_setupError = "unicorn: cannot hook exceptions";
}

CortexCore::~CortexCore()
{
    if (m_uc)
        uc_close(m_uc);
}

bool CortexCore::read(uint32_t address, uint32_t &value)
{
    if (address % 4)
        return false;
    if (address - kRamBase < kRamSize)
        return uc_mem_read(m_uc, address, &value, 4) == UC_ERR_OK;
    if (address == kAircr || (address >= kDhcsr && address <= kDemcr)) {
        value = readDebug(address);
        return true;
    }
    return m_bus.read(address, value);
}

bool CortexCore::write(uint32_t address, uint32_t value)
{
    if (address % 4)
        return false;
    if (address - kRamBase < kRamSize) {
        if (uc_mem_write(m_uc, address, &value, 4) != UC_ERR_OK)
            return false;
        // Code loaded over code already run must not execute from stale translations.
        uc_ctl_remove_cache(m_uc, address, address + 4);
        return true;
    }
    if (address == kAircr || (address >= kDhcsr && address <= kDemcr)) {
        writeDebug(address, value);
        return true;
    }
    return m_bus.write(address, value);
}

int CortexCore::ucRegister(uint32_t selector) const
{
    return selector < sizeof kRegisters / sizeof kRegisters[0] ? kRegisters[selector] : -1;
}

uint32_t CortexCore::readDebug(uint32_t address)
{
    switch (address) {
    case kDhcsr: {
        const uint32_t resetSeen = m_resetSeen ? kSResetSt : 0;
        m_resetSeen = false;
        if (m_slowLeft > 0 || m_nowNs < m_runUntilNs) {
            m_slowLeft -= m_slowLeft > 0;
            return resetSeen | (m_debugEnabled ? kCDebugEn : 0);
        }
        const bool ready = m_registerLeft == 0;
        if (m_registerLeft > 0 && --m_registerLeft == 0)
            m_dcrdr = m_registerValue;
        return resetSeen | (m_halted ? kSHalt : 0) | (m_halted && ready ? kSRegRdy : 0)
            | (m_lockup ? kSLockup : 0) | (m_debugEnabled ? kCDebugEn : 0)
            | (m_halted ? kCHalt : 0);
    }
    case kDcrdr:
        return m_dcrdr;
    case kDemcr:
        return m_demcr;
    default:
        return 0;
    }
}

void CortexCore::writeDebug(uint32_t address, uint32_t value)
{
    switch (address) {
    case kDhcsr:
        if ((value & 0xFFFF0000) != kDbgKey)
            return; // ignored without the key, as the hardware does
        m_debugEnabled = value & kCDebugEn;
        if (m_debugEnabled && (value & kCHalt))
            m_halted = true;
        else if (m_halted)
            resume();
        break;
    case kDcrsr: {
        // Only a halted core transfers registers; otherwise the request is lost.
        const int reg = ucRegister(value & 0x1F);
        if (!m_halted || reg < 0 || m_registerLeft > 0)
            return; // a request while the last one is under way is lost too
        if (value & kRegWrite) {
            uc_reg_write(m_uc, reg, &m_dcrdr);
            m_registerValue = m_dcrdr;
            m_registerLeft = m_registerLatency;
            break;
        }
        uc_reg_read(m_uc, reg, &m_registerValue);
        m_registerLeft = m_registerLatency;
        if (m_registerLeft == 0)
            m_dcrdr = m_registerValue;
        break;
    }
    case kDcrdr:
        if (m_registerLeft == 0)
            m_dcrdr = value;
        break;
    case kDemcr:
        m_demcr = value;
        break;
    case kAircr:
        if (value == kSysResetRequest)
            reset();
        break;
    default:
        break;
    }
}

void CortexCore::resume()
{
    m_halted = false;
    m_hitBreakpoint = false;
    m_slowLeft = m_slowReads;
    if (!m_debugEnabled)
        return; // the application runs; nothing here models it
    uint32_t pc = 0;
    uc_reg_read(m_uc, UC_ARM_REG_PC, &pc);
    const uc_err err = uc_emu_start(m_uc, pc | 1, kNeverReached, 0, m_budget);
    if (err != UC_ERR_OK) {
        // A bus fault or an undefined instruction: the core locks up and the debugger sees it
        // halted wherever it stopped.
        m_lockup = true;
        m_halted = true;
    } else if (m_hitBreakpoint) {
        m_halted = true;
    }
    m_runUntilNs = m_nowNs + m_model.takeBusyNanoseconds();
}

void CortexCore::reset()
{
    m_lockup = false;
    m_resetSeen = true;
    m_halted = m_debugEnabled && (m_demcr & kVcCoreReset);
    const uint32_t pc = 0, sp = kRamBase + kRamSize;
    uc_reg_write(m_uc, UC_ARM_REG_PC, &pc);
    uc_reg_write(m_uc, UC_ARM_REG_SP, &sp);
}

} // namespace vprobe
