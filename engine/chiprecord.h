// The selected chip model and the device id the last chip detect read; shared by the window's
// job record and every copy of it.
#pragma once

#include <cstdint>

struct ChipRecord
{
    int32_t model = 0; // model code sent on the wire; 0 = no chip selected
    uint32_t deviceId = 0; // read by the chip detect; 0 = none read
};
