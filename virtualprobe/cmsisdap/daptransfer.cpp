// DAP_Transfer and DAP_TransferBlock of the virtual probe: SWD transfers with WAIT retries, value
// match, timestamps, their time on the wire, and the MEM-AP's view of the core's memory.
#include "cmsisdapdevice.h"

#include <algorithm>

namespace vprobe {

namespace {

constexpr uint8_t kAckOk = 1, kAckWait = 2, kAckFault = 4, kNoAck = 7, kMismatch = 0x10;
constexpr uint32_t kSysResetRequest = 0x05FA0004, kResetRequestMask = 0xFFFF0004;
constexpr uint8_t kReadRequest = 0x02, kMatchValue = 0x10, kMatchMask = 0x20, kTimestamp = 0x80;

void put32(std::vector<uint8_t> &r, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        r.push_back(uint8_t(v >> (8 * i)));
}

uint32_t get32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Bytes one transfer request takes: the request, and a value unless it is a plain read.
size_t requestBytes(uint8_t request)
{
    return (request & kReadRequest) && !(request & kMatchValue) ? 1 : 5;
}

} // namespace

bool CmsisDapDevice::memory(bool read, uint32_t address, unsigned bytes, uint32_t &value)
{
    if ((address & ~3u) == m_faultAddress)
        return false;
    m_core->setTime(m_startNs + m_wireNs);
    const uint32_t word = address & ~3u;
    if (!read && bytes == 4 && word == CortexCore::kAircr
        && (value & kResetRequestMask) == kSysResetRequest
        && m_resetRequest != ResetRequest::Acked) {
        if (m_resetRequest == ResetRequest::Ignored)
            return true;
        m_ackLost = true;
    }
    if (!read && word == m_droppedWrite)
        return true; // acknowledged, and lost
    if (bytes == 4)
        return read ? m_core->read(word, value) : m_core->write(word, value);
    // The core's port is a word wide: a narrower access reads its word and, writing, merges its
    // lanes into it.
    uint32_t current = 0;
    if (!m_core->read(word, current))
        return false;
    const unsigned shift = 8 * (address & 3);
    const uint32_t mask = (bytes == 1 ? 0xFFu : 0xFFFFu) << shift;
    if (read) {
        value = (current & mask) >> shift;
        return true;
    }
    return m_core->write(word, (current & ~mask) | ((value << shift) & mask));
}

CmsisDapDevice::Transfer CmsisDapDevice::access(uint8_t request, uint32_t value)
{
    if (!m_connected || !m_targetAttached)
        return {kNoAck, 0};
    m_core->setTime(m_startNs + m_wireNs); // the part runs whether or not the host reads it
    if (!m_dpReady || m_model.swdPinsOff())
        return {kNoAck, 0};
    const bool isAp = request & 1;
    const bool read = request & kReadRequest;
    const uint8_t reg = request & 0x0C;
    const unsigned header = 8 + m_turnaround + 3;
    const unsigned shortBits = header + m_turnaround + (m_dataPhase ? 33 : 0);
    if (isAp && m_waitAttempts) {
        const unsigned absorbed = std::min<unsigned>(m_waitAttempts, m_waitRetry + 1u);
        m_waitAttempts -= absorbed;
        clockBits(uint64_t(absorbed) * (shortBits + m_idleCycles));
        m_port.waited();
        if (absorbed == m_waitRetry + 1u)
            return {kAckWait, 0};
    }
    Transfer t = isAp ? m_port.ap(read, reg, value) : m_port.dp(read, reg, value);
    if (m_ackLost) {
        m_ackLost = false;
        t = {kNoAck, 0};
    }
    clockBits((t.ack == kAckOk ? header + 33 + m_turnaround : shortBits) + m_idleCycles);
    return t;
}

std::vector<uint8_t> CmsisDapDevice::transfer(const uint8_t *p, size_t n, size_t &used)
{
    std::vector<uint8_t> r{0x05, 0, 0};
    if (n < 2) {
        used = 1 + n;
        return r;
    }
    const unsigned count = p[1];
    size_t at = 2;
    uint8_t response = 0;
    unsigned done = 0;
    bool failed = !m_connected; // not connected: nothing is clocked, as with no port at all
    for (unsigned i = 0; i < count && at < n; ++i) {
        const uint8_t req = p[at];
        const size_t bytes = requestBytes(req);
        if (at + bytes > n) {
            at = n;
            response = failed ? response : kNoAck;
            break;
        }
        const uint32_t data = bytes == 5 ? get32(p + at + 1) : 0;
        at += bytes;
        if (failed)
            continue; // the rest of the request is skipped, not executed
        const bool read = req & kReadRequest;
        const size_t replyBytes =
            (read && !(req & kMatchValue) ? 4 : 0) + (req & kTimestamp ? 4 : 0);
        if (r.size() + replyBytes > replyCapacity()) {
            failed = true;
            continue;
        }
        if (!read && (req & kMatchMask)) {
            m_matchMask = data;
            response = kAckOk;
            ++done;
            continue;
        }
        const uint32_t stamp = timestamp();
        Transfer t = access(req, data);
        for (unsigned retry = 0;
             read && (req & kMatchValue) && t.ack == kAckOk && (t.value & m_matchMask) != data;
             ++retry) {
            if (retry >= m_matchRetry) {
                t.ack = kAckOk | kMismatch;
                break;
            }
            t = access(req, data);
        }
        response = t.ack;
        if (t.ack != kAckOk) {
            failed = true;
            continue;
        }
        if (req & kTimestamp)
            put32(r, stamp);
        if (read && !(req & kMatchValue))
            put32(r, t.value);
        ++done;
    }
    used = 1 + at;
    r[1] = uint8_t(done);
    r[2] = response;
    return r;
}

std::vector<uint8_t> CmsisDapDevice::transferBlock(const uint8_t *p, size_t n, size_t &used)
{
    std::vector<uint8_t> r{0x06, 0, 0, 0};
    if (n < 4) {
        used = 1 + n;
        return r;
    }
    const unsigned count = p[1] | p[2] << 8;
    const uint8_t req = p[3];
    const bool read = req & kReadRequest;
    used = 1 + std::min(n, 4 + (read ? 0 : size_t(count) * 4));
    if (!m_connected)
        return r;
    unsigned done = 0;
    uint8_t response = kAckOk;
    for (; done < count; ++done) {
        const size_t at = 4 + size_t(done) * 4;
        if ((!read && at + 4 > n) || (read && r.size() + 4 > replyCapacity())) {
            response = read ? kAckOk : kNoAck;
            break;
        }
        const Transfer t = access(req, read ? 0 : get32(p + at));
        response = t.ack;
        if (t.ack != kAckOk)
            break;
        if (read)
            put32(r, t.value);
    }
    r[1] = uint8_t(done);
    r[2] = uint8_t(done >> 8);
    r[3] = response;
    return r;
}

} // namespace vprobe
