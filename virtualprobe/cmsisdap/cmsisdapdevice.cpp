// Standard CMSIS-DAP command handling over a modelled SW-DP and AHB-AP.
#include "cmsisdapdevice.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace vprobe {

namespace {

constexpr uint8_t kAckOk = 1, kAckWait = 2, kAckFault = 4, kNoAck = 7, kMismatch = 0x10;
constexpr uint8_t kStatusOk = 0x00, kStatusError = 0xFF;
constexpr uint32_t kPowerUpRequests = 0x50000000;
constexpr uint32_t kStickyErr = 0x20;
constexpr uint32_t kStickyErrClear = 0x4;
constexpr uint16_t kJtagToSwd = 0xE79E;
// Request, turnaround, acknowledge, data with parity, turnaround; a WAIT ends after the ack.
constexpr unsigned kTransferBits = 8 + 1 + 3 + 33 + 1;
constexpr unsigned kWaitBits = 8 + 1 + 3 + 1;

void put32(std::vector<uint8_t> &r, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        r.push_back(uint8_t(v >> (8 * i)));
}

uint32_t get32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::vector<uint8_t> status(uint8_t command, bool ok)
{
    return {command, ok ? kStatusOk : kStatusError};
}

} // namespace

CmsisDapDevice::CmsisDapDevice()
    : m_core(std::make_unique<CortexCore>(m_model))
{
    m_model.fill(TargetModel::Bank::Aprom, 0xFF);
    m_model.fill(TargetModel::Bank::Ldrom, 0xFF);
}

void CmsisDapDevice::selectPart(SimulatedPart part)
{
    m_part = part;
    m_core.reset();
    m_qs64 = part == SimulatedPart::Qs64 ? std::make_unique<Qs64Flash>() : nullptr;
    m_core = std::make_unique<CortexCore>(m_model, m_qs64.get());
}

std::vector<uint8_t> CmsisDapDevice::info(uint8_t id) const
{
    std::string text;
    std::vector<uint8_t> r{0x00, 0};
    switch (id) {
    case 0x01:
        text = "Quorvel";
        break;
    case 0x02:
        text = "Quorvel Virtual CMSIS-DAP";
        break;
    case 0x03:
        text = "QV0001";
        break;
    case 0x04:
        text = "1.3.0";
        break;
    case 0x09:
        text = "1.0";
        break;
    case 0xF0:
        return {0x00, 1, uint8_t(m_swd ? 0x01 : 0x02)}; // SWD, or JTAG alone
    case 0xFE:
        return {0x00, 1, m_packetCount};
    case 0xFF: {
        const uint16_t size = m_packetSize ? m_packetSize : m_linkPacketSize;
        return {0x00, 2, uint8_t(size), uint8_t(size >> 8)};
    }
    default:
        return r; // not provided
    }
    r.insert(r.end(), text.begin(), text.end());
    r.push_back(0);
    r[1] = uint8_t(text.size() + 1);
    return r;
}

std::vector<uint8_t> CmsisDapDevice::process(const uint8_t *p, size_t n)
{
    if (n == 0)
        return {0xFF};
    const uint8_t cmd = p[0];
    switch (cmd) {
    case 0x00:
        return n >= 2 ? info(p[1]) : std::vector<uint8_t>{0xFF};
    case 0x02:
        m_connected = m_swd && n >= 2 && (p[1] == 0 || p[1] == 1);
        return {cmd, uint8_t(m_connected ? 1 : 0)};
    case 0x03:
        m_connected = false;
        return status(cmd, true);
    case 0x04:
        if (n < 6)
            return status(cmd, false);
        m_idleCycles = p[1];
        m_waitRetry = uint16_t(p[2] | p[3] << 8);
        m_matchRetry = uint16_t(p[4] | p[5] << 8);
        return status(cmd, true);
    case 0x05:
        return transfer(p + 1, n - 1);
    case 0x06:
        return transferBlock(p + 1, n - 1);
    case 0x08:
        if (n < 6)
            return status(cmd, false);
        if (get32(p + 2) & kStickyErrClear)
            m_stickyError = false;
        return status(cmd, true);
    case 0x11:
        if (n < 5 || get32(p + 1) == 0)
            return status(cmd, false);
        m_clockHz = get32(p + 1);
        return status(cmd, true);
    case 0x12:
        sequence(p + 1, n - 1);
        return status(cmd, n >= 2);
    default:
        return {0xFF}; // DAP_Invalid
    }
}

void CmsisDapDevice::sequence(const uint8_t *p, size_t n)
{
    const unsigned bits = p[0] ? p[0] : 256;
    clockBits(bits);
    for (unsigned i = 0; i < bits && 1 + i / 8 < n; ++i) {
        const bool bit = (p[1 + i / 8] >> (i % 8)) & 1;
        m_lastBits = uint16_t((m_lastBits >> 1) | (bit ? 0x8000 : 0));
        if (m_lastBits == kJtagToSwd && m_lineReset)
            m_switched = true;
        m_ones = bit ? m_ones + 1 : 0;
        if (m_ones == 50) {
            m_lineReset = true;
            m_dpReady = m_switched; // a line reset after the switch; the DP now answers
            m_ctrlStat &= ~kStickyErr;
        }
    }
}

