// The target's RTT control block and its up-buffer 0, read over the debug port while the firmware
// runs. Every field comes from the target and is treated as hostile: a bad one gives an error,
// never a read outside the RAM or a loop without end.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace rtt {

// Word-aligned access to the target's memory (the debug port, or a fake in tests).
class TargetMemory
{
public:
    virtual ~TargetMemory() = default;
    virtual bool readWords(uint32_t address, uint32_t *words, size_t count) = 0;
    virtual bool writeWord(uint32_t address, uint32_t value) = 0;
    // The read, then the write, in one exchange where the memory can pipeline them.
    virtual bool readWordsThenWrite(uint32_t address, uint32_t *words, size_t count,
                                    uint32_t writeAddress, uint32_t value)
    {
        return readWords(address, words, count) && writeWord(writeAddress, value);
    }
};

struct Ram
{
    uint32_t start = 0;
    uint32_t size = 0;
    bool contains(uint32_t address, uint32_t length) const
    {
        return address >= start && length <= size && address - start <= size - length;
    }
};

// The layout every RTT implementation shares: a 16-byte id, two counts, then 24-byte descriptors
// {sName, pBuffer, SizeOfBuffer, WrOff, RdOff, Flags}, the up-buffers first.
constexpr uint32_t kIdBytes = 16;
constexpr uint32_t kDescriptorBytes = 24;
constexpr uint32_t kHeaderBytes = kIdBytes + 8;
// More buffers than any firmware configures; a larger count is a corrupt block.
constexpr uint32_t kMaxBuffers = 64;

enum class Status {
    Ok,
    NotFound, // no "SEGGER RTT" id in the RAM searched
    ReadFailed, // the debug port failed; error() says why
    BadBlock, // the id is there but a count or descriptor cannot be right
};

class UpReader
{
public:
    UpReader(TargetMemory &memory, const Ram &ram);

    // Searches the RAM for the id (at `address` only when it is not 0) and checks the block's
    // counts and up-buffer 0's descriptor, read together with the header.
    Status find(uint32_t address = 0);
    bool found() const { return size != 0; }
    // Appends the bytes written since the last call and hands them back to the firmware (RdOff);
    // offsets outside the buffer are BadBlock. Reads WrOff only: RdOff is the host's to move.
    Status poll(QByteArray &text);

    uint32_t blockAddress() const { return block; }
    uint32_t bufferAddress() const { return buffer; }
    uint32_t bufferSize() const { return size; }
    QString error() const { return message; }

private:
    // `have`: the bytes from `address` on, when a search already read them.
    Status check(uint32_t address, const QByteArray &have = QByteArray());
    // With `release`, RdOff gets that value once the bytes are read.
    Status readBytes(uint32_t address, uint32_t length, QByteArray &out,
                     const uint32_t *release = nullptr);
    Status failed(Status status, const QString &text);

    TargetMemory &memory;
    Ram ram;
    uint32_t block = 0;
    uint32_t buffer = 0;
    uint32_t size = 0;
    uint32_t rd = 0; // RdOff as last read or written
    uint32_t wrSeen = 0; // WrOff read with the descriptor, for the first poll
    bool haveWr = false;
    QString message;
};

} // namespace rtt
