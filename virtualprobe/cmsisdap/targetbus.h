// The simulated chip as an emulated Cortex-M0 sees it: its RAM, and the flash window and register
// blocks of the chip's model behind memory-mapped callbacks. One map for the virtual probe's core
// and the flash-algorithm test host.
#pragma once

#include "qs64flash.h"
#include "targetmodel.h"

#include <string>
#include <vector>

struct uc_struct;

class TargetBus
{
public:
    static constexpr uint32_t kRamBase = 0x20000000;
    static constexpr uint32_t kRamSize = 0x4000; // 16 KiB, as on the chip

    // With `part`, the QS64's flash and controller take the place of the QB48x model's blocks.
    explicit TargetBus(TargetModel &model, Qs64Flash *part = nullptr);
    TargetBus(const TargetBus &) = delete;
    TargetBus &operator=(const TargetBus &) = delete;

    // Maps the RAM and the model's blocks into the emulator; empty, or why not. The bus must
    // outlive the emulator: the callbacks point into it.
    std::string map(uc_struct *uc);
    // The address lies in a block of the model (not RAM).
    bool inModel(uint32_t address) const { return regionAt(address) != nullptr; }
    // A word of a model block as the debugger reads or writes it; false outside every block.
    bool read(uint32_t address, uint32_t &value) const;
    bool write(uint32_t address, uint32_t value) const;

private:
    friend struct TargetBusHooks;
    struct Region
    {
        TargetModel *model; // one of the two is set
        Qs64Flash *part;
        uint32_t base;
        uint32_t size;

        uint32_t read(uint32_t address, unsigned width) const
        {
            return part ? part->read(address, width) : model->read(address, width);
        }
        void write(uint32_t address, unsigned width, uint32_t value) const
        {
            if (part)
                part->write(address, width, value);
            else
                model->write(address, width, value);
        }
    };
    const Region *regionAt(uint32_t address) const;

    std::vector<Region> m_regions; // filled once: the callbacks point into it
};
