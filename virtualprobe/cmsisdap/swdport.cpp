// DP and MEM-AP register behaviour of the virtual target's debug port.
#include "swdport.h"

#include <utility>

namespace vprobe {

namespace {

constexpr uint32_t kPowerUpRequests = 0x50000000; // CSYSPWRUPREQ, CDBGPWRUPREQ
constexpr uint32_t kResetRequest = 0x04000000;
// Pushed operations are not implemented, so TRNMODE and MASKLANE stay 0.
constexpr uint32_t kCtrlStatWritable = kPowerUpRequests | kResetRequest | 0x003FF000 | 0x1;
constexpr uint32_t kStickyFlags =
    SwdPort::kStickyOrun | SwdPort::kStickyCmp | SwdPort::kStickyErr | SwdPort::kWdataErr;
constexpr uint32_t kCswSize = 0x7, kCswAddrInc = 0x30, kCswIncSingle = 0x10;
constexpr uint32_t kCswDeviceEn = 0x40, kCswProt = 0xFF000000;

} // namespace

SwdPort::SwdPort(Memory memory)
    : m_memory(std::move(memory))
{ }

bool SwdPort::sticky() const
{
    return m_ctrlStat & kStickyFlags;
}

uint32_t SwdPort::ctrlStat() const
{
    const uint32_t requests = m_ctrlStat & (kPowerUpRequests | kResetRequest);
    return m_ctrlStat | requests << 1; // every request acknowledged at once
}

void SwdPort::abort(uint32_t value)
{
    if (value & kAbortStkCmp)
        m_ctrlStat &= ~kStickyCmp;
    if (value & kAbortStkErr)
        m_ctrlStat &= ~kStickyErr;
    if (value & kAbortWdErr)
        m_ctrlStat &= ~kWdataErr;
    if (value & kAbortOrun)
        m_ctrlStat &= ~kStickyOrun;
}

void SwdPort::waited()
{
    if (m_ctrlStat & kOrunDetect)
        m_ctrlStat |= kStickyOrun;
}

SwdPort::Result SwdPort::dp(bool read, uint8_t reg, uint32_t value)
{
    // With a sticky flag set only IDCODE, CTRL/STAT reads and ABORT writes go through.
    const bool exempt = (reg == 0x0) || (read && reg == 0x4 && (m_select & 0xF) == 0);
    if (sticky() && !exempt)
        return {kAckFault, 0};
    uint32_t result = 0;
    switch (reg) {
    case 0x0:
        if (read)
            result = kIdcode;
        else
            abort(value);
        break;
    case 0x4:
        if ((m_select & 0xF) == 1) {
            if (read)
                result = m_dlcr;
            else
                m_dlcr = value & 0x300; // the turnaround field
        } else if ((m_select & 0xF) == 0) {
            if (read)
                result = ctrlStat();
            else
                m_ctrlStat = (m_ctrlStat & ~kCtrlStatWritable) | (value & kCtrlStatWritable);
        }
        break;
    case 0x8:
        if (read)
            result = m_lastRead; // RESEND
        else
            m_select = value;
        break;
    default:
        if (read)
            result = m_rdbuff;
        break;
    }
    if (read && reg != 0x8)
        m_lastRead = result;
    return {kAckOk, result};
}

SwdPort::Result SwdPort::drw(bool read, uint32_t value)
{
    const unsigned bytes = 1u << (m_csw & kCswSize);
    const uint32_t address = m_tar & ~(bytes - 1);
    const unsigned lane = 8 * (address & 3);
    const uint32_t mask = bytes == 4 ? 0xFFFFFFFF : (1u << (8 * bytes)) - 1;
    uint32_t data = (value >> lane) & mask;
    if (!m_memory(read, address, bytes, data)) {
        m_ctrlStat |= kStickyErr;
        return {kAckFault, 0};
    }
    if ((m_csw & kCswAddrInc) == kCswIncSingle)
        m_tar = (m_tar & ~0x3FFu) | ((m_tar + bytes) & 0x3FFu); // wraps within 1 KiB
    return {kAckOk, read ? (data & mask) << lane : 0};
}

SwdPort::Result SwdPort::banked(bool read, uint8_t reg, uint32_t value)
{
    uint32_t data = value;
    if (!m_memory(read, (m_tar & ~0xFu) | (reg & 0xC), 4, data)) {
        m_ctrlStat |= kStickyErr;
        return {kAckFault, 0};
    }
    return {kAckOk, read ? data : 0};
}

SwdPort::Result SwdPort::ap(bool read, uint8_t reg, uint32_t value)
{
    if ((m_ctrlStat & kPowerUpRequests) != kPowerUpRequests || sticky())
        return {kAckFault, 0};
    Result r{kAckOk, 0};
    if ((m_select >> 24) != m_memAp) {
        r.value = 0; // no access port there
    } else {
        switch ((m_select & 0xF0) | reg) {
        case 0x00:
            if (!read) {
                uint32_t csw = (m_csw & ~(kCswProt | kCswAddrInc)) | (value & kCswProt);
                if ((value & kCswAddrInc) == kCswIncSingle)
                    csw |= kCswIncSingle; // packed increment is not implemented: reads back off
                if ((value & kCswSize) <= 2)
                    csw = (csw & ~kCswSize) | (value & kCswSize);
                m_csw = csw | kCswDeviceEn;
            }
            r.value = m_csw;
            break;
        case 0x04:
            if (!read)
                m_tar = value;
            r.value = m_tar;
            break;
        case 0x0C:
            r = drw(read, value);
            break;
        case 0x10:
        case 0x14:
        case 0x18:
        case 0x1C:
            r = banked(read, reg, value);
            break;
        case 0xF8:
            r.value = kApBase;
            break;
        case 0xFC:
            r.value = kApIdr;
            break;
        default:
            break; // reserved and CFG (little-endian, 32-bit addresses) read 0
        }
    }
    if (!read)
        return {r.ack, 0};
    if (r.ack == kAckOk) {
        m_ctrlStat |= kReadOk;
        m_rdbuff = m_lastRead = r.value;
    } else {
        m_ctrlStat &= ~kReadOk;
    }
    return r;
}

} // namespace vprobe
