// CRC-32 of a byte range (slicing-by-8, same results as the one-byte-per-step table loop) and the
// per-slot checksums of the loaded images.
#include "crc32.h"

#include "engine/download.h"

using quorvel::crc32Table;

namespace {

inline uint32_t readLe32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

uint32_t calcCrc32(const uint8_t *data, uint32_t length)
{
    if (length == 0)
        return 0;
    uint32_t crc = 0xFFFFFFFFu;
    const uint8_t *p = data;
    // Eight bytes per step: the register is folded into the first word, and each byte's table
    // already accounts for the bytes that follow it within the step.
    for (; length >= 8; length -= 8, p += 8) {
        const uint32_t lo = readLe32(p) ^ crc;
        const uint32_t hi = readLe32(p + 4);
        crc = crc32Table[7][lo & 0xFF] ^ crc32Table[6][(lo >> 8) & 0xFF]
            ^ crc32Table[5][(lo >> 16) & 0xFF] ^ crc32Table[4][lo >> 24] ^ crc32Table[3][hi & 0xFF]
            ^ crc32Table[2][(hi >> 8) & 0xFF] ^ crc32Table[1][(hi >> 16) & 0xFF]
            ^ crc32Table[0][hi >> 24];
    }
    for (; length > 0; --length, ++p)
        crc = (crc >> 8) ^ crc32Table[0][(crc ^ *p) & 0xFF];
    return crc ^ 0xFFFFFFFFu;
}

int Download::calcFileCrc32()
{
    const int count = fileCount < maxFiles ? fileCount : maxFiles;
    for (int i = 0; i < count; ++i)
        fileCrc[i] = imageData[i] ? calcCrc32(imageData[i], imageLength[i]) : 0;
    return 0;
}
