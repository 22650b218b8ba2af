// The device descriptor (FlashDevice) of a flash algorithm image, as the pack layer needs it:
// the range, page size, erased value and sector table a description can be checked against.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace pack {

struct FlmSectorRun
{
    uint32_t size; // of each sector from `offset` on
    uint32_t offset; // from the device start
};

struct FlmDescriptor
{
    QString name;
    uint32_t deviceStart = 0; // DevAdr
    uint32_t deviceSize = 0;
    uint32_t pageSize = 0;
    uint8_t erasedValue = 0xFF;
    std::vector<FlmSectorRun> sectors;
};

// False with a reason when the image is not an ELF holding a well-formed FlashDevice.
bool readFlmDescriptor(const QByteArray &image, FlmDescriptor &out, QString &error);

} // namespace pack
