// Intel HEX text of a block of bytes, for read-outs saved as .hex.
#pragma once

#include <QByteArray>
#include <cstdint>

// `bytes` placed at `address`: an extended linear address record (type 04) wherever the upper
// 16 bits change, data records of 16 bytes that never cross a 64 KiB boundary, and the end
// record. Upper-case hex, one record a line, lines ended by "\n". The range must end at or
// below 4 GiB.
QByteArray intelHex(uint32_t address, const QByteArray &bytes);
