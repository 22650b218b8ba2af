// libFuzzer target: a host sends the virtual CMSIS-DAP probe arbitrary packets (each a length
// byte and that many bytes) after bringing the debug port up; no reply may overrun a packet.
#include "virtualprobe/cmsisdap/cmsisdapdevice.h"

#include <cstdio>

namespace {

vprobe::CmsisDapDevice &device()
{
    static vprobe::CmsisDapDevice d;
    return d;
}

void send(const std::vector<uint8_t> &packet)
{
    const std::vector<uint8_t> reply = device().process(packet.data(), packet.size());
    if (reply.size() > 64) {
        std::fprintf(stderr, "reply of %zu bytes to command 0x%02X\n", reply.size(), packet[0]);
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> ones{0x12, 51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const std::vector<uint8_t> &c :
         {std::vector<uint8_t>{0x02, 0x01}, ones, std::vector<uint8_t>{0x12, 16, 0x9E, 0xE7}, ones,
          std::vector<uint8_t>{0x05, 0, 2, 0x04, 0, 0, 0, 0x50, 0x01, 0x52, 0, 0, 0x23}})
        send(c);
    for (size_t at = 0; at < size;) {
        const size_t n = std::min<size_t>(data[at], size - at - 1);
        if (n > 0)
            send(std::vector<uint8_t>(data + at + 1, data + at + 1 + n));
        at += 1 + n;
    }
    return 0;
}
