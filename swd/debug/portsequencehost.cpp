// Each call is one DAP command, answered before the next, so a failure belongs to the call.
#include "swd/debug/portsequencehost.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>

namespace {

using dap::TransferOp;

constexpr uint8_t kDpSelect = 0x8, kApCsw = 0x0, kApTar = 0x4, kApDrw = 0xC;
constexpr uint8_t kDapSwjPins = 0x10;
// Debug software access, privileged data; the DebugPort keeps word size with auto-increment.
constexpr uint32_t kCswBase = 0x23000040;
constexpr uint32_t kCswIncrement = 0x10;
constexpr uint32_t kCswWordIncrement = 0x23000052;

TransferOp dp(bool read, uint8_t reg, uint32_t v = 0)
{
    return {dap::request(false, read, reg), v};
}
TransferOp ap(bool read, uint8_t reg, uint32_t v = 0)
{
    return {dap::request(true, read, reg), v};
}
uint32_t select(uint8_t apsel, uint8_t address)
{
    return uint32_t(apsel) << 24 | (address & 0xF0);
}

QElapsedTimer &monotonic()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

} // namespace

PortSequenceHost::PortSequenceHost(DebugPort &port)
    : m_port(port)
{ }

bool PortSequenceHost::command(const dap::Packet &packet, dap::Packet &reply)
{
    m_recoverable = false;
    if (!m_port.sync() || !m_port.link().transact(packet, reply)) {
        m_error = m_port.error().message;
        return false;
    }
    return true;
}

bool PortSequenceHost::transfer(const std::vector<TransferOp> &ops, std::vector<uint32_t> *reads)
{
    if (m_atomic) {
        // SELECT and CSW writes that change nothing are left out: the block must fit one packet.
        for (const TransferOp &op : ops) {
            const bool selectWrite = op.request == dap::request(false, false, kDpSelect);
            const bool cswWrite = op.request == dap::request(true, false, kApCsw) && m_heldSelect
                && (*m_heldSelect & 0xF0) == 0;
            if ((selectWrite && m_heldSelect == op.data) || (cswWrite && m_heldCsw == op.data))
                continue;
            if (selectWrite) {
                if (!m_heldSelect || (*m_heldSelect >> 24) != (op.data >> 24))
                    m_heldCsw.reset();
                m_heldSelect = op.data;
            }
            if (cswWrite)
                m_heldCsw = op.data;
            m_heldOps.push_back(op);
        }
        if (reads)
            reads->assign(
                size_t(std::count_if(ops.begin(), ops.end(),
                                     [](const TransferOp &op) { return op.request & dap::kRead; })),
                0);
        return true;
    }
    m_port.forgetWindow();
    dap::Packet reply;
    if (!command(dap::transfer(ops), reply))
        return false;
    const dap::TransferReply r = dap::parseTransfer(reply, ops);
    m_failure = r.failure;
    if (r.failure == dap::TransferFailure::Malformed) {
        m_port.link().fail(SwdBadReply, r.error);
        m_error = r.error;
        return false;
    }
    if (r.failure != dap::TransferFailure::None) {
        // The target said no; the probe and the line are fine, so the run may go on.
        m_error = r.error;
        m_recoverable = true;
        return false;
    }
    if (reads)
        *reads = r.reads;
    return true;
}

void PortSequenceHost::recover()
{
    // A reply lost to a reset leaves the line out of step: reset it before clearing the errors.
    if (m_failure == dap::TransferFailure::NoAck || m_failure == dap::TransferFailure::Protocol) {
        swjSequence(51, 0x0007FFFFFFFFFFFFull);
        swjSequence(8, 0);
        transfer({dp(true, 0x0)}, nullptr);
    }
    transfer({dp(false, 0x0, 0x1E), dp(false, kDpSelect, select(m_port.accessPort(), 0)),
              ap(false, kApCsw, kCswWordIncrement)},
             nullptr);
    m_recoverable = false;
}

bool PortSequenceHost::readDp(uint8_t address, uint32_t &value)
{
    std::vector<uint32_t> reads;
    if (!transfer({dp(true, address)}, &reads))
        return false;
    value = reads[0];
    return true;
}

