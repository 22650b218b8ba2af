// The device descriptor (FlashDevice) of a flash algorithm image: the range, page size, erased
// value, time-outs and sector table. The one reader of it, for the pack layer and the algorithm
// host alike; every field is bounded, so what it returns can be used without further checks.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

class ElfImage;

namespace pack {

struct FlmSectorRun
{
    uint32_t size; // of each sector from `offset` on
    uint32_t offset; // from the device start
};

struct FlmDescriptor
{
    // Bounds beyond which a descriptor is refused: what this host can buffer and time.
    static constexpr uint32_t kMaxPageSize = 0x1000;
    static constexpr uint32_t kMaxSectors = 0x10000; // sectors of the whole device
    static constexpr uint32_t kMaxTimeoutMs = 120000;

    QString name;
    uint32_t deviceStart = 0; // DevAdr
    uint32_t deviceSize = 0; // szDev, never past the end of the address space
    uint32_t pageSize = 0; // 4 to kMaxPageSize, a multiple of 4
    uint8_t erasedValue = 0xFF;
    uint32_t programTimeoutMs = 0; // toProg, per page: 1 to kMaxTimeoutMs
    uint32_t eraseTimeoutMs = 0; // toErase, per sector: 1 to kMaxTimeoutMs
    std::vector<FlmSectorRun> sectors; // the first at 0, ascending, each inside the device
};

// False with a reason when the image is not an ELF holding a well-formed FlashDevice.
bool readFlmDescriptor(const QByteArray &image, FlmDescriptor &out, QString &error);
bool readFlmDescriptor(const ElfImage &elf, FlmDescriptor &out, QString &error);

} // namespace pack
