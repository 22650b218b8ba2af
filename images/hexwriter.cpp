// Intel HEX records written the way the reader takes them back.
#include "images/hexwriter.h"

#include <algorithm>

namespace {

void record(QByteArray &out, uint8_t type, uint16_t offset, const char *data, int length)
{
    QByteArray bytes;
    bytes.reserve(length + 4);
    bytes.append(char(length));
    bytes.append(char(offset >> 8));
    bytes.append(char(offset));
    bytes.append(char(type));
    if (length > 0)
        bytes.append(data, length);
    uint8_t sum = 0;
    for (char c : bytes)
        sum = uint8_t(sum + uint8_t(c));
    bytes.append(char(uint8_t(-sum)));
    out += ':' + bytes.toHex().toUpper() + '\n';
}

} // namespace

QByteArray intelHex(uint32_t address, const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() * 45 / 16 + 32);
    uint32_t upper = 0;
    bool upperWritten = false;
    for (int at = 0; at < bytes.size();) {
        const uint32_t here = address + uint32_t(at);
        if (!upperWritten || here >> 16 != upper) {
            upper = here >> 16;
            const char high[2] = {char(upper >> 8), char(upper)};
            record(out, 4, 0, high, 2);
            upperWritten = true;
        }
        const int toBoundary = int(0x10000 - (here & 0xFFFF));
        const int n = std::min({16, bytes.size() - at, toBoundary});
        record(out, 0, uint16_t(here), bytes.constData() + at, n);
        at += n;
    }
    record(out, 1, 0, nullptr, 0);
    return out;
}
