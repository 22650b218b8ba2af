// A small debugger host on the Unicorn CPU emulator: loads a flash algorithm into the RAM of an
// emulated Cortex-M0 wired to a TargetModel and calls its entry points the way a probe would,
// checking after every call that the routine returned cleanly.
#pragma once

#include "elfimage.h"
#include "targetbus.h"
#include "targetmodel.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct uc_struct;

struct CallResult
{
    bool returned = false; // stopped at the return breakpoint with SP and canary intact
    uint32_t value = 0; // r0
    std::string failure; // why not, for the test log
};

class FlashHost
{
public:
    static constexpr uint32_t kRamBase = TargetBus::kRamBase;
    static constexpr uint32_t kRamSize = TargetBus::kRamSize;
    static constexpr uint32_t kReturnAddress = kRamBase; // holds a BKPT
    static constexpr uint32_t kBufferAddress = 0x20002800;
    static constexpr uint32_t kStackTop = 0x20003F00;
    static constexpr uint32_t kStackSize = 0x200;
    static constexpr uint32_t kCanarySize = 0x20;
    static constexpr uint32_t kCanaryWord = 0xC0DECAFE;
    // An r9 that faults on use: the routines must not reach for a GOT.
    static constexpr uint32_t kPoisonR9 = 0xBAD00000;

    explicit FlashHost(TargetModel &model);
    ~FlashHost();
    FlashHost(const FlashHost &) = delete;
    FlashHost &operator=(const FlashHost &) = delete;

    // Empty when the emulator came up; otherwise why not.
    const std::string &setupError() const { return m_setupError; }

    // Copies PrgCode and PrgData to base (4-byte aligned, inside RAM). False with a reason.
    bool load(const ElfImage &image, uint32_t base, std::string &error);
    void writeRam(uint32_t address, const std::vector<uint8_t> &bytes);
    std::vector<uint8_t> readRam(uint32_t address, uint32_t size);

    // Calls a global function of the loaded image with up to four arguments.
    CallResult call(const std::string &entry, const std::vector<uint32_t> &args = {});
    // Calls Thumb code at a RAM address (bit 0 ignored).
    CallResult callAt(uint32_t address, const std::vector<uint32_t> &args = {});
    void setInstructionBudget(uint64_t budget) { m_budget = budget; }

private:
    friend struct FlashHostHooks;

    bool mapMemory();
    void armCanary();
    std::string checkAfterCall(uint32_t pc, uint32_t sp);

    TargetBus m_bus;
    uc_struct *m_uc = nullptr;
    std::string m_setupError;
    std::map<std::string, uint32_t> m_entries; // global functions, as loaded
    uint32_t m_dataStart = 0; // PrgData, the only RAM outside the stack a routine may write
    uint32_t m_dataEnd = 0;
    uint64_t m_budget = 2000000;
    std::vector<std::string> m_strayWrites;
};
