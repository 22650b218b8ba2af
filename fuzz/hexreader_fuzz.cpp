// libFuzzer target: arbitrary bytes read as a HEX file, once in large blocks and once in blocks of
// a few bytes. Both reads must agree, and a successful read must stay inside the 4 MiB image.
#include "images/hexfilereader.h"

#include <QBuffer>
#include <cstdint>
#include <cstring>

namespace {

int readWithBlockSize(HexFileReader &reader, QByteArray &bytes, int blockSize)
{
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    reader.setBlockSize(blockSize);
    return reader.readDevice(device);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    // A read starts from a clean state, so two readers serve every input and the fuzzer does not
    // spend its time allocating 4 MiB images.
    static HexFileReader whole;
    static HexFileReader pieces;
    const int result = readWithBlockSize(whole, bytes, HexFileReader::defaultBlockSize);
    if (readWithBlockSize(pieces, bytes, 1 + int(size % 17)) != result)
        __builtin_trap();
    if (result != 0)
        return 0;
    if (whole.length < 0 || whole.length > HexFileReader::imageSize)
        __builtin_trap();
    if (pieces.length != whole.length || pieces.start != whole.start
        || std::memcmp(pieces.image(), whole.image(), size_t(whole.length)) != 0)
        __builtin_trap();
    return 0;
}
