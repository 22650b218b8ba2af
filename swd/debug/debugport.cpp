// SW-DP and MEM-AP access built from DAP_Transfer and DAP_TransferBlock: connecting, memory
// words and blocks, the pipeline of queued transfers; the core's registers are in coreaccess.cpp.
#include "swd/debug/debugport.h"

namespace {

using dap::TransferOp;

// Debug port registers (A[3:2]) and access port registers in bank 0 and bank 1.
constexpr uint8_t kDpIdcode = 0x0, kDpAbort = 0x0, kDpCtrlStat = 0x4, kDpSelect = 0x8;
constexpr uint8_t kApCsw = 0x0, kApTar = 0x4, kApDrw = 0xC;
constexpr uint32_t kSelectBank1 = 0x10;
constexpr uint32_t kPowerUpRequest = 0x50000000; // CSYSPWRUPREQ | CDBGPWRUPREQ
constexpr uint32_t kPowerUpAck = 0xA0000000;
constexpr uint32_t kAbortClearAll = 0x1E;
// 32-bit accesses, single auto-increment, debug software access, privileged data.
constexpr uint32_t kCswWordIncrement = 0x23000052;
constexpr uint32_t kTarWrap = 0x400; // auto-increment is only guaranteed within 1 KiB

TransferOp dpWrite(uint8_t reg, uint32_t v)
{
    return {dap::request(false, false, reg), v};
}
TransferOp dpRead(uint8_t reg)
{
    return {dap::request(false, true, reg)};
}
TransferOp apWrite(uint8_t reg, uint32_t v)
{
    return {dap::request(true, false, reg), v};
}
TransferOp apRead(uint8_t reg)
{
    return {dap::request(true, true, reg)};
}

int codeOf(dap::TransferFailure f)
{
    switch (f) {
    case dap::TransferFailure::Wait:
        return SwdWait;
    case dap::TransferFailure::Fault:
        return SwdFault;
    case dap::TransferFailure::Malformed:
        return SwdBadReply;
    default:
        return SwdProtocol;
    }
}

} // namespace

DebugPort::DebugPort(DapPipe &link)
    : m_link(link)
{ }

bool DebugPort::commands(const std::vector<dap::Packet> &packets)
{
    // All go out before the first answer is looked at; each answer is still checked.
    if (!sync())
        return false;
    for (const dap::Packet &packet : packets) {
        if (!m_link.submit(packet))
            return false;
    }
    for (const dap::Packet &packet : packets) {
        dap::Packet reply;
        if (!m_link.collect(reply))
            return false;
        const QString error = dap::checkStatus(reply, packet[0]);
        if (!error.isEmpty())
            return m_link.fail(SwdNotSwd, error);
    }
    return true;
}

bool DebugPort::connect(uint32_t clockHz)
{
    const std::vector<uint8_t> ones(7, 0xFF);
    // Line reset, the JTAG-to-SWD switch, line reset, idle cycles.
    if (!commands({dap::connect(dap::kPortSwd), dap::swjClock(clockHz),
                   dap::transferConfigure(0, 100, 100), dap::swjSequence(51, ones),
                   dap::swjSequence(16, {0x9E, 0xE7}), dap::swjSequence(51, ones),
                   dap::swjSequence(8, {0x00})}))
        return false;
    const std::vector<TransferOp> idcode{dpRead(kDpIdcode)};
    dap::Packet reply;
    if (!m_link.transact(dap::transfer(idcode), reply))
        return false;
    const dap::TransferReply r = dap::parseTransfer(reply, idcode);
    if (r.failure != dap::TransferFailure::None)
        return m_link.fail(SwdNoTarget, QStringLiteral("no SWD target answers (%1)").arg(r.error));
    m_idcode = r.reads[0];
    std::vector<uint32_t> reads;
    std::vector<TransferOp> powerUp{dpWrite(kDpAbort, kAbortClearAll),
                                    dpWrite(kDpSelect, apSelect(0)),
                                    dpWrite(kDpCtrlStat, kPowerUpRequest), dpRead(kDpCtrlStat)};
    m_select = apSelect(0);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (!transferNow(attempt ? std::vector<TransferOp>{dpRead(kDpCtrlStat)} : powerUp, &reads,
                         0))
            return false;
        // The access port set-up is checked with whatever comes next.
        if ((reads[0] & kPowerUpAck) == kPowerUpAck)
            return submitTransfer({apWrite(kApCsw, kCswWordIncrement)}, nullptr, 0);
    }
    return m_link.fail(
        SwdNoTarget,
        QStringLiteral("debug port does not power up (CTRL/STAT %1)").arg(hex8(reads[0])));
}

