// The core's debug registers: DHCSR with its sticky status bits, the DCRSR/DCRDR register
// transfer with the ARMv6-M register numbers, DEMCR's vector catch, and the resets.
#include "cortexcore.h"

#include "parts/boardpart.h"

#include <unicorn/unicorn.h>

namespace vprobe {

namespace {

constexpr uint32_t kDbgKey = 0xA05F0000;
constexpr uint32_t kCDebugEn = 0x1, kCHalt = 0x2, kCStep = 0x4, kCMaskInts = 0x8;
constexpr uint32_t kSRegRdy = 1u << 16, kSHalt = 1u << 17, kSSleep = 1u << 18, kSLockup = 1u << 19,
                   kSRetire = 1u << 24, kSReset = 1u << 25;
constexpr uint32_t kRegWrite = 1u << 16;
constexpr uint32_t kThumbBit = 1u << 24;
constexpr uint32_t kSpSel = 0x2;
constexpr uint32_t kVcCoreReset = 0x1;
constexpr uint32_t kHardFault = 3;

const int kCoreRegisters[] = {UC_ARM_REG_R0,  UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,
                              UC_ARM_REG_R4,  UC_ARM_REG_R5, UC_ARM_REG_R6,  UC_ARM_REG_R7,
                              UC_ARM_REG_R8,  UC_ARM_REG_R9, UC_ARM_REG_R10, UC_ARM_REG_R11,
                              UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR};

} // namespace

bool CortexCore::readRegister(uint32_t selector, uint32_t &value) const
{
    if (selector < 15)
        value = reg(kCoreRegisters[selector]);
    else if (selector == 15)
        value = reg(UC_ARM_REG_PC);
    else if (selector == 16)
        value = (reg(UC_ARM_REG_XPSR) & 0xF00001FF) | (m_thumb ? kThumbBit : 0);
    else if (selector == 17)
        value = reg(UC_ARM_REG_MSP);
    else if (selector == 18)
        value = reg(UC_ARM_REG_PSP);
    else if (selector == 20)
        value = (reg(UC_ARM_REG_CONTROL) & kSpSel) << 24 | (reg(UC_ARM_REG_PRIMASK) & 1);
    else
        return false;
    return true;
}

bool CortexCore::writeRegister(uint32_t selector, uint32_t value)
{
    if (selector < 15) {
        setReg(kCoreRegisters[selector], selector == 13 ? value & ~3u : value);
    } else if (selector == 15) {
        setReg(UC_ARM_REG_PC, value & ~1u);
    } else if (selector == 16) {
        setReg(UC_ARM_REG_XPSR_NZCVQ, value & 0xF8000000);
        setReg(UC_ARM_REG_IPSR, value & 0x1FF);
        m_thumb = value & kThumbBit;
    } else if (selector == 17 || selector == 18) {
        setReg(selector == 17 ? UC_ARM_REG_MSP : UC_ARM_REG_PSP, value & ~3u);
    } else if (selector == 20) {
        setReg(UC_ARM_REG_PRIMASK, value & 1);
        setReg(UC_ARM_REG_CONTROL, (value >> 24) & kSpSel);
    } else {
        return false;
    }
    return true;
}

uint32_t CortexCore::readDebug(uint32_t address)
{
    switch (address) {
    case kDhcsr: {
        const uint32_t control = (m_debugEnabled ? kCDebugEn : 0) | (m_step ? kCStep : 0)
            | (m_maskInts ? kCMaskInts : 0);
        const uint32_t sticky = (m_retired ? kSRetire : 0) | (m_wasReset ? kSReset : 0);
        m_retired = m_wasReset = false;
        if (m_slowLeft > 0 || (m_halted && m_nowNs < m_haltVisibleNs)) {
            m_slowLeft -= m_slowLeft > 0;
            return control | sticky | kSRetire;
        }
        const bool ready = m_registerLeft == 0;
        if (m_registerLeft > 0 && --m_registerLeft == 0)
            m_dcrdr = m_registerValue;
        return control | sticky | (m_halted ? kSHalt | kCHalt : 0)
            | (m_halted && ready ? kSRegRdy : 0) | (m_lockup ? kSLockup : 0)
            | (m_sleeping && !m_halted ? kSSleep : 0);
    }
    case kDcrdr:
        return m_dcrdr;
    case kDemcr:
        return m_demcr;
    default:
        return 0; // DCRSR is write-only
    }
}

void CortexCore::writeDebug(uint32_t address, uint32_t value)
{
    switch (address) {
    case kDhcsr:
        if ((value & 0xFFFF0000) != kDbgKey)
            return; // ignored without the key, as the hardware does
        m_debugEnabled = value & kCDebugEn;
        m_step = m_debugEnabled && (value & kCStep);
        m_maskInts = m_debugEnabled && (value & kCMaskInts);
        if (!m_debugEnabled) {
            if (m_halted)
                resume();
        } else if (value & kCHalt) {
            if (m_resetHeld)
                m_haltOnReset = true;
            else if (!m_halted)
                halt(SystemControl::kDfsrHalted);
        } else if (m_halted) {
            if (m_step)
                step();
            else
                resume();
        }
        break;
    case kDcrsr: {
        // Only a halted core transfers registers; otherwise the request is lost.
        const uint32_t selector = value & 0x7F;
        if (!m_halted || m_registerLeft > 0)
            return; // a request while the last one is under way is lost too
        if (value & kRegWrite) {
            if (writeRegister(selector, m_dcrdr)) {
                m_registerValue = m_dcrdr;
                m_registerLeft = m_registerLatency;
            }
            break;
        }
        if (!readRegister(selector, m_registerValue))
            return;
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
        m_demcr = value & 0x01000401; // TRCENA, VC_HARDERR, VC_CORERESET
        break;
    default:
        break;
    }
}

void CortexCore::clearActiveExceptions()
{
    if (m_halted)
        setReg(UC_ARM_REG_IPSR, 0);
}

uint32_t CortexCore::activeException() const
{
    return reg(UC_ARM_REG_IPSR) & 0x1FF;
}

uint32_t CortexCore::pcSample() const
{
    return m_halted || m_lockup ? 0xFFFFFFFF : reg(UC_ARM_REG_PC);
}

void CortexCore::resetCore(bool system)
{
    if (system)
        m_scs->reset();
    if (system && m_part)
        m_part->systemReset();
    m_lockup = m_sleeping = m_halted = false;
    m_wasReset = true;
    // Thread mode on the main stack, interrupts enabled; CONTROL first while still in thread mode.
    setReg(UC_ARM_REG_IPSR, 0);
    setReg(UC_ARM_REG_CONTROL, 0);
    setReg(UC_ARM_REG_PRIMASK, 0);
    setReg(UC_ARM_REG_LR, 0xFFFFFFFF);
    const uint32_t table = m_scs->vectorTable();
    uint32_t sp = 0, pc = 0;
    setReg(UC_ARM_REG_XPSR_NZCVQ, 0);
    if (!m_bus.read(table, 4, sp) || !m_bus.read(table + 4, 4, pc)) {
        lockup();
        return;
    }
    setReg(UC_ARM_REG_MSP, sp & ~3u);
    setReg(UC_ARM_REG_PC, pc & ~1u);
    m_thumb = pc & 1;
    m_coreNs = std::max(m_coreNs, m_nowNs);
    if (m_debugEnabled && ((m_demcr & kVcCoreReset) || m_haltOnReset))
        halt(m_haltOnReset ? SystemControl::kDfsrHalted : SystemControl::kDfsrVcatch);
    else if (!m_thumb)
        takeException(kHardFault, pc);
    m_haltOnReset = false;
}

void CortexCore::setResetLine(bool asserted)
{
    powerOn();
    if (m_resetHeld && !asserted) {
        m_resetHeld = false;
        resetCore(true);
    } else if (asserted) {
        m_resetHeld = true;
        m_halted = m_lockup = m_sleeping = false;
        m_wasReset = true;
    }
}

void CortexCore::systemReset()
{
    m_poweredOn = true;
    if (!m_resetHeld)
        resetCore(true);
}

void CortexCore::coreReset()
{
    m_poweredOn = true;
    if (!m_resetHeld)
        resetCore(false);
}

} // namespace vprobe