bool PortSequenceHost::writeDp(uint8_t address, uint32_t value)
{
    return transfer({dp(false, address, value)}, nullptr);
}

bool PortSequenceHost::readAp(uint8_t apsel, uint8_t address, uint32_t &value)
{
    std::vector<uint32_t> reads;
    if (!transfer({dp(false, kDpSelect, select(apsel, address)), ap(true, address)}, &reads))
        return false;
    value = reads[0];
    return true;
}

bool PortSequenceHost::writeAp(uint8_t apsel, uint8_t address, uint32_t value)
{
    return transfer({dp(false, kDpSelect, select(apsel, address)), ap(false, address, value)},
                    nullptr);
}

bool PortSequenceHost::memory(uint8_t apsel, int bits, uint32_t address, bool read, uint64_t &value)
{
    const uint32_t size = bits == 8 ? 0 : bits == 16 ? 1 : 2;
    const unsigned lane = 8 * (address & 3);
    std::vector<TransferOp> ops{
        dp(false, kDpSelect, select(apsel, 0)),
        ap(false, kApCsw, kCswBase | size | (bits == 64 ? kCswIncrement : 0)),
        ap(false, kApTar, address)};
    const int words = bits == 64 ? 2 : 1;
    for (int i = 0; i < words; ++i) {
        const uint32_t part = bits == 64 ? uint32_t(value >> (32 * i)) : uint32_t(value << lane);
        ops.push_back(read ? ap(true, kApDrw) : ap(false, kApDrw, part));
    }
    // The DebugPort's own accesses expect words with auto-increment on the core's access port
    // (an atomic block's accesses get it back once, after the block).
    m_atomicCsw = m_atomicCsw || (m_atomic && apsel == m_port.accessPort());
    if (apsel == m_port.accessPort() && !m_atomic)
        ops.push_back(ap(false, kApCsw, kCswWordIncrement));
    std::vector<uint32_t> reads;
    if (!transfer(ops, &reads))
        return false;
    if (!read)
        return true;
    if (bits == 64)
        value = uint64_t(reads[1]) << 32 | reads[0];
    else
        value = (reads[0] >> lane) & (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1);
    return true;
}

bool PortSequenceHost::readMemory(uint8_t apsel, int bits, uint64_t address, uint64_t &value)
{
    if (address > 0xFFFFFFFFu - 7) {
        m_recoverable = false;
        m_error = QStringLiteral("address beyond the 32-bit access port");
        return false;
    }
    value = 0;
    return memory(apsel, bits, uint32_t(address), true, value);
}

bool PortSequenceHost::writeMemory(uint8_t apsel, int bits, uint64_t address, uint64_t value)
{
    if (address > 0xFFFFFFFFu - 7) {
        m_recoverable = false;
        m_error = QStringLiteral("address beyond the 32-bit access port");
        return false;
    }
    return memory(apsel, bits, uint32_t(address), false, value);
}

bool PortSequenceHost::swjPins(uint8_t out, uint8_t selectMask, uint32_t waitUs, uint8_t &pins)
{
    const dap::Packet packet{kDapSwjPins,          out,
                             selectMask,           uint8_t(waitUs),
                             uint8_t(waitUs >> 8), uint8_t(waitUs >> 16),
                             uint8_t(waitUs >> 24)};
    dap::Packet reply;
    if (!command(packet, reply))
        return false;
    if (reply.size() < 2 || reply[0] != kDapSwjPins) {
        m_error = QStringLiteral("DAP_SWJ_Pins: the probe does not answer it");
        return false;
    }
    pins = reply[1];
    return true;
}

bool PortSequenceHost::swjClock(uint32_t hertz)
{
    dap::Packet reply;
    if (!command(dap::swjClock(hertz), reply))
        return false;
    m_error = dap::checkStatus(reply, dap::SwjClock);
    return m_error.isEmpty();
}