void DebugPort::disconnect()
{
    if (m_link.failed())
        return;
    commands({dap::disconnect()});
}

void DebugPort::selectBank(std::vector<TransferOp> &ops, uint32_t bank)
{
    const uint32_t select = apSelect(bank);
    if (m_select != select)
        ops.push_back(dpWrite(kDpSelect, select));
    m_select = select;
}

bool DebugPort::submitTransfer(std::vector<TransferOp> ops, uint32_t *sink, uint32_t address)
{
    return queue(std::move(ops), sink, address);
}

bool DebugPort::queue(std::vector<TransferOp> ops, uint32_t *sink, uint32_t address, bool *mismatch,
                      uint64_t *ticket)
{
    if (!m_link.submit(dap::transfer(ops)))
        return false;
    m_pending.push_back(Pending{std::move(ops), 0, false, sink, address, mismatch, ++m_tickets});
    if (ticket)
        *ticket = m_tickets;
    return true;
}

bool DebugPort::syncThrough(uint64_t ticket)
{
    while (!m_pending.empty() && m_pending.front().ticket <= ticket) {
        dap::Packet reply;
        if (!m_link.collect(reply))
            return false;
        const Pending pending = std::move(m_pending.front());
        m_pending.pop_front();
        if (!check(pending, reply))
            return false;
    }
    return !m_link.failed();
}

void DebugPort::memoryWindow(std::vector<TransferOp> &ops, uint32_t address)
{
    selectBank(ops, 0);
    if (m_tar != address)
        ops.push_back(apWrite(kApTar, address));
    m_tar = address;
}

bool DebugPort::check(const Pending &pending, const dap::Packet &reply)
{
    const dap::TransferReply r = pending.ops.empty()
        ? dap::parseTransferBlock(reply, pending.blockCount, pending.blockRead)
        : dap::parseTransfer(reply, pending.ops);
    // A value-match read that did not match skipped the rest of its transfer, which is how a
    // pipelined poll finds the core still running; SELECT and TAR were set before it, and the
    // reads before it came back.
    if (r.failure == dap::TransferFailure::Mismatch && pending.mismatch) {
        *pending.mismatch = true;
        if (pending.sink)
            std::copy(r.reads.begin(), r.reads.end(), pending.sink);
        return true;
    }
    if (r.failure != dap::TransferFailure::None) {
        m_select = m_tar = ~0u;
        return m_link.fail(
            codeOf(r.failure),
            QStringLiteral("at %1: %2").arg(hex8(failedAddress(pending, r.done)), r.error));
    }
    if (pending.sink)
        std::copy(r.reads.begin(), r.reads.end(), pending.sink);
    return true;
}

// The address the transfer that failed was aimed at: the reply counts the transfers carried out
// before it. Transfers on the core's debug registers start with TAR at DHCSR and bank 1 selected,
// memory transfers with TAR at their address and bank 0, as the window helpers leave them.
uint32_t DebugPort::failedAddress(const Pending &pending, unsigned done)
{
    if (pending.ops.empty())
        return pending.address + 4 * done;
    if (done >= pending.ops.size())
        return pending.address;
    bool bank1 = pending.address == kDhcsr;
    uint32_t tar = pending.address;
    for (unsigned i = 0; i < done; ++i) {
        const TransferOp &op = pending.ops[i];
        const uint8_t reg = op.request & 0x0C;
        if (op.request & dap::kMatchMask)
            continue;
        if (!(op.request & dap::kAp)) {
            if (!(op.request & dap::kRead) && reg == kDpSelect)
                bank1 = (op.data & 0xF0) == kSelectBank1;
        } else if (!bank1 && reg == kApTar && !(op.request & dap::kRead)) {
            tar = op.data;
        } else if (!bank1 && reg == kApDrw) {
            tar += 4;
        }
    }
    const TransferOp &failed = pending.ops[done];
    if (!(failed.request & dap::kAp))
        return pending.address;
    return bank1 ? tar + (failed.request & 0x0C) : tar;
}