CmsisDapDevice::Transfer CmsisDapDevice::dp(bool read, uint8_t reg, uint32_t value)
{
    switch (reg) {
    case 0x0:
        if (!read && (value & kStickyErrClear))
            m_stickyError = false;
        return {kAckOk, read ? kIdcode : 0};
    case 0x4:
        if (read)
            return {kAckOk,
                    m_ctrlStat | (m_ctrlStat & kPowerUpRequests) << 1
                        | (m_stickyError ? kStickyErr : 0)};
        m_ctrlStat = value & kPowerUpRequests;
        return {kAckOk, 0};
    case 0x8:
        if (!read)
            m_select = value;
        return {kAckOk, 0};
    default:
        return {kAckOk, 0};
    }
}

CmsisDapDevice::Transfer CmsisDapDevice::memory(bool read, uint32_t address, uint32_t value)
{
    if (address == m_faultAddress) {
        m_stickyError = true;
        return {kAckFault, 0};
    }
    uint32_t word = value;
    m_core->setTime(m_startNs + m_wireNs);
    const bool ok = read ? m_core->read(address, word) : m_core->write(address, value);
    if (!ok) {
        m_stickyError = true;
        return {kAckFault, 0};
    }
    return {kAckOk, read ? word : 0};
}

CmsisDapDevice::Transfer CmsisDapDevice::ap(bool read, uint8_t reg, uint32_t value)
{
    if ((m_ctrlStat & kPowerUpRequests) != kPowerUpRequests || m_stickyError)
        return {kAckFault, 0};
    if (m_select >> 24)
        return {kAckOk, 0}; // no access port there
    const uint32_t address = ((m_select & 0xF0) | reg);
    switch (address) {
    case 0x00:
        if (!read)
            m_csw = value & ~0x80u;
        return {kAckOk, m_csw};
    case 0x04:
        if (!read)
            m_tar = value;
        return {kAckOk, m_tar};
    case 0x0C: {
        if ((m_csw & 0x7) != 2)
            return {kAckFault, 0}; // only word accesses are modelled
        const Transfer t = memory(read, m_tar, value);
        if (t.ack == kAckOk && (m_csw & 0x30) == 0x10)
            m_tar = (m_tar & ~0x3FFu) | ((m_tar + 4) & 0x3FFu); // wraps within 1 KiB
        return t;
    }
    case 0x10:
    case 0x14:
    case 0x18:
    case 0x1C:
        return memory(read, (m_tar & ~0xFu) | (reg & 0xC), value);
    case 0xF8:
        return {kAckOk, 0xE00FF003};
    case 0xFC:
        return {kAckOk, kApIdr};
    default:
        return {kAckOk, 0};
    }
}

void CmsisDapDevice::setTargetAttached(bool attached, bool keepFlash)
{
    if (attached && !m_targetAttached && !keepFlash) {
        m_model.fill(TargetModel::Bank::Aprom, 0xFF);
        m_model.fill(TargetModel::Bank::Ldrom, 0xFF);
    }
    if (!attached) {
        m_dpReady = false;
        m_lineReset = m_switched = false;
    }
    m_targetAttached = attached;
}

CmsisDapDevice::Transfer CmsisDapDevice::access(uint8_t request, uint32_t value)
{
    if (!m_connected || !m_dpReady || !m_targetAttached)
        return {kNoAck, 0};
    const bool isAp = request & 1;
    const bool read = request & 2;
    const uint8_t reg = request & 0x0C;
    if (isAp && m_waitAttempts) {
        const unsigned absorbed = std::min<unsigned>(m_waitAttempts, m_waitRetry + 1u);
        m_waitAttempts -= absorbed;
        clockBits(uint64_t(absorbed) * (kWaitBits + m_idleCycles));
        if (absorbed == m_waitRetry + 1u)
            return {kAckWait, 0};
    }
    clockBits(kTransferBits + m_idleCycles);
    return isAp ? ap(read, reg, value) : dp(read, reg, value);
}

std::vector<uint8_t> CmsisDapDevice::transfer(const uint8_t *p, size_t n)
{
    std::vector<uint8_t> r{0x05, 0, 0};
    if (n < 2)
        return r;
    const unsigned count = p[1];
    size_t at = 2;
    uint8_t response = 0;
    unsigned done = 0;
    for (; done < count; ++done) {
        if (at >= n) {
            response = kNoAck;
            break;
        }
        const uint8_t req = p[at++];
        const bool read = req & 2;
        const bool hasData = !read || (req & 0x10);
        if (hasData && at + 4 > n) {
            response = kNoAck;
            break;
        }
        const uint32_t data = hasData ? get32(p + at) : 0;
        at += hasData ? 4 : 0;
        if (!read && (req & 0x20)) {
            m_matchMask = data;
            response = kAckOk;
            continue;
        }
        Transfer t = access(req, data);
        for (unsigned retry = 0;
             read && (req & 0x10) && t.ack == kAckOk && (t.value & m_matchMask) != data; ++retry) {
            if (retry >= m_matchRetry) {
                t.ack = kAckOk | kMismatch;
                break;
            }
            t = access(req, data);
        }
        response = t.ack;
        if (t.ack != kAckOk)
            break;
        if (read && !(req & 0x10))
            put32(r, t.value);
    }
    r[1] = uint8_t(done);
    r[2] = response;
    return r;
}

std::vector<uint8_t> CmsisDapDevice::transferBlock(const uint8_t *p, size_t n)
{
    std::vector<uint8_t> r{0x06, 0, 0, 0};
    if (n < 4)
        return r;
    const unsigned count = p[1] | p[2] << 8;
    const uint8_t req = p[3];
    const bool read = req & 2;
    unsigned done = 0;
    uint8_t response = kAckOk;
    for (; done < count; ++done) {
        const size_t at = 4 + size_t(done) * 4;
        if (!read && at + 4 > n) {
            response = kNoAck;
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
