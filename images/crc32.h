// CRC-32 of ISO-HDLC / IEEE 802.3 (zlib's CRC): reflected polynomial 0xEDB88320, initial and final
// value 0xFFFFFFFF. Used for the host-side checksum of loaded images.
#pragma once

#include <cstdint>

// Returns 0 for length 0 without reading data.
uint32_t calcCrc32(const uint8_t *data, uint32_t length);

namespace quorvel {
// Slicing-by-8 tables: row 0 is the classic byte table, row k advances a byte by k more zero
// bytes. Constant data (crc32tables.cpp).
extern const uint32_t crc32Table[8][256];
} // namespace quorvel