bool DebugPort::sync()
{
    return syncThrough(m_tickets);
}

bool DebugPort::transferNow(std::vector<TransferOp> ops, std::vector<uint32_t> *reads,
                            uint32_t address)
{
    size_t count = 0;
    for (const TransferOp &op : ops)
        count += (op.request & dap::kRead) ? 1 : 0;
    std::vector<uint32_t> buffer(count);
    if (!submitTransfer(std::move(ops), buffer.data(), address) || !sync())
        return false;
    if (reads)
        *reads = std::move(buffer);
    return true;
}

bool DebugPort::write32(uint32_t address, uint32_t value)
{
    std::vector<TransferOp> ops;
    selectBank(ops, 0);
    ops.push_back(apWrite(kApTar, address));
    ops.push_back(apWrite(kApDrw, value));
    m_tar = address + 4;
    return transferNow(std::move(ops), nullptr, address);
}

bool DebugPort::read32(uint32_t address, uint32_t &value)
{
    std::vector<TransferOp> ops;
    selectBank(ops, 0);
    ops.push_back(apWrite(kApTar, address));
    ops.push_back(apRead(kApDrw));
    m_tar = address + 4;
    std::vector<uint32_t> reads;
    if (!transferNow(std::move(ops), &reads, address))
        return false;
    value = reads[0];
    return true;
}

bool DebugPort::block(uint32_t address, uint32_t *words, size_t count, bool read)
{
    if (address % 4)
        return m_link.fail(SwdBadJob, QStringLiteral("unaligned address %1").arg(hex8(address)));
    const size_t perPacket = size_t(m_link.packetSize() - (read ? 4 : 5)) / 4;
    while (count) {
        const size_t toWrap = (kTarWrap - address % kTarWrap) / 4;
        std::vector<TransferOp> ops;
        memoryWindow(ops, address);
        if (!ops.empty()) {
            // The report that moves TAR carries words too, as plain DRW accesses; a DAP_Transfer
            // counts its transfers in one byte, which a 1024-byte packet could overflow.
            size_t n = 0;
            while (n < std::min(count, toWrap) && ops.size() < dap::kMaxTransfers
                   && dap::transferRequestSize(ops) + (read ? 1 : 5) <= size_t(m_link.packetSize())
                   && dap::transferReplySize(ops) + (read ? 4 : 0) <= size_t(m_link.packetSize())) {
                ops.push_back(read ? apRead(kApDrw) : apWrite(kApDrw, words[n]));
                ++n;
            }
            if (!submitTransfer(std::move(ops), read ? words : nullptr, address))
                return false;
            address += 4u * uint32_t(n);
            tarAdvanced(address);
            words += n;
            count -= n;
            continue;
        }
        const uint16_t n = uint16_t(std::min({count, perPacket, toWrap}));
        const dap::Packet packet = read
            ? dap::transferBlockRead(dap::request(true, true, kApDrw), n)
            : dap::transferBlockWrite(dap::request(true, false, kApDrw), words, n);
        if (!m_link.submit(packet))
            return false;
        m_pending.push_back(
            Pending{{}, n, read, read ? words : nullptr, address, nullptr, ++m_tickets});
        address += 4u * n;
        tarAdvanced(address);
        words += n;
        count -= n;
    }
    return true;
}

bool DebugPort::writeBlock(uint32_t address, const uint32_t *words, size_t count)
{
    return block(address, const_cast<uint32_t *>(words), count, false);
}

bool DebugPort::readBlock(uint32_t address, uint32_t *words, size_t count)
{
    return block(address, words, count, true);
}
