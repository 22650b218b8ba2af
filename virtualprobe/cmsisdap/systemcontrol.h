// The private peripheral bus of an ARMv6-M core: the ROM table, the DWT with two comparators, the
// breakpoint unit with four, and the system control space (SysTick, NVIC, system control block,
// debug registers). Component and peripheral ID registers as the ARMv6-M debug architecture
// lists them, so a debugger finds each unit by walking the ROM table. Read-only registers ignore
// writes; addresses outside the four units, and sub-word accesses, are bus errors.
#pragma once

#include "targetbus.h"

#include <array>
#include <cstdint>

namespace vprobe {

// What the system control space needs from the core it belongs to.
class CoreLink
{
public:
    virtual ~CoreLink() = default;
    virtual uint32_t activeException() const = 0; // IPSR
    virtual uint32_t pcSample() const = 0; // 0xFFFFFFFF while halted
    // DHCSR, DCRSR, DCRDR, DEMCR belong to the core's debug logic.
    virtual uint32_t readDebug(uint32_t address) = 0;
    virtual void writeDebug(uint32_t address, uint32_t value) = 0;
    virtual void requestSystemReset() = 0;
    // AIRCR.VECTCLRACTIVE: honoured only while halted.
    virtual void clearActiveExceptions() = 0;
};

class SystemControl : public BusDevice
{
public:
    static constexpr uint32_t kCpuidCortexM0 = 0x410CC200; // r0p0
    static constexpr uint32_t kCpuidCortexM0Plus = 0x410CC601; // r0p1, with VTOR

    static constexpr uint32_t kDwtBase = 0xE0001000;
    static constexpr uint32_t kFpbBase = 0xE0002000;
    static constexpr uint32_t kScsBase = 0xE000E000;
    static constexpr uint32_t kRomTable = 0xE00FF000;
    static constexpr uint32_t kCpuid = 0xE000ED00;
    static constexpr uint32_t kIcsr = 0xE000ED04;
    static constexpr uint32_t kVtor = 0xE000ED08;
    static constexpr uint32_t kAircr = 0xE000ED0C;
    static constexpr uint32_t kDfsr = 0xE000ED30;
    static constexpr uint32_t kDhcsr = 0xE000EDF0;
    static constexpr uint32_t kDemcr = 0xE000EDFC;

    static constexpr uint32_t kDfsrHalted = 0x1, kDfsrBkpt = 0x2, kDfsrDwtTrap = 0x4,
                              kDfsrVcatch = 0x8, kDfsrExternal = 0x10;
    static constexpr unsigned kFpbComparators = 4;
    static constexpr unsigned kDwtComparators = 2;

    // `vtorReset` is where the vector table starts after a reset; a part without VTOR reads the
    // register as zero and always takes its vectors from 0.
    SystemControl(CoreLink &core, uint32_t cpuid, bool hasVtor, uint32_t vtorReset);

    bool read(uint32_t address, unsigned size, uint32_t &value) override;
    bool write(uint32_t address, unsigned size, uint32_t value) override;

    // A system reset: every register but the debug ones (DFSR, DHCSR, DEMCR, the FPB and DWT
    // set-up survive it, as on the silicon).
    void reset();
    uint32_t vectorTable() const { return m_hasVtor ? m_vtor : 0; }
    void setDebugEvent(uint32_t dfsrBits) { m_dfsr |= dfsrBits; }

    // Breakpoint unit: whether an instruction fetch at `address` matches an enabled comparator.
    bool breakpointAt(uint32_t address) const;
    // Addresses of the enabled breakpoints, for the core's fetch hooks; bumped on every change.
    unsigned breakpointGeneration() const { return m_fpbGeneration; }
    std::array<uint32_t, kFpbComparators> breakpoints() const;
    // DWT: the comparator (0 or 1) a data access matches, or -1; instruction matches too.
    int watchpointAt(uint32_t address, unsigned size, bool write) const;
    int pcMatchAt(uint32_t address) const;
    // Which kinds of DWT match are armed.
    static constexpr unsigned kWatchPc = 1, kWatchData = 2;
    unsigned watchFunctions() const;
    void setWatchpointMatched(int comparator);
    unsigned watchpointGeneration() const { return m_dwtGeneration; }

private:
    bool readScs(uint32_t address, uint32_t &value);
    bool writeScs(uint32_t address, uint32_t value);
    bool readDwt(uint32_t offset, uint32_t &value);
    bool writeDwt(uint32_t offset, uint32_t value);
    bool readFpb(uint32_t offset, uint32_t &value) const;
    bool writeFpb(uint32_t offset, uint32_t value);
    bool dwtRange(int comparator, uint32_t &low, uint32_t &high) const;

    CoreLink &m_core;
    const uint32_t m_cpuid;
    const bool m_hasVtor;
    const uint32_t m_vtorReset;
    uint32_t m_vtor = 0;
    uint32_t m_dfsr = 0;
    uint32_t m_scr = 0;
    uint32_t m_shpr2 = 0, m_shpr3 = 0;
    uint32_t m_shcsr = 0;
    uint32_t m_pendSv = 0, m_pendSt = 0, m_nmiPending = 0;
    uint32_t m_systCsr = 0, m_systRvr = 0, m_systCvr = 0;
    uint32_t m_nvicEnabled = 0, m_nvicPending = 0;
    std::array<uint32_t, 8> m_nvicPriority{};
    bool m_fpbEnabled = false;
    std::array<uint32_t, kFpbComparators> m_fpComp{};
    unsigned m_fpbGeneration = 0;
    struct Comparator
    {
        uint32_t comp = 0, mask = 0, function = 0;
        bool matched = false;
    };
    std::array<Comparator, kDwtComparators> m_dwt{};
    unsigned m_dwtGeneration = 0;
};

} // namespace vprobe