bool PortSequenceHost::swjSequence(unsigned bits, uint64_t data)
{
    std::vector<uint8_t> bytes;
    for (unsigned i = 0; i < (bits + 7) / 8; ++i)
        bytes.push_back(uint8_t(data >> (8 * i)));
    if (m_atomic) {
        m_held.push_back(dap::swjSequence(bits, bytes));
        m_heldAt.push_back(m_heldOps.size());
        return true;
    }
    dap::Packet reply;
    if (!command(dap::swjSequence(bits, bytes), reply))
        return false;
    m_error = dap::checkStatus(reply, dap::SwjSequence);
    return m_error.isEmpty();
}

bool PortSequenceHost::delayUs(uint32_t us)
{
    // Nothing is in flight while the host waits, which is what DAP_Delay would give.
    if (!m_port.sync()) {
        m_error = m_port.error().message;
        return false;
    }
    QThread::usleep(us);
    return true;
}

uint64_t PortSequenceHost::nowUs()
{
    return uint64_t(monotonic().nsecsElapsed() / 1000);
}

void PortSequenceHost::beginAtomic()
{
    m_atomic = true;
    m_atomicCsw = false;
    m_heldSelect.reset();
    m_heldCsw.reset();
    m_held.clear();
    m_heldOps.clear();
    m_heldAt.clear();
}

bool PortSequenceHost::endAtomic(bool send)
{
    if (send && m_atomicCsw)
        transfer({dp(false, kDpSelect, select(m_port.accessPort(), 0)),
                  ap(false, kApCsw, kCswWordIncrement)},
                 nullptr);
    m_atomic = false;
    if (!send)
        return true;
    // The line sequences go before the accesses that followed them, all of it queued at once.
    std::vector<dap::Packet> packets;
    std::vector<std::vector<TransferOp>> transfers; // per packet; empty for a sequence
    size_t from = 0;
    const auto flushOps = [&](size_t to) {
        if (to > from) {
            transfers.emplace_back(m_heldOps.begin() + std::ptrdiff_t(from),
                                   m_heldOps.begin() + std::ptrdiff_t(to));
            packets.push_back(dap::transfer(transfers.back()));
        }
        from = to;
    };
    for (size_t i = 0; i < m_held.size(); ++i) {
        flushOps(m_heldAt[i]);
        transfers.emplace_back();
        packets.push_back(m_held[i]);
    }
    flushOps(m_heldOps.size());
    for (const auto &ops : transfers) {
        if (ops.empty())
            continue;
        if (ops.size() > dap::kMaxTransfers
            || dap::transferRequestSize(ops) > size_t(m_port.link().packetSize())
            || dap::transferReplySize(ops) > size_t(m_port.link().packetSize())) {
            m_error =
                QStringLiteral("the atomic block's %1 transfers do not fit in one "
                               "DAP_Transfer of %2 bytes")
                    .arg(QString::number(ops.size()), QString::number(m_port.link().packetSize()));
            return false;
        }
    }
    m_recoverable = false;
    m_port.forgetWindow();
    if (!m_port.sync()) {
        m_error = m_port.error().message;
        return false;
    }
    for (const dap::Packet &packet : packets) {
        if (!m_port.link().submit(packet)) {
            m_error = m_port.error().message;
            return false;
        }
    }
    // Every answer is collected, so the pipe stays in step; the first failure is the block's.
    m_error.clear();
    m_failure = dap::TransferFailure::None;
    for (size_t i = 0; i < packets.size(); ++i) {
        dap::Packet reply;
        if (!m_port.link().collect(reply)) {
            m_error = m_port.error().message;
            return false;
        }
        if (!m_error.isEmpty())
            continue;
        if (transfers[i].empty()) {
            m_error = dap::checkStatus(reply, dap::SwjSequence);
            continue;
        }
        const dap::TransferReply r = dap::parseTransfer(reply, transfers[i]);
        m_failure = r.failure;
        if (r.failure == dap::TransferFailure::Malformed) {
            m_port.link().fail(SwdBadReply, r.error);
            m_error = r.error;
            return false;
        }
        if (r.failure != dap::TransferFailure::None) {
            m_error = r.error;
            m_recoverable = true;
        }
    }
    return m_error.isEmpty();
}
