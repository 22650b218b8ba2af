// Byte-level helpers of the emulated firmware: little-endian fields and the two byte-sum checksums
// that vendor reports carry. Reports are indexed as the host lays them out (byte 0 = report id).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vprobe {

constexpr size_t outReportSize = 65; // report id + 64 bytes on the wire
constexpr size_t inReportSize = 64;

using OutReport = std::array<uint8_t, outReportSize>;
using Reply = std::vector<uint8_t>;

namespace wire {

inline uint16_t le16(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

inline uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void putLe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

inline uint32_t byteSum(const uint8_t *p, size_t n)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += p[i];
    return sum;
}

// Standard form: bytes 1..60 summed into a little-endian word at 61..64.
inline bool standardChecksumOk(const OutReport &r)
{
    return byteSum(&r[1], 60) == le32(&r[61]);
}

// Data-block form: bytes 1..62 summed, low half-word at 63..64, and 61..62 left zero.
inline bool blockChecksumOk(const OutReport &r)
{
    return r[61] == 0 && r[62] == 0 && uint16_t(byteSum(&r[1], 62)) == le16(&r[63]);
}

inline bool allZero(const OutReport &r, size_t from, size_t to) // inclusive range
{
    for (size_t i = from; i <= to && i < r.size(); ++i) {
        if (r[i] != 0)
            return false;
    }
    return true;
}

} // namespace wire
} // namespace vprobe
