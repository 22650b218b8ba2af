// A flash algorithm file as this host runs it: the code and data to copy into target RAM, the
// offsets of its routines, and the device descriptor (geometry, page size, time-outs).
#pragma once

#include "pack/flmdescriptor.h"

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class ElfImage;

using FlashSectorRun = pack::FlmSectorRun;

class FlashAlgorithm
{
public:
    static constexpr uint32_t kMaxBlob = 0x1F80;

    // Nothing, with a reason, when the file is missing, malformed or lacks a routine.
    static std::optional<FlashAlgorithm> load(const QString &path, QString &error);
    // The same from an image's bytes (a pack's member); `name` only names it in messages.
    static std::optional<FlashAlgorithm> parse(const std::vector<uint8_t> &bytes,
                                               const QString &name, QString &error);

    // PrgCode, then PrgData (RW data and zero-initialised data) at their distance from it.
    const std::vector<uint8_t> &blob() const { return m_blob; }
    uint32_t dataOffset() const { return m_dataOffset; } // the static base (R9) in the blob
    // Offset of a routine in the blob; nothing when the image has no such function.
    std::optional<uint32_t> entry(const std::string &name) const;

    const QString &deviceName() const { return m_name; }
    uint32_t deviceStart() const { return m_deviceStart; }
    uint32_t deviceSize() const { return m_deviceSize; }
    uint32_t pageSize() const { return m_pageSize; }
    uint8_t erasedValue() const { return m_erased; }
    uint32_t programTimeoutMs() const { return m_programTimeout; }
    uint32_t eraseTimeoutMs() const { return m_eraseTimeout; }
    const std::vector<FlashSectorRun> &sectors() const { return m_sectors; }
    // Size of the sector that starts at, or holds, `offset`.
    uint32_t sectorSizeAt(uint32_t offset) const;
    // Start offsets of the sectors that hold any of [offset, offset + length).
    std::vector<uint32_t> sectorsCovering(uint32_t offset, uint32_t length) const;

private:
    static std::optional<FlashAlgorithm> fromImage(const ElfImage &image, const QString &path,
                                                   QString &error);

    std::vector<uint8_t> m_blob;
    uint32_t m_dataOffset = 0;
    std::map<std::string, uint32_t> m_entries;
    QString m_name;
    uint32_t m_deviceStart = 0;
    uint32_t m_deviceSize = 0;
    uint32_t m_pageSize = 0;
    uint8_t m_erased = 0xFF;
    uint32_t m_programTimeout = 0;
    uint32_t m_eraseTimeout = 0;
    std::vector<FlashSectorRun> m_sectors;
};
