// Encoding of the standard CMSIS-DAP commands this host sends and the checks every reply must
// pass before a byte of it is believed. Pure functions: no probe, no state.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace dap {

using Packet = std::vector<uint8_t>; // one command or reply, without the HID report id

enum Command : uint8_t {
    Info = 0x00,
    Connect = 0x02,
    Disconnect = 0x03,
    TransferConfigure = 0x04,
    Transfer = 0x05,
    TransferBlock = 0x06,
    WriteAbort = 0x08,
    SwjClock = 0x11,
    SwjSequence = 0x12,
};

enum InfoId : uint8_t {
    InfoVendor = 0x01,
    InfoProduct = 0x02,
    InfoSerial = 0x03,
    InfoProtocol = 0x04,
    InfoFirmware = 0x09,
    InfoCapabilities = 0xF0,
    InfoPacketCount = 0xFE,
    InfoPacketSize = 0xFF,
};

constexpr uint8_t kPortSwd = 1;
constexpr uint8_t kStatusOk = 0x00;
constexpr uint8_t kCapabilitySwd = 0x01;

// Transfer request bits; A[3:2] of the register address sit in bits 2..3.
constexpr uint8_t kAp = 0x01;
constexpr uint8_t kRead = 0x02;
constexpr uint8_t kMatchValue = 0x10;
constexpr size_t kMaxTransfers = 255; // DAP_Transfer counts its transfers in one byte
constexpr uint8_t kMatchMask = 0x20;

// Transfer response: ACK in bits 0..2, then protocol error and value mismatch.
constexpr uint8_t kAckOk = 1;
constexpr uint8_t kAckWait = 2;
constexpr uint8_t kAckFault = 4;
constexpr uint8_t kProtocolError = 0x08;
constexpr uint8_t kValueMismatch = 0x10;

inline uint8_t request(bool ap, bool read, uint8_t reg)
{
    return uint8_t((ap ? kAp : 0) | (read ? kRead : 0) | (reg & 0x0C));
}

struct TransferOp
{
    uint8_t request;
    uint32_t data = 0; // written value, or match value; unused for plain reads
    bool hasData() const { return !(request & kRead) || (request & kMatchValue); }
};

Packet info(uint8_t id);
Packet connect(uint8_t port);
Packet disconnect();
Packet transferConfigure(uint8_t idleCycles, uint16_t waitRetry, uint16_t matchRetry);
Packet swjClock(uint32_t hertz);
// bits: 1..256 clock cycles, LSB of data[0] first.
Packet swjSequence(unsigned bits, const std::vector<uint8_t> &data);
Packet transfer(const std::vector<TransferOp> &ops);
Packet transferBlockWrite(uint8_t request, const uint32_t *words, uint16_t count);
Packet transferBlockRead(uint8_t request, uint16_t count);
Packet writeAbort(uint32_t value);

// Bytes a command of these transfers takes, and its reply; packetSize bounds both.
size_t transferRequestSize(const std::vector<TransferOp> &ops);
size_t transferReplySize(const std::vector<TransferOp> &ops);

// Empty when the reply is the expected command with status DAP_OK; otherwise why not.
QString checkStatus(const Packet &reply, uint8_t command);

struct InfoReply
{
    QString error;
    Packet value; // the item's bytes, length as the probe gave it
};
InfoReply parseInfo(const Packet &reply);

enum class TransferFailure { None, Wait, Fault, NoAck, Protocol, Mismatch, Malformed };

struct TransferReply
{
    TransferFailure failure = TransferFailure::None;
    QString error;
    unsigned done = 0; // transfers the probe carried out
    std::vector<uint32_t> reads;
};
// Checks a DAP_Transfer reply against the ops it answers: echo, count, ACK, read data length.
TransferReply parseTransfer(const Packet &reply, const std::vector<TransferOp> &ops);
// Checks a DAP_TransferBlock reply for `count` transfers; `read` expects count words of data.
TransferReply parseTransferBlock(const Packet &reply, uint16_t count, bool read);

} // namespace dap
