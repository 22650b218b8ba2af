// Builds Intel HEX record lines for tests: the checksum is computed here so that a table can list
// records by their fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hextest {

inline std::string record(int type, uint16_t address, const std::vector<uint8_t> &data,
                          const char *lineEnd = "\n")
{
    static const char digits[] = "0123456789ABCDEF";
    std::string line = ":";
    unsigned sum = 0;
    auto put = [&](unsigned byte) {
        line += digits[byte >> 4];
        line += digits[byte & 15];
        sum += byte;
    };
    put(unsigned(data.size()));
    put(address >> 8);
    put(address & 0xFF);
    put(unsigned(type));
    for (uint8_t b : data)
        put(b);
    put((0x100 - (sum & 0xFF)) & 0xFF);
    return line + lineEnd;
}

inline std::string data(uint16_t address, const std::vector<uint8_t> &bytes)
{
    return record(0x00, address, bytes);
}

inline std::string linear(uint16_t value)
{
    return record(0x04, 0, {uint8_t(value >> 8), uint8_t(value)});
}

inline std::string segment(uint16_t value)
{
    return record(0x02, 0, {uint8_t(value >> 8), uint8_t(value)});
}

inline const std::string endOfFile = ":00000001FF\n";

// The text as a Windows editor saves it as "Unicode": UTF-16 with a byte-order mark.
inline std::string utf16(const std::string &text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text)
        bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return bytes;
}

} // namespace hextest
