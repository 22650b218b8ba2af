// The simulated target behind the virtual CMSIS-DAP probe: a Cortex-M0 on Unicorn with the chip's
// memory map and the private peripheral bus, seen the way a MEM-AP sees it. The core runs paced
// at kClockHz against the debugger's clock (setTime), so a resumed loop keeps running while the
// host polls; it halts, steps, takes exceptions through the vector table and locks up as ARMv6-M
// defines.
#pragma once

#include "systemcontrol.h"
#include "targetbus.h"
#include "targetmodel.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct uc_struct;

namespace vprobe {

class BoardPart;

class CortexCore : public CoreLink
{
public:
    static constexpr uint32_t kRamBase = TargetBus::kRamBase;
    static constexpr uint32_t kClockHz = 16000000;
    // The most the core catches up in one access after the debugger was silent; beyond it the
    // host's idle time is dropped, so an access never stalls on seconds of emulation.
    static constexpr uint64_t kMaxCatchUpNs = 250000000;
    static constexpr uint32_t kDhcsr = 0xE000EDF0;
    static constexpr uint32_t kDcrsr = 0xE000EDF4;
    static constexpr uint32_t kDcrdr = 0xE000EDF8;
    static constexpr uint32_t kDemcr = 0xE000EDFC;
    static constexpr uint32_t kAircr = 0xE000ED0C;

    // With `part`, the QS64's flash and controller take the place of the QB48x model's blocks.
    explicit CortexCore(TargetModel &model, Qs64Flash *part = nullptr);
    // A part of a public family in place of the QB48x.
    CortexCore(TargetModel &model, BoardPart &part);
    ~CortexCore() override;
    CortexCore(const CortexCore &) = delete;
    CortexCore &operator=(const CortexCore &) = delete;

    const std::string &setupError() const { return m_setupError; }
    uint32_t ramSize() const { return m_bus.ramSize(); }

    // The MEM-AP's access: 1, 2 or 4 bytes, naturally aligned, the value right aligned; false is
    // a bus error.
    bool read(uint32_t address, unsigned size, uint32_t &value);
    bool write(uint32_t address, unsigned size, uint32_t value);
    bool read(uint32_t address, uint32_t &value) { return read(address, 4, value); }
    bool write(uint32_t address, uint32_t value) { return write(address, 4, value); }

    bool halted() const { return m_halted; }
    bool lockedUp() const { return m_lockup; }
    bool sleeping() const { return m_sleeping; }
    // After each resume, the first `reads` DHCSR reads still show the core running, as a slow
    // flash would.
    void setSlowReads(unsigned reads) { m_slowReads = reads; }
    // The debugger's time; a running core executes up to it (flash busy time stalls it).
    void setTime(uint64_t ns);
    // A register transfer through DCRSR completes only after this many further DHCSR reads, with
    // S_REGRDY clear meanwhile, as on a core clocked slower than the debug port; a transfer
    // requested (or DCRDR written) before then is lost.
    void setRegisterLatency(unsigned reads) { m_registerLatency = reads; }

    // Resets, for the probe's nRESET pin and the reset requests. While nRESET is held the core
    // neither runs nor halts; releasing it is a system reset. Either reset loads MSP and the
    // reset vector and then halts there when the debugger asked for it (DEMCR.VC_CORERESET, or
    // C_HALT set while held), otherwise runs. The core reset leaves the system registers alone.
    void setResetLine(bool asserted);
    // How long the board had been running its firmware when the debugger first touched it (at
    // most kMaxCatchUpNs); 0, the default, powers the part up at that first touch.
    void setUptimeBeforeDebugger(uint64_t ns) { m_uptimeNs = std::min(ns, kMaxCatchUpNs); }
    bool resetLine() const { return m_resetHeld; }
    void systemReset();
    void coreReset();

    // CoreLink
    uint32_t activeException() const override;
    uint32_t pcSample() const override;
    uint32_t readDebug(uint32_t address) override;
    void writeDebug(uint32_t address, uint32_t value) override;
    void requestSystemReset() override { systemReset(); }
    void clearActiveExceptions() override;

private:
    friend struct CoreHooks;
    enum class Event { None, Bkpt, Svc, ExceptionReturn, Breakpoint, Watchpoint, Fault };

    bool running() const { return !m_halted && !m_lockup && !m_resetHeld && !m_sleeping; }
    void advance(uint64_t untilNs);
    bool runSlice(uint64_t instructions); // true when an event ended it
    void open();
    void settle(bool failed, Event event, int watch);
    void halt(uint32_t dfsrBits);
    void resume();
    void step();
    void powerOn();
    void resetCore(bool system);
    void takeException(unsigned number, uint32_t returnAddress);
    void exceptionReturn(uint32_t excReturn);
    void lockup();
    void armDebugHooks();
    uint32_t reg(int id) const;
    void setReg(int id, uint32_t value);
    bool readRegister(uint32_t selector, uint32_t &value) const;
    bool writeRegister(uint32_t selector, uint32_t value);

    TargetModel &m_model;
    std::unique_ptr<SystemControl> m_scs;
    TargetBus m_bus;
    uc_struct *m_uc = nullptr;
    std::string m_setupError;
    std::vector<size_t> m_debugHooks; // uc_hook handles of breakpoints and watchpoints
    unsigned m_fpbSeen = ~0u, m_dwtSeen = ~0u;
    Event m_event = Event::None;
    int m_watchHit = -1;

    bool m_poweredOn = false;
    bool m_halted = false;
    bool m_lockup = false;
    bool m_sleeping = false;
    bool m_resetHeld = false;
    bool m_haltOnReset = false; // C_HALT written while nRESET was held
    bool m_thumb = true; // EPSR.T
    bool m_debugEnabled = false;
    bool m_step = false;
    bool m_maskInts = false;
    bool m_retired = false; // S_RETIRE_ST since the last DHCSR read
    bool m_wasReset = false; // S_RESET_ST since the last DHCSR read
    uint32_t m_dcrdr = 0;
    uint32_t m_demcr = 0;
    unsigned m_slowReads = 0;
    unsigned m_slowLeft = 0;
    uint64_t m_nowNs = 0;
    uint64_t m_uptimeNs = 0;
    uint64_t m_coreNs = 0; // how far the core has run
    uint64_t m_haltVisibleNs = 0; // a halt reached ahead of the debugger shows from then on
    unsigned m_registerLatency = 0;
    unsigned m_registerLeft = 0;
    uint32_t m_registerValue = 0; // on its way to DCRDR
};

} // namespace vprobe
