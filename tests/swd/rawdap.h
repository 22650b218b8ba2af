// Raw command bytes into the virtual CMSIS-DAP firmware, for tests that check its replies byte
// for byte.
#pragma once

#include "cmsisdap/cmsisdapdevice.h"

#include <vector>

namespace rawdap {

using Bytes = std::vector<uint8_t>;

inline Bytes run(vprobe::CmsisDapDevice &d, const Bytes &command)
{
    return d.process(command.data(), command.size());
}

// Connect (SWD, or the default port with 0), line reset, JTAG-to-SWD, line reset, then debug
// power-up and a word-sized, incrementing CSW.
inline void bringUp(vprobe::CmsisDapDevice &d, uint8_t connectPort = 0x01)
{
    const Bytes ones{0x12, 51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const Bytes &c : {Bytes{0x02, connectPort}, ones, Bytes{0x12, 16, 0x9E, 0xE7}, ones,
                           Bytes{0x05, 0, 2, 0x04, 0, 0, 0, 0x50, 0x01, 0x52, 0, 0, 0x23}})
        run(d, c);
}

} // namespace rawdap
