// The two flash-algorithm images under test and what differs between them.
#pragma once

#include "targetmodel.h"

#include <cstdint>
#include <ostream>

struct Variant
{
    const char *name;
    const char *path;
    TargetModel::Bank bank;
    uint32_t bankCommand; // LDROM selection bit of every command
    uint32_t deviceSize;
    bool bit28WhenBootZero; // LDROM: bit 28 with boot 0; main flash: with boot 1 to 3
};

inline const Variant kMainFlash{"QB48x_Flash_AP", QUORVEL_FLM_AP, TargetModel::Bank::Aprom, 0x000,
                                0x1E000,          false};
inline const Variant kLdrom{
    "QB48x_Flash_LD", QUORVEL_FLM_LD, TargetModel::Bank::Ldrom, 0x100, 0x2000, true};

inline std::ostream &operator<<(std::ostream &os, const Variant &v)
{
    return os << v.name;
}
