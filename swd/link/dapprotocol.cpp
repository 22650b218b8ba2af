// CMSIS-DAP command encoding and reply checks.
#include "swd/link/dapprotocol.h"

namespace dap {

namespace {

void put32(Packet &p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p.push_back(uint8_t(v >> (8 * i)));
}

uint32_t get32(const Packet &p, size_t at)
{
    return uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16
        | uint32_t(p[at + 3]) << 24;
}

QString hex2(unsigned v)
{
    return QStringLiteral("0x%1").arg(v, 2, 16, QLatin1Char('0')).toUpper().replace("0X", "0x");
}

QString echoError(const Packet &reply, uint8_t command, size_t minimum)
{
    if (reply.empty() || reply[0] != command)
        return QStringLiteral("probe answered command %1 with %2")
            .arg(hex2(command), reply.empty() ? QStringLiteral("nothing") : hex2(reply[0]));
    if (reply.size() < minimum)
        return QStringLiteral("probe reply to %1 is %2 bytes, too short")
            .arg(hex2(command))
            .arg(reply.size());
    return {};
}

TransferReply failureFrom(uint8_t response, unsigned done, unsigned expected)
{
    TransferReply r;
    r.done = done;
    const uint8_t ack = response & 0x07;
    if (response & kProtocolError) {
        r.failure = TransferFailure::Protocol;
        r.error = QStringLiteral("SWD protocol error (parity) after %1 of %2 transfers");
    } else if (response & kValueMismatch) {
        r.failure = TransferFailure::Mismatch;
        r.error = QStringLiteral("value mismatch after %1 of %2 transfers");
    } else if (ack == kAckWait) {
        r.failure = TransferFailure::Wait;
        r.error = QStringLiteral("target kept answering WAIT after %1 of %2 transfers");
    } else if (ack == kAckFault) {
        r.failure = TransferFailure::Fault;
        r.error = QStringLiteral("target answered FAULT after %1 of %2 transfers");
    } else if (ack != kAckOk) {
        r.failure = TransferFailure::NoAck;
        r.error = QStringLiteral("no valid ACK from the target after %1 of %2 transfers");
    } else if (done != expected) {
        r.failure = TransferFailure::Malformed;
        r.error = QStringLiteral("probe carried out %1 of %2 transfers without an error");
    } else {
        return r;
    }
    r.error = r.error.arg(done).arg(expected);
    return r;
}

TransferReply malformed(const QString &error)
{
    TransferReply r;
    r.failure = TransferFailure::Malformed;
    r.error = error;
    return r;
}

} // namespace

Packet info(uint8_t id)
{
    return {Info, id};
}

Packet connect(uint8_t port)
{
    return {Connect, port};
}

Packet disconnect()
{
    return {Disconnect};
}

Packet transferConfigure(uint8_t idleCycles, uint16_t waitRetry, uint16_t matchRetry)
{
    return {TransferConfigure,       idleCycles,          uint8_t(waitRetry),
            uint8_t(waitRetry >> 8), uint8_t(matchRetry), uint8_t(matchRetry >> 8)};
}

Packet swjClock(uint32_t hertz)
{
    Packet p{SwjClock};
    put32(p, hertz);
    return p;
}

Packet swjSequence(unsigned bits, const std::vector<uint8_t> &data)
{
    Packet p{SwjSequence, uint8_t(bits & 0xFF)}; // 256 is sent as 0
    const size_t bytes = (bits + 7) / 8;
    for (size_t i = 0; i < bytes; ++i)
        p.push_back(i < data.size() ? data[i] : 0);
    return p;
}

Packet transfer(const std::vector<TransferOp> &ops)
{
    Packet p{Transfer, 0, uint8_t(ops.size())};
    for (const TransferOp &op : ops) {
        p.push_back(op.request);
        if (op.hasData())
            put32(p, op.data);
    }
    return p;
}

Packet transferBlockWrite(uint8_t request, const uint32_t *words, uint16_t count)
{
    Packet p{TransferBlock, 0, uint8_t(count), uint8_t(count >> 8), uint8_t(request & ~kRead)};
    for (uint16_t i = 0; i < count; ++i)
        put32(p, words[i]);
    return p;
}

Packet transferBlockRead(uint8_t request, uint16_t count)
{
    return {TransferBlock, 0, uint8_t(count), uint8_t(count >> 8), uint8_t(request | kRead)};
}

Packet writeAbort(uint32_t value)
{
    Packet p{WriteAbort, 0};
    put32(p, value);
    return p;
}

size_t transferRequestSize(const std::vector<TransferOp> &ops)
{
    size_t n = 3;
    for (const TransferOp &op : ops)
        n += op.hasData() ? 5 : 1;
    return n;
}

size_t transferReplySize(const std::vector<TransferOp> &ops)
{
    size_t n = 3;
    for (const TransferOp &op : ops)
        n += (op.request & kRead) && !(op.request & kMatchValue) ? 4 : 0;
    return n;
}

QString checkStatus(const Packet &reply, uint8_t command)
{
    const QString error = echoError(reply, command, 2);
    if (!error.isEmpty())
        return error;
    // DAP_Connect answers with the port it connected, 0 when it could not.
    if (command == Connect)
        return reply[1] == kPortSwd ? QString()
                                    : QStringLiteral("probe could not connect in SWD mode");
    if (reply[1] != kStatusOk)
        return QStringLiteral("probe refused command %1 (status %2)")
            .arg(hex2(command), hex2(reply[1]));
    return {};
}

InfoReply parseInfo(const Packet &reply)
{
    InfoReply r;
    r.error = echoError(reply, Info, 2);
    if (r.error.isEmpty() && reply.size() < 2u + reply[1])
        r.error = QStringLiteral("DAP_Info item of %1 bytes does not fit the reply").arg(reply[1]);
    if (r.error.isEmpty())
        r.value.assign(reply.begin() + 2, reply.begin() + 2 + reply[1]);
    return r;
}

TransferReply parseTransfer(const Packet &reply, const std::vector<TransferOp> &ops)
{
    const QString error = echoError(reply, Transfer, 3);
    if (!error.isEmpty())
        return malformed(error);
    TransferReply r = failureFrom(reply[2], reply[1], unsigned(ops.size()));
    if (reply[1] > ops.size())
        return malformed(QStringLiteral("probe reports %1 transfers for %2 requested")
                             .arg(reply[1])
                             .arg(ops.size()));
    // Data of the reads carried out comes back even when a later transfer failed.
    size_t at = 3;
    for (unsigned i = 0; i < r.done; ++i) {
        if (!(ops[i].request & kRead) || (ops[i].request & kMatchValue))
            continue;
        if (at + 4 > reply.size())
            return malformed(QStringLiteral("DAP_Transfer reply lacks read data"));
        r.reads.push_back(get32(reply, at));
        at += 4;
    }
    return r;
}

TransferReply parseTransferBlock(const Packet &reply, uint16_t count, bool read)
{
    const QString error = echoError(reply, TransferBlock, 4);
    if (!error.isEmpty())
        return malformed(error);
    const unsigned done = unsigned(reply[1]) | unsigned(reply[2]) << 8;
    if (done > count)
        return malformed(
            QStringLiteral("probe reports %1 transfers for %2 requested").arg(done).arg(count));
    TransferReply r = failureFrom(reply[3], done, count);
    if (read) {
        if (reply.size() < 4 + size_t(done) * 4)
            return malformed(QStringLiteral("DAP_TransferBlock reply lacks read data"));
        for (unsigned i = 0; i < done; ++i)
            r.reads.push_back(get32(reply, 4 + size_t(i) * 4));
    }
    return r;
}

} // namespace dap
