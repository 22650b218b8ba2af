// The simulated chip as an emulated Cortex-M0 and a MEM-AP see it: RAM, and the chip's blocks
// (flash windows, controllers, the private peripheral bus) behind memory-mapped callbacks. One map
// for the virtual probe's core and the flash-algorithm test host.
#pragma once

#include "qs64flash.h"
#include "targetmodel.h"

#include <memory>
#include <string>
#include <vector>

struct uc_struct;

namespace vprobe {
class BoardPart;
}

// A block of the map. Addresses are absolute, size is 1, 2 or 4 bytes and the value is right
// aligned; false is a bus error (the MEM-AP answers FAULT, the core takes a HardFault).
class BusDevice
{
public:
    virtual ~BusDevice() = default;
    virtual bool read(uint32_t address, unsigned size, uint32_t &value) = 0;
    virtual bool write(uint32_t address, unsigned size, uint32_t value) = 0;
};

class TargetBus
{
public:
    static constexpr uint32_t kRamBase = 0x20000000;
    static constexpr uint32_t kRamSize = 0x4000; // the QB48x's 16 KiB
    static constexpr uint32_t kLdromAlias = 0x10000000;

    // The QB48x's blocks, its system control page included (the algorithm host's view); with
    // `part`, the QS64's flash and controller and its 8 KiB of RAM instead.
    explicit TargetBus(TargetModel &model, Qs64Flash *part = nullptr);
    // The same chips without the system control page, which `scs` (mapped over the private
    // peripheral bus, 0xE0000000-0xE00FFFFF) answers instead.
    TargetBus(TargetModel &model, Qs64Flash *part, BusDevice *scs);
    // A part of a public family: its own blocks and RAM, `scs` over the private peripheral bus.
    TargetBus(vprobe::BoardPart &part, BusDevice *scs);
    ~TargetBus();
    TargetBus(const TargetBus &) = delete;
    TargetBus &operator=(const TargetBus &) = delete;

    uint32_t ramSize() const { return m_ramSize; }
    // Maps the RAM and the blocks into the emulator; empty, or why not. The bus must outlive the
    // emulator: the callbacks point into it.
    std::string map(uc_struct *uc);

    // The debugger's access (RAM included once mapped); false is a bus error, alignment too.
    bool read(uint32_t address, unsigned size, uint32_t &value) const;
    bool write(uint32_t address, unsigned size, uint32_t value) const;
    bool read(uint32_t address, uint32_t &value) const { return read(address, 4, value); }
    bool write(uint32_t address, uint32_t value) const { return write(address, 4, value); }

    // Whether a block refused one of the core's own accesses since the last call.
    bool takeCoreFault();
    // Brings the emulator's copy of the flash up to date with the chip, for instruction fetches;
    // the core calls it before it runs.
    void syncCode();
    // The part's flash busy time the core's own accesses cost since the last call.
    uint64_t takeBusyNanoseconds();
    // The debugger's accesses that follow happen at `ns` (the part's controller times with it).
    void setDebuggerTime(uint64_t ns) { m_debuggerNs = ns; }

private:
    friend struct TargetBusHooks;
    struct Region
    {
        TargetBus *bus;
        BusDevice *device;
        uint32_t base;
        uint32_t size;
        // Code can run from it: plain emulator memory kept equal to these bytes, its data
        // accesses still go to the device. Unicorn cannot fetch from callbacks.
        const std::vector<uint8_t> *code;
        std::vector<uint8_t> copy;
        bool dirty;
    };
    void add(uint32_t base, uint32_t size, BusDevice *device,
             const std::vector<uint8_t> *code = nullptr);
    const Region *regionAt(uint32_t address) const;

    std::vector<std::unique_ptr<BusDevice>> m_owned;
    std::vector<Region> m_regions; // filled once: the callbacks point into it
    uint32_t m_ramSize = kRamSize;
    uc_struct *m_uc = nullptr;
    bool m_coreFault = false;
    vprobe::BoardPart *m_part = nullptr;
    uint64_t m_debuggerNs = 0;
};
