// A range read from a chip, saved as the file's extension asks: raw bytes (.bin) or Intel HEX
// records at the range's address (.hex).
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

enum class ReadOutFormat { None, Bin, Hex };

ReadOutFormat readOutFormat(const QString &file);
// Writes the file whole or not at all; false when it cannot be written (or has no known format).
bool writeReadOut(const QString &file, uint32_t address, const QByteArray &bytes);
