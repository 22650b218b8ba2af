// Intel HEX reader: a block-wise line splitter (LF or CR LF line ends; UTF-16 files narrowed on the
// way) and a table-driven record decoder that places data records relative to the first data byte.
#include "hexfilereader.h"

#include <QFile>
#include <QIODevice>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t notHex = 0xFF;
constexpr int maxLineLength = 2 * HexFileReader::maxRecordBytes + 11;
// An unfinished line longer than this cannot become valid: a UTF-8 byte-order mark (first line
// only), the longest valid record and the CR of a CR LF.
constexpr int maxPending = 3 + maxLineLength + 1;

struct NibbleTable
{
    uint8_t value[256];
    constexpr NibbleTable()
        : value()
    {
        for (int c = 0; c < 256; ++c) {
            if (c >= '0' && c <= '9')
                value[c] = uint8_t(c - '0');
            else if (c >= 'A' && c <= 'F')
                value[c] = uint8_t(c - 'A' + 10);
            else if (c >= 'a' && c <= 'f')
                value[c] = uint8_t(c - 'a' + 10);
            else
                value[c] = notHex;
        }
    }
};
constexpr NibbleTable nibbles;

inline uint32_t nibble(char c)
{
    return nibbles.value[uint8_t(c)];
}

// A two-digit field; like every field it ends at the first non-hex character ("A:" is 0x0A,
// ":A" is 0).
inline uint32_t hexPair(const char *p)
{
    const uint32_t hi = nibble(p[0]);
    const uint32_t lo = nibble(p[1]);
    if ((hi | lo) < 16)
        return hi << 4 | lo;
    return hi < 16 ? hi : 0;
}

// Up to `width` digits from `pos`, ending early at a non-hex character or the end of the line.
uint32_t hexField(const char *text, int size, int pos, int width)
{
    uint32_t value = 0;
    for (int i = pos; i < pos + width && i < size; ++i) {
        const uint32_t digit = nibble(text[i]);
        if (digit > 15)
            break;
        value = value << 4 | digit;
    }
    return value;
}

bool startsWithByteOrderMark(const char *text, int size)
{
    return size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0;
}

// A file saved as "Unicode" (UTF-16 with a byte-order mark) read as the Latin-1 characters a text
// stream would give: one byte per code unit, '?' for a code unit beyond Latin-1 and for a dangling
// last byte.
class Utf16Narrowing
{
public:
    Utf16Narrowing(QIODevice &device, bool bigEndian, int block)
        : device(device)
        , bigEndian(bigEndian)
        , wide(size_t(2 * block))
    { }

    qint64 operator()(char *to, int maxChars)
    {
        for (;;) {
            const int have = carried ? 1 : 0;
            const qint64 got = device.read(wide.data() + have, 2 * qint64(maxChars) - have);
            if (got < 0)
                return -1;
            if (got == 0 && carried) {
                carried = false;
                *to = '?';
                return 1;
            }
            const qint64 total = have + got;
            const qint64 units = total / 2;
            const auto *w = reinterpret_cast<const uint8_t *>(wide.data());
            for (qint64 k = 0; k < units; ++k) {
                const uint8_t first = w[2 * k], second = w[2 * k + 1];
                const unsigned high = bigEndian ? first : second;
                to[k] = high == 0 ? char(bigEndian ? second : first) : '?';
            }
            carried = total % 2 != 0;
            if (carried)
                wide[0] = wide[size_t(total - 1)];
            if (units > 0 || got == 0)
                return units;
        }
    }

private:
    QIODevice &device;
    const bool bigEndian;
    std::vector<char> wide;
    bool carried = false;
};

} // namespace

HexFileReader::HexFileReader()
    : imageBuffer(new uint8_t[imageSize])
{ }

HexFileReader::~HexFileReader() = default;

void HexFileReader::setBlockSize(int bytes)
{
    blockSize = std::clamp(bytes, 1, 16 * 1024 * 1024);
}

int HexFileReader::readFile(const QString &path)
{
    QFile file(path);
    // Line ends are handled here, byte by byte, so the device is read raw and unbuffered.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return -1;
    return readDevice(file);
}

int HexFileReader::readDevice(QIODevice &device)
{
    line = nullptr;
    lineLength = 0;
    length = 0;
    base = 0;
    start = 0;
    phase = Unbased;
    filled = 0;
    firstLine = true;
    // No block larger than what is left of a device of known size (small files, fuzz inputs).
    int block = blockSize;
    if (!device.isSequential())
        block = int(std::min<qint64>(block, std::max<qint64>(device.size() - device.pos(), 4096)));
    std::unique_ptr<char[]> buffer(new char[size_t(maxPending + block)]);
    const QByteArray head = device.peek(2);
    const bool little = head == QByteArray("\xFF\xFE", 2);
    const bool big = head == QByteArray("\xFE\xFF", 2);
    int result;
    if (little || big) {
        device.skip(2);
        Utf16Narrowing narrow(device, big, block);
        result = readLines(narrow, buffer.get(), block);
    } else {
        auto raw = [&device](char *to, int maxBytes) { return device.read(to, maxBytes); };
        result = readLines(raw, buffer.get(), block);
    }
    line = nullptr; // it pointed into the buffer
    lineLength = 0;
    return result;
}

