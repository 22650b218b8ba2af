// Finding the RTT control block and draining up-buffer 0.
#include "rttreader.h"

#include <algorithm>
#include <vector>

namespace rtt {

namespace {

constexpr char kId[] = "SEGGER RTT"; // then NUL padding to 16 bytes
constexpr uint32_t kIdLength = sizeof(kId); // with its NUL
// Large enough to cost few debug transfers, small enough that a RAM of any size is searched in
// bounded pieces.
constexpr uint32_t kSearchChunk = 4096;
constexpr uint32_t kFirstChunk = 256;

QString hex(uint32_t v)
{
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0'));
}

} // namespace

UpReader::UpReader(TargetMemory &memory, const Ram &ram)
    : memory(memory)
    , ram(ram)
{ }

Status UpReader::failed(Status status, const QString &text)
{
    message = text;
    return status;
}

Status UpReader::readBytes(uint32_t address, uint32_t length, QByteArray &out,
                           const uint32_t *release)
{
    out.clear();
    if (length == 0)
        return Status::Ok;
    if (!ram.contains(address, length))
        return failed(
            Status::BadBlock,
            QStringLiteral("RTT read %1+%2 outside the RAM").arg(hex(address)).arg(length));
    const uint32_t first = address & ~3u;
    const uint32_t words = (address + length - first + 3) / 4;
    std::vector<uint32_t> buf(words);
    const uint32_t rdAt = block + kHeaderBytes + 16;
    if (release ? !memory.readWordsThenWrite(first, buf.data(), words, rdAt, *release)
                : !memory.readWords(first, buf.data(), words))
        return failed(Status::ReadFailed,
                      release ? QStringLiteral("RTT read at %1 or write at %2 failed")
                                    .arg(hex(first))
                                    .arg(hex(rdAt))
                              : QStringLiteral("RTT read at %1 failed").arg(hex(first)));
    out.resize(int(words * 4));
    for (uint32_t i = 0; i < words; ++i)
        for (int b = 0; b < 4; ++b)
            out[int(i * 4 + b)] = char(buf[i] >> (8 * b)); // the target is little-endian
    out = out.mid(int(address - first), int(length));
    return Status::Ok;
}

Status UpReader::find(uint32_t address)
{
    message.clear();
    if (address)
        return check(address);
    if (ram.size < kHeaderBytes + kDescriptorBytes)
        return failed(Status::NotFound, QStringLiteral("no RTT control block: no RAM to search"));
    // Word-aligned chunks overlapping by the id's length, so an id across two chunks is seen;
    // the chunk holding it mostly holds the header and up-descriptor 0 as well. Doubling
    // from small: firmware keeps the block among its first variables, a slow link pays for every
    // byte and each read for its round trip.
    uint32_t chunk = kFirstChunk;
    for (uint32_t offset = 0; offset + kIdLength <= ram.size;) {
        const uint32_t length = std::min(chunk, ram.size - offset);
        chunk = std::min(chunk * 2, kSearchChunk);
        QByteArray bytes;
        const Status s = readBytes(ram.start + offset, length, bytes);
        if (s != Status::Ok)
            return s;
        for (int at = bytes.indexOf(kId); at >= 0; at = bytes.indexOf(kId, at + 1)) {
            if ((ram.start + offset + uint32_t(at)) % 4 == 0 && at + int(kIdLength) <= bytes.size()
                && bytes.at(at + int(kIdLength) - 1) == '\0')
                return check(ram.start + offset + uint32_t(at), bytes.mid(at));
        }
        if (offset + length >= ram.size)
            break;
        offset += length - kIdLength + 1;
        offset &= ~3u;
    }
    return failed(
        Status::NotFound,
        QStringLiteral("no RTT control block in %1+%2").arg(hex(ram.start)).arg(ram.size));
}

Status UpReader::check(uint32_t address, const QByteArray &have)
{
    if (address % 4 != 0 || !ram.contains(address, kHeaderBytes))
        return failed(
            Status::NotFound,
            QStringLiteral("no RTT control block at %1: not a word in the RAM").arg(hex(address)));
    // The header and up-buffer 0's descriptor in one read, where the RAM holds both.
    const uint32_t length = ram.contains(address, kHeaderBytes + kDescriptorBytes)
        ? kHeaderBytes + kDescriptorBytes
        : kHeaderBytes;
    QByteArray header = have.left(int(length));
    if (header.size() < int(length)) {
        const Status s = readBytes(address, length, header);
        if (s != Status::Ok)
            return s;
    }
    if (!header.startsWith(QByteArray(kId, int(kIdLength))))
        return failed(Status::NotFound,
                      QStringLiteral("no RTT control block at %1").arg(hex(address)));
    auto word = [&header](uint32_t at) {
        const int i = int(at);
        return uint32_t(uint8_t(header[i])) | uint32_t(uint8_t(header[i + 1])) << 8
            | uint32_t(uint8_t(header[i + 2])) << 16 | uint32_t(uint8_t(header[i + 3])) << 24;
    };
    const uint32_t up = word(16);
    const uint32_t down = word(20);
    if (up == 0 || up > kMaxBuffers || down > kMaxBuffers)
        return failed(Status::BadBlock,
                      QStringLiteral("RTT control block at %1 has %2 up- and %3 "
                                     "down-buffers")
                          .arg(hex(address))
                          .arg(up)
                          .arg(down));
    if (length < kHeaderBytes + kDescriptorBytes
        || !ram.contains(address, kHeaderBytes + (up + down) * kDescriptorBytes))
        return failed(
            Status::BadBlock,
            QStringLiteral("RTT control block at %1 runs past the RAM").arg(hex(address)));
    const uint32_t pBuffer = word(kHeaderBytes + 4), sizeOf = word(kHeaderBytes + 8);
    // One byte always stays free, so a buffer holds at least two.
    if (sizeOf < 2 || !ram.contains(pBuffer, sizeOf))
        return failed(Status::BadBlock,
                      QStringLiteral("RTT up-buffer 0 at %1+%2 is not in the RAM")
                          .arg(hex(pBuffer))
                          .arg(sizeOf));
    block = address;
    buffer = pBuffer;
    size = sizeOf;
    // Checked by the first poll, which takes them instead of reading WrOff again.
    wrSeen = word(kHeaderBytes + 12);
    rd = word(kHeaderBytes + 16);
    haveWr = true;
    return Status::Ok;
}

Status UpReader::poll(QByteArray &text)
{
    if (size == 0)
        return failed(Status::NotFound, QStringLiteral("no RTT control block found yet"));
    const uint32_t wrAt = block + kHeaderBytes + 12;
    uint32_t wr = wrSeen;
    if (!haveWr) {
        // RdOff beside WrOff costs one word of the same read, and follows firmware that sets its
        // block up again after the host found it (both offsets back to 0).
        uint32_t offsets[2] = {};
        if (!memory.readWords(wrAt, offsets, 2))
            return failed(Status::ReadFailed,
                          QStringLiteral("RTT read at %1 failed").arg(hex(wrAt)));
        wr = offsets[0];
        rd = offsets[1];
    }
    haveWr = false;
    // Either offset past the buffer ends the check before any byte is read with it.
    if (wr >= size || rd >= size)
        return failed(Status::BadBlock,
                      QStringLiteral("RTT up-buffer 0 offsets %1/%2 past its %3 bytes")
                          .arg(wr)
                          .arg(rd)
                          .arg(size));
    if (wr == rd)
        return Status::Ok;
    QByteArray part;
    // Up to the end of the buffer first when the text wrapped; RdOff goes back with the last read.
    const bool wrapped = wr < rd;
    Status s = readBytes(buffer + rd, (wrapped ? size : wr) - rd, part,
                         wrapped && wr != 0 ? nullptr : &wr);
    if (s != Status::Ok)
        return s;
    text += part;
    if (wrapped && wr != 0) {
        s = readBytes(buffer, wr, part, &wr);
        if (s != Status::Ok)
            return s;
        text += part;
    }
    rd = wr;
    return Status::Ok;
}

} // namespace rtt
