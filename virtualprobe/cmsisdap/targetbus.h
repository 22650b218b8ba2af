// The simulated QB48x as an emulated Cortex-M0 sees it: its RAM, and the flash window and the three
// register blocks of the target model behind memory-mapped callbacks. One map for the virtual
// probe's core and the flash-algorithm test host.
#pragma once

#include "targetmodel.h"

#include <string>

struct uc_struct;

class TargetBus
{
public:
    static constexpr uint32_t kRamBase = 0x20000000;
    static constexpr uint32_t kRamSize = 0x4000; // 16 KiB, as on the chip

    explicit TargetBus(TargetModel &model);
    TargetBus(const TargetBus &) = delete;
    TargetBus &operator=(const TargetBus &) = delete;

    // Maps the RAM and the model's blocks into the emulator; empty, or why not. The bus must
    // outlive the emulator: the callbacks point into it.
    std::string map(uc_struct *uc);
    // The address lies in a block of the model (not RAM).
    bool inModel(uint32_t address) const;

private:
    friend struct TargetBusHooks;
    struct Region
    {
        TargetModel *model;
        uint32_t base;
        uint32_t size;
    };

    Region m_regions[4];
};
