// The simulated target behind the virtual CMSIS-DAP probe: a Cortex-M0 on Unicorn with RAM, the
// QB48x flash controller model (or the QS64's) and the core debug registers, seen the way a MEM-AP
// sees them.
#pragma once

#include "targetbus.h"
#include "targetmodel.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct uc_struct;

namespace vprobe {

class CortexCore
{
public:
    static constexpr uint32_t kRamBase = TargetBus::kRamBase;
    static constexpr uint32_t kRamSize = TargetBus::kRamSize;
    static constexpr uint32_t kDhcsr = 0xE000EDF0;
    static constexpr uint32_t kDcrsr = 0xE000EDF4;
    static constexpr uint32_t kDcrdr = 0xE000EDF8;
    static constexpr uint32_t kDemcr = 0xE000EDFC;
    static constexpr uint32_t kAircr = 0xE000ED0C;

    // With `part`, the QS64's flash and controller take the place of the QB48x model's windows.
    explicit CortexCore(TargetModel &model, Qs64Flash *part = nullptr);
    ~CortexCore();
    CortexCore(const CortexCore &) = delete;
    CortexCore &operator=(const CortexCore &) = delete;

    const std::string &setupError() const { return m_setupError; }

    // Word access from the debug port; false is a bus error.
    bool read(uint32_t address, uint32_t &value);
    bool write(uint32_t address, uint32_t value);

    bool halted() const { return m_halted; }
    // Instructions one resume may run before the core counts as running for ever.
    void setBudget(uint64_t instructions) { m_budget = instructions; }
    // After each resume, the first `reads` DHCSR reads still show the core running, as a slow
    // flash would.
    void setSlowReads(unsigned reads) { m_slowReads = reads; }
    // The debugger's time: after a resume the core shows running until the flash controller's
    // busy time has passed.
    void setTime(uint64_t ns) { m_nowNs = ns; }
    // A register transfer through DCRSR completes only after this many further DHCSR reads, with
    // S_REGRDY clear meanwhile, as on a core clocked slower than the debug port; a transfer
    // requested (or DCRDR written) before then is lost.
    void setRegisterLatency(unsigned reads) { m_registerLatency = reads; }

private:
    friend struct CoreHooks;

    uint32_t readDebug(uint32_t address);
    void writeDebug(uint32_t address, uint32_t value);
    void resume();
    void reset();
    int ucRegister(uint32_t selector) const;

    TargetModel &m_model;
    TargetBus m_bus;
    uc_struct *m_uc = nullptr;
    std::string m_setupError;
    bool m_halted = false;
    bool m_debugEnabled = false;
    bool m_hitBreakpoint = false;
    bool m_lockup = false;
    bool m_resetSeen = false; // DHCSR S_RESET_ST: set by a reset, cleared by reading it
    uint32_t m_dcrdr = 0;
    uint32_t m_demcr = 0;
    uint64_t m_budget = 2000000;
    unsigned m_slowReads = 0;
    unsigned m_slowLeft = 0;
    uint64_t m_nowNs = 0;
    uint64_t m_runUntilNs = 0;
    unsigned m_registerLatency = 0;
    unsigned m_registerLeft = 0;
    uint32_t m_registerValue = 0; // on its way to DCRDR
};

} // namespace vprobe
