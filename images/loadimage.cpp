// Loads a program file (Intel HEX or raw BIN, chosen by suffix) into the image buffer of a slot.
// A failed load leaves the slot's earlier image as it was.
#include "engine/download.h"
#include "images/hexfilereader.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <memory>

namespace {

// 0 loaded; 1 the HEX file cannot be opened or is not valid.
int loadHex(const QString &path, uint8_t *slot, uint32_t &slotLength)
{
    HexFileReader reader;
    if (reader.readFile(path) != 0)
        return 1;
    std::memcpy(slot, reader.image(), size_t(reader.length));
    slotLength = uint32_t(reader.length);
    return 0;
}

// 0 loaded; 2 cannot open; 3 fewer bytes than the file's size can be read into the slot, either
// because the read comes up short or because the file is larger than the 4 MiB buffer.
int loadBin(const QString &path, qint64 size, uint8_t *slot, uint32_t &slotLength)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    if (size > qint64(Download::imageBufferSize))
        return 3;
    // Read aside first, so that a short read does not leave half an image in the slot.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size_t(size) + 1]);
    qint64 total = 0;
    while (total < size) {
        const qint64 got = file.read(reinterpret_cast<char *>(bytes.get()) + total, size - total);
        if (got <= 0)
            return 3;
        total += got;
    }
    std::memcpy(slot, bytes.get(), size_t(size));
    slotLength = uint32_t(size);
    return 0;
}

} // namespace

int Download::loadImageFile(const QString &path, int i)
{
    // A slot without its buffer is a caller's error, not a file's: -1, nothing touched.
    if (i < 0 || i >= maxFiles || imageData[i] == nullptr)
        return -1;
    const QFileInfo info(path);
    const qint64 size = info.size();
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("hex"))
        return loadHex(path, imageData[i], imageLength[i]);
    if (suffix == QLatin1String("bin"))
        return loadBin(path, size, imageData[i], imageLength[i]);
    return 0;
}