template<typename Fill>
int HexFileReader::readLines(Fill &fill, char *buffer, int block)
{
    int pending = 0; // an unfinished line carried to the front of the buffer
    for (;;) {
        const qint64 got = fill(buffer + pending, block);
        if (got < 0)
            return -1;
        if (got == 0) {
            if (pending == 0)
                return 0;
            // The last line may lack its LF; a CR right before the end of the file still ends it.
            const int size = buffer[pending - 1] == '\r' ? pending - 1 : pending;
            return handleLine(buffer, size) == Step::Fail ? -1 : 0;
        }
        const char *p = buffer;
        const char *const end = buffer + pending + got;
        while (const void *found = std::memchr(p, '\n', size_t(end - p))) {
            const char *lf = static_cast<const char *>(found);
            int size = int(lf - p);
            if (size > 0 && p[size - 1] == '\r')
                --size;
            const Step step = handleLine(p, size);
            if (step != Step::Next)
                return step == Step::Done ? 0 : -1;
            p = lf + 1;
        }
        pending = int(end - p);
        if (pending > maxPending)
            return -1;
        std::memmove(buffer, p, size_t(pending));
    }
}

HexFileReader::Step HexFileReader::handleLine(const char *text, int size)
{
    if (firstLine) {
        firstLine = false;
        if (startsWithByteOrderMark(text, size)) {
            text += 3;
            size -= 3;
        }
    }
    line = text;
    lineLength = size;
    Record record;
    if (!parseLine(record))
        return Step::Fail;
    return handleRecord(record);
}

bool HexFileReader::parseLine(Record &record)
{
    const char *const s = line;
    const int size = lineLength;
    if (size == 0 || s[0] != ':')
        return false;
    const int count = int(hexField(s, size, 1, 2));
    if (size != 2 * count + 11)
        return false;
    // Every pair from position 1 counts towards the checksum; the data pairs are decoded on the
    // way.
    uint32_t sum =
        hexPair(s + 1) + hexPair(s + 3) + hexPair(s + 5) + hexPair(s + 7) + hexPair(s + size - 2);
    const char *digits = s + 9;
    for (int k = 0; k < count; ++k, digits += 2) {
        recordData[k] = uint8_t(hexPair(digits));
        sum += recordData[k];
    }
    if ((sum & 0xFF) != 0)
        return false;
    record.count = count;
    record.offset = hexField(s, size, 3, 4);
    record.type = int(hexPair(s + 7));
    return true;
}

HexFileReader::Step HexFileReader::handleRecord(const Record &record)
{
    switch (record.type) {
    case 0x00:
        return placeData(record) ? Step::Next : Step::Fail;
    case 0x01:
        return Step::Done;
    case 0x02:
    case 0x04: {
        // The value is the first two data bytes; a shorter record has none to give.
        if (record.count < 2)
            return Step::Fail;
        const uint32_t value = uint32_t(recordData[0]) << 8 | recordData[1];
        const uint32_t newBase = record.type == 0x04 ? value << 16 : value << 4;
        if (phase == Unbased) {
            start = newBase;
            phase = Based;
        } else {
            phase = Placing;
        }
        base = newBase;
        return Step::Next;
    }
    case 0x03:
    case 0x05:
        return Step::Next;
    default:
        return Step::Fail;
    }
}

bool HexFileReader::placeData(const Record &record)
{
    // Without an extended address record so far (objcopy writes none for images below 64 KiB),
    // records are placed by their offsets as if a base of 0 had been given. An empty record places
    // nothing there, so it must not pin the start ahead of a later extended address record.
    if (phase == Unbased) {
        if (record.count == 0)
            return true;
        base = 0;
        start = 0;
        phase = Based;
    }
    if (phase == Based) {
        start = base + record.offset;
        phase = Placing;
    }
    const int64_t at = int64_t(base) + record.offset - int64_t(start);
    if (at < 0 || at + record.count > imageSize)
        return false;
    const int32_t pos = int32_t(at);
    // The gap up to this record reads 0xFF; filling only what lies beyond `filled` never wipes
    // bytes placed earlier, whatever the record order.
    if (pos > filled)
        std::memset(imageBuffer.get() + filled, 0xFF, size_t(pos - filled));
    std::memcpy(imageBuffer.get() + pos, recordData, size_t(record.count));
    length = pos + record.count;
    filled = std::max(filled, length);
    return true;
}
