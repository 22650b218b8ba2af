// Unicorn-backed Cortex-M0 with halting debug. Unicorn reports exceptions without taking them,
// so exception entry and return are done here, by the rules of ARMv6-M.
#include "cortexcore.h"

#include "parts/boardpart.h"

#include <unicorn/unicorn.h>

#include <algorithm>

namespace vprobe {

namespace {

constexpr uint32_t kVcHardErr = 0x400;
constexpr uint32_t kNeverReached = 0xFFFFFFF0;
constexpr uint32_t kThumbBit = 1u << 24;
constexpr uint32_t kLockupPc = 0xFFFFFFFE;
constexpr uint32_t kHardFault = 3, kNmi = 2, kSvCall = 11;
constexpr uint32_t kSpSel = 0x2;
constexpr uint16_t kWfi = 0xBF30;
// Unicorn's exception numbers (QEMU's EXCP_*).
constexpr uint32_t kExcpSwi = 2, kExcpBkpt = 7, kExcpExceptionExit = 8;

constexpr uint64_t kEventNs = 1000; // exception entry and return take a few cycles each
constexpr unsigned kEventsPerAdvance = 256;

uint64_t instructionsIn(uint64_t ns)
{
    return (ns * CortexCore::kClockHz + 999999999) / 1000000000;
}

} // namespace

struct CoreHooks
{
    static void interrupt(uc_engine *uc, uint32_t number, void *user)
    {
        auto *core = static_cast<CortexCore *>(user);
        using Event = CortexCore::Event;
        core->m_event = number == kExcpBkpt ? Event::Bkpt
            : number == kExcpSwi            ? Event::Svc
            : number == kExcpExceptionExit  ? Event::ExceptionReturn
                                            : Event::None;
        if (core->m_event == Event::None)
            core->m_event = Event::Fault; // anything else Unicorn raises is a fault here
        uc_emu_stop(uc);
    }
    static void fetch(uc_engine *uc, uint64_t address, uint32_t, void *user)
    {
        auto *core = static_cast<CortexCore *>(user);
        const uint32_t at = uint32_t(address);
        const int pcMatch = core->m_scs->pcMatchAt(at);
        if (core->m_scs->breakpointAt(at) || pcMatch >= 0) {
            core->m_event =
                pcMatch >= 0 ? CortexCore::Event::Watchpoint : CortexCore::Event::Breakpoint;
            core->m_watchHit = pcMatch;
            uc_emu_stop(uc);
        }
    }
    static void access(uc_engine *uc, uc_mem_type type, uint64_t address, int size, int64_t,
                       void *user)
    {
        auto *core = static_cast<CortexCore *>(user);
        const int hit =
            core->m_scs->watchpointAt(uint32_t(address), unsigned(size), type == UC_MEM_WRITE);
        if (hit >= 0) {
            core->m_event = CortexCore::Event::Watchpoint;
            core->m_watchHit = hit;
            uc_emu_stop(uc);
        }
    }
};

CortexCore::CortexCore(TargetModel &model, Qs64Flash *part)
    : m_model(model)
    , m_scs(std::make_unique<SystemControl>(
          *this, part ? SystemControl::kCpuidCortexM0Plus : SystemControl::kCpuidCortexM0,
          part != nullptr, part ? Qs64Flash::kFlashBase : 0))
    , m_bus(model, part, m_scs.get())
{
    open();
}

CortexCore::CortexCore(TargetModel &model, BoardPart &part)
    : m_model(model)
    , m_scs(std::make_unique<SystemControl>(*this, part.cpuid(), false, 0))
    , m_bus(part, m_scs.get())
{
    open();
}

void CortexCore::open()
{
    uc_err err = uc_open(UC_ARCH_ARM, uc_mode(UC_MODE_THUMB | UC_MODE_MCLASS), &m_uc);
    if (err == UC_ERR_OK)
        err = uc_ctl_set_cpu_model(m_uc, UC_CPU_ARM_CORTEX_M0);
    if (err != UC_ERR_OK) {
        m_setupError = std::string("unicorn: ") + uc_strerror(err);
        m_uc = nullptr;
        return;
    }
    m_setupError = m_bus.map(m_uc);
    uc_hook hook;
    if (m_setupError.empty()
        && uc_hook_add(m_uc, &hook, UC_HOOK_INTR, (void *)CoreHooks::interrupt, this, 1, 0)
            != UC_ERR_OK)
        m_setupError = "unicorn: cannot hook exceptions";
}

void CortexCore::powerOn()
{
    // At the first access, not at construction: the board fills its flash after building the
    // core, and the reset vector comes from what the flash then holds.
    if (m_poweredOn || !m_uc)
        return;
    m_poweredOn = true;
    resetCore(true);
    m_wasReset = false;
    if (m_uptimeNs == 0)
        return;
    // The firmware ran on its own before the probe came: that stretch is run on a clock of its
    // own, then the core's time joins the debugger's again.
    const uint64_t now = m_coreNs;
    m_coreNs = 0;
    advance(m_uptimeNs);
    m_coreNs = now;
    m_haltVisibleNs = 0;
}

CortexCore::~CortexCore()
{
    if (m_uc)
        uc_close(m_uc);
}

uint32_t CortexCore::reg(int id) const
{
    uint32_t value = 0;
    uc_reg_read(m_uc, id, &value);
    return value;
}

void CortexCore::setReg(int id, uint32_t value)
{
    uc_reg_write(m_uc, id, &value);
}

bool CortexCore::read(uint32_t address, unsigned size, uint32_t &value)
{
    powerOn();
    m_bus.setDebuggerTime(m_nowNs);
    return m_uc && m_bus.read(address, size, value);
}

bool CortexCore::write(uint32_t address, unsigned size, uint32_t value)
{
    powerOn();
    m_bus.setDebuggerTime(m_nowNs);
    return m_uc && m_bus.write(address, size, value);
}

void CortexCore::setTime(uint64_t ns)
{
    // Powered at the debugger's time, not at 0: the part starts when the board does.
    m_nowNs = std::max(m_nowNs, ns);
    powerOn();
    advance(m_nowNs);
}

void CortexCore::advance(uint64_t untilNs)
{
    if (m_coreNs + kMaxCatchUpNs < untilNs)
        m_coreNs = untilNs - kMaxCatchUpNs;
    // Unicorn does not say how far a slice got when an event (exception, breakpoint) ended it:
    // such a slice counts kEventNs and the rest runs on, up to kEventsPerAdvance of them.
    unsigned events = 0;
    while (m_uc && running() && m_coreNs < untilNs) {
        const bool early = runSlice(instructionsIn(untilNs - m_coreNs));
        const bool spent = !early || ++events >= kEventsPerAdvance;
        // The flash controller's busy time stalls the core on top.
        m_coreNs = (spent ? untilNs : std::min(untilNs, m_coreNs + kEventNs))
            + m_model.takeBusyNanoseconds() + m_bus.takeBusyNanoseconds();
        if (m_halted)
            m_haltVisibleNs = m_coreNs;
    }
    if (!running())
        m_coreNs = std::max(m_coreNs, untilNs);
}

bool CortexCore::runSlice(uint64_t instructions)
{
    armDebugHooks();
    m_bus.syncCode();
    m_event = Event::None;
    m_watchHit = -1;
    const uint32_t pc = reg(UC_ARM_REG_PC);
    const uc_err err = uc_emu_start(m_uc, pc | 1, kNeverReached, 0, instructions);
    const bool early = err != UC_ERR_OK || m_event != Event::None;
    m_retired = m_retired || !early || reg(UC_ARM_REG_PC) != pc;
    settle(err != UC_ERR_OK, m_event, m_watchHit);
    return early;
}

void CortexCore::settle(bool failed, Event event, int watch)
{
    const uint32_t pc = reg(UC_ARM_REG_PC);
    if (failed || m_bus.takeCoreFault()) {
        takeException(kHardFault, pc); // bus error, undefined instruction, bad fetch
        return;
    }
    switch (event) {
    case Event::Bkpt:
        if (m_debugEnabled)
            halt(SystemControl::kDfsrBkpt);
        else
            takeException(kHardFault, pc); // a BKPT with no debugger escalates
        return;
    case Event::Breakpoint:
        halt(SystemControl::kDfsrBkpt);
        return;
    case Event::Watchpoint:
        m_scs->setWatchpointMatched(watch);
        if (m_debugEnabled)
            halt(SystemControl::kDfsrDwtTrap);
        return;
    case Event::Fault:
        takeException(kHardFault, pc);
        return;
    case Event::Svc:
        takeException(kSvCall, pc);
        return;
    case Event::ExceptionReturn:
        exceptionReturn(pc | 1);
        return;
    case Event::None:
        break;
    }
    uint16_t last = 0;
    // WFI ends the emulation; without interrupts to wake it the core sleeps until halted.
    if (uc_mem_read(m_uc, pc - 2, &last, 2) == UC_ERR_OK && last == kWfi)
        m_sleeping = true;
}

void CortexCore::armDebugHooks()
{
    if (m_fpbSeen == m_scs->breakpointGeneration() && m_dwtSeen == m_scs->watchpointGeneration())
        return;
    m_fpbSeen = m_scs->breakpointGeneration();
    m_dwtSeen = m_scs->watchpointGeneration();
    for (size_t h : m_debugHooks)
        uc_hook_del(m_uc, uc_hook(h));
    m_debugHooks.clear();
    uc_hook h;
    for (uint32_t at : m_scs->breakpoints()) {
        if (at != 0xFFFFFFFF
            && uc_hook_add(m_uc, &h, UC_HOOK_CODE, (void *)CoreHooks::fetch, this, at, at)
                == UC_ERR_OK)
            m_debugHooks.push_back(h);
    }
    // The DWT's ranges can be wide: its hooks see every fetch or access and ask the unit.
    const unsigned functions = m_scs->watchFunctions();
    if ((functions & SystemControl::kWatchPc)
        && uc_hook_add(m_uc, &h, UC_HOOK_CODE, (void *)CoreHooks::fetch, this, 1, 0) == UC_ERR_OK)
        m_debugHooks.push_back(h);
    if ((functions & SystemControl::kWatchData)
        && uc_hook_add(m_uc, &h, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, (void *)CoreHooks::access,
                       this, 1, 0)
            == UC_ERR_OK)
        m_debugHooks.push_back(h);
}

void CortexCore::halt(uint32_t dfsrBits)
{
    m_halted = true;
    m_lockup = m_sleeping = false; // debug state ends a lockup and a sleep
    m_scs->setDebugEvent(dfsrBits);
}

void CortexCore::resume()
{
    m_halted = false;
    m_slowLeft = m_slowReads;
    m_coreNs = std::max(m_coreNs, m_nowNs);
    if (!m_thumb)
        takeException(kHardFault, reg(UC_ARM_REG_PC)); // INVSTATE: EPSR.T cleared by the debugger
}

void CortexCore::step()
{
    m_halted = false;
    runSlice(1);
    if (running())
        halt(SystemControl::kDfsrHalted);
}

void CortexCore::lockup()
{
    // The core stops fetching; only a reset or a debug halt gets it back.
    m_lockup = true;
    setReg(UC_ARM_REG_PC, kLockupPc);
}

void CortexCore::takeException(unsigned number, uint32_t returnAddress)
{
    const uint32_t active = reg(UC_ARM_REG_IPSR) & 0x1FF;
    if (number == kHardFault && (active == kHardFault || active == kNmi)) {
        lockup();
        return;
    }
    const uint32_t control = reg(UC_ARM_REG_CONTROL);
    const bool psp = active == 0 && (control & kSpSel);
    const uint32_t sp = reg(psp ? UC_ARM_REG_PSP : UC_ARM_REG_MSP);
    const uint32_t frame = (sp - 32) & ~7u;
    const uint32_t xpsr = (reg(UC_ARM_REG_XPSR) & 0xF00001FF) | (m_thumb ? kThumbBit : 0)
        | ((sp & 4) ? 0x200 : 0); // bit 9: the frame was realigned
    const uint32_t words[8] = {
        reg(UC_ARM_REG_R0),  reg(UC_ARM_REG_R1), reg(UC_ARM_REG_R2),  reg(UC_ARM_REG_R3),
        reg(UC_ARM_REG_R12), reg(UC_ARM_REG_LR), returnAddress & ~1u, xpsr};
    bool ok = true;
    for (unsigned i = 0; i < 8; ++i)
        ok = ok && m_bus.write(frame + 4 * i, 4, words[i]);
    uint32_t vector = 0;
    ok = ok && m_bus.read(m_scs->vectorTable() + 4 * number, 4, vector) && (vector & 1);
    if (!ok) {
        // A fault while stacking or fetching the vector: escalated, and in HardFault a lockup.
        if (number == kHardFault)
            lockup();
        else
            takeException(kHardFault, returnAddress);
        return;
    }
    setReg(psp ? UC_ARM_REG_PSP : UC_ARM_REG_MSP, frame);
    if (psp)
        setReg(UC_ARM_REG_CONTROL, control & ~kSpSel); // handlers run on the main stack
    setReg(UC_ARM_REG_IPSR, number);
    setReg(UC_ARM_REG_LR, active ? 0xFFFFFFF1 : psp ? 0xFFFFFFFD : 0xFFFFFFF9);
    setReg(UC_ARM_REG_PC, vector & ~1u);
    m_thumb = true;
    if (number == kHardFault && m_debugEnabled && (m_demcr & kVcHardErr))
        halt(SystemControl::kDfsrVcatch);
}

void CortexCore::exceptionReturn(uint32_t excReturn)
{
    const bool toThread = excReturn == 0xFFFFFFF9 || excReturn == 0xFFFFFFFD;
    if (!toThread && excReturn != 0xFFFFFFF1) {
        takeException(kHardFault, excReturn); // an EXC_RETURN ARMv6-M does not define
        return;
    }
    const bool psp = excReturn == 0xFFFFFFFD;
    const uint32_t frame = reg(psp ? UC_ARM_REG_PSP : UC_ARM_REG_MSP);
    uint32_t words[8] = {};
    for (unsigned i = 0; i < 8; ++i) {
        if (!m_bus.read(frame + 4 * i, 4, words[i])) {
            takeException(kHardFault, excReturn);
            return;
        }
    }
    const uint32_t xpsr = words[7];
    const uint32_t sp = frame + 32 + ((xpsr & 0x200) ? 4 : 0);
    setReg(psp ? UC_ARM_REG_PSP : UC_ARM_REG_MSP, sp);
    setReg(UC_ARM_REG_IPSR, toThread ? 0 : xpsr & 0x3F);
    if (psp)
        setReg(UC_ARM_REG_CONTROL, reg(UC_ARM_REG_CONTROL) | kSpSel);
    const int restored[] = {UC_ARM_REG_R0, UC_ARM_REG_R1,  UC_ARM_REG_R2,
                            UC_ARM_REG_R3, UC_ARM_REG_R12, UC_ARM_REG_LR};
    for (unsigned i = 0; i < 6; ++i)
        setReg(restored[i], words[i]);
    setReg(UC_ARM_REG_XPSR_NZCVQ, xpsr & 0xF8000000);
    setReg(UC_ARM_REG_PC, words[6] & ~1u);
    m_thumb = xpsr & kThumbBit;
}

} // namespace vprobe

#if defined(__SANITIZE_ADDRESS__)
// Unicorn 2.0's translation cache keeps a page's code bitmap past uc_close once code was written
// over translated code; every program that runs the emulated core would report it.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:tb_invalidate_phys_page_fast_arm\n";
}
#endif
