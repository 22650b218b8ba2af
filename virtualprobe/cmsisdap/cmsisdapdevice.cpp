// Standard CMSIS-DAP command handling of an SWD-only probe: identification, pins, the SWD line
// and the packet-level commands. The transfers themselves are in daptransfer.cpp.
#include "cmsisdapdevice.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace vprobe {

namespace {

constexpr uint8_t kStatusOk = 0x00, kStatusError = 0xFF, kInvalid = 0xFF;
constexpr uint16_t kJtagToSwd = 0xE79E;
constexpr uint8_t kCapSwd = 0x01, kCapJtag = 0x02, kCapAtomic = 0x10, kCapTimer = 0x20;
constexpr uint8_t kPinsDriven = 0x03 | 0x80; // SWCLK, SWDIO, nRESET; no TDI, TDO or nTRST

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
    , m_port([this](bool read, uint32_t address, unsigned bytes, uint32_t &value) {
        return memory(read, address, bytes, value);
    })
{
    m_model.fill(TargetModel::Bank::Aprom, 0xFF);
    m_model.fill(TargetModel::Bank::Ldrom, 0xFF);
}

void CmsisDapDevice::selectPart(SimulatedPart part)
{
    m_part = part;
    m_core.reset();
    m_qs64 = part == SimulatedPart::Qs64 ? std::make_unique<Qs64Flash>() : nullptr;
    m_board = makeBoardPart(part, m_serial);
    m_core = m_board ? std::make_unique<CortexCore>(m_model, *m_board)
                     : std::make_unique<CortexCore>(m_model, m_qs64.get());
    m_core->setUptimeBeforeDebugger(m_uptimeNs);
    setUartFile(m_uartFile);
    giveUid();
}

void CmsisDapDevice::runOn()
{
    if (m_board && m_targetAttached)
        m_core->setTime(m_startNs + m_wireNs + kRunOnNs);
}

void CmsisDapDevice::setSerial(const std::string &serial)
{
    m_serial = serial;
    if (m_board)
        m_board->setSerial(serial);
    giveUid();
}

void CmsisDapDevice::setUartFile(const std::string &path)
{
    m_uartFile = path;
    if (!m_board)
        return;
    if (path.empty()) {
        m_board->setUart(nullptr);
        return;
    }
    std::shared_ptr<std::FILE> file(std::fopen(path.c_str(), "ab"), [](std::FILE *f) {
        if (f)
            std::fclose(f);
    });
    if (!file) {
        std::fprintf(stderr, "quorvel-virtualprobe: cannot open the UART file %s\n", path.c_str());
        m_board->setUart(nullptr);
        return;
    }
    m_board->setUart([file](uint8_t byte) {
        std::fputc(byte, file.get());
        std::fflush(file.get());
    });
}

void CmsisDapDevice::giveUid()
{
    if (!m_qs64)
        return;
    // FNV-1a over the serial: stable for a probe, distinct between probes.
    uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : m_serial)
        hash = (hash ^ uint8_t(c)) * 0x100000001B3ull;
    const uint32_t words[Qs64Flash::kUidWords] = {0x51533634u, uint32_t(hash),
                                                  uint32_t(hash >> 32)};
    m_qs64->setUid(words);
}

std::vector<uint8_t> CmsisDapDevice::info(uint8_t id) const
{
    std::string text;
    switch (id) {
    case 0x01:
        text = "Quorvel";
        break;
    case 0x02:
        text = "Quorvel Virtual CMSIS-DAP";
        break;
    case 0x03:
        text = m_serial;
        break;
    case 0x04:
        text = "2.1.0";
        break;
    case 0x09:
        text = "1.0";
        break;
    case 0xF0: // SWD (or JTAG alone), atomic commands, the test domain timer
        return {0x00, 1, uint8_t(m_swd ? kCapSwd | kCapAtomic | kCapTimer : kCapJtag)};
    case 0xF1:
        return {0x00,
                4,
                uint8_t(kTimerHz),
                uint8_t(kTimerHz >> 8),
                uint8_t(kTimerHz >> 16),
                uint8_t(kTimerHz >> 24)};
    case 0xFE:
        return {0x00, 1, m_packetCount};
    case 0xFF: {
        const uint16_t size = uint16_t(replyCapacity());
        return {0x00, 2, uint8_t(size), uint8_t(size >> 8)};
    }
    default:
        return {0x00, 0}; // not provided: the target and board strings, SWO and UART sizes
    }
    std::vector<uint8_t> r{0x00, uint8_t(text.size() + 1)};
    r.insert(r.end(), text.begin(), text.end());
    r.push_back(0);
    return r;
}

std::vector<uint8_t> CmsisDapDevice::process(const uint8_t *p, size_t n)
{
    if (n == 0)
        return {kInvalid};
    if (p[0] == 0x7F || p[0] == 0x7E) // queued packets reach here as ExecuteCommands
        return execute(p, n);
    size_t used = 0;
    return command(p, n, used);
}

std::vector<uint8_t> CmsisDapDevice::execute(const uint8_t *p, size_t n)
{
    std::vector<uint8_t> r{0x7F, 0};
    if (n < 2)
        return r;
    size_t at = 2;
    unsigned done = 0;
    for (; done < p[1] && at < n; ++done) {
        size_t used = 0;
        // Nested ExecuteCommands or QueueCommands are invalid, one byte each.
        const std::vector<uint8_t> one =
            p[at] >= 0x7E ? std::vector<uint8_t>{kInvalid} : command(p + at, n - at, used);
        at += std::max<size_t>(used, 1);
        if (r.size() + one.size() > replyCapacity())
            break; // more than one packet holds: the count says how many replies follow
        r.insert(r.end(), one.begin(), one.end()); // a TransferAbort adds nothing
    }
    r[1] = uint8_t(done);
    return r;
}

std::vector<uint8_t> CmsisDapDevice::command(const uint8_t *p, size_t n, size_t &used)
{
    const uint8_t cmd = p[0];
    // The fixed request lengths; the variable ones are set by their handlers.
    static const struct
    {
        uint8_t command, length;
    } fixed[] = {{0x00, 2}, {0x01, 3}, {0x02, 2}, {0x03, 1}, {0x04, 6}, {0x07, 1}, {0x08, 6},
                 {0x09, 3}, {0x0A, 1}, {0x10, 7}, {0x11, 5}, {0x13, 2}, {0x16, 2}};
    used = 1;
    for (const auto &f : fixed) {
        if (f.command == cmd) {
            if (n < f.length)
                return cmd == 0x00 ? std::vector<uint8_t>{kInvalid} : status(cmd, false);
            used = f.length;
        }
    }
    switch (cmd) {
    case 0x00:
        return info(p[1]);
    case 0x01: // DAP_HostStatus: no LEDs to light
        return status(cmd, true);
    case 0x02: {
        const uint8_t port = p[1] == 0 ? (m_swd ? 1 : 2) : p[1];
        m_connected = m_swd && port == 1;
        return {cmd, uint8_t(m_connected ? 1 : (!m_swd && port == 2 ? 2 : 0))};
    }
    case 0x03:
        m_connected = false;
        // The board outlives the host's session only as long as the process: it runs on for a
        // moment at once, so a firmware started by the host's reset gets to say something.
        runOn();
        return status(cmd, true);
    case 0x04:
        m_idleCycles = p[1];
        m_waitRetry = uint16_t(p[2] | p[3] << 8);
        m_matchRetry = uint16_t(p[4] | p[5] << 8);
        return status(cmd, true);
    case 0x05:
        return transfer(p + 1, n - 1, used);
    case 0x06:
        return transferBlock(p + 1, n - 1, used);
    case 0x07: // DAP_TransferAbort: nothing is in progress when a packet is taken, no reply
        return {};
    case 0x08:
        if (!m_connected)
            return status(cmd, false);
        access(0x00, get32(p + 2)); // DP write of ABORT
        return status(cmd, true);
    case 0x09:
        m_wireNs += uint64_t(p[1] | p[2] << 8) * 1000;
        return status(cmd, true);
    case 0x0A: // DAP_ResetTarget: a pulse on nRESET
        driveReset(true);
        driveReset(false);
        return {cmd, kStatusOk, 1};
    case 0x10:
        return pins(p + 1, n - 1);
    case 0x11:
        if (get32(p + 1) == 0)
            return status(cmd, false);
        m_clockHz = get32(p + 1);
        return status(cmd, true);
    case 0x12: {
        const unsigned bits = n >= 2 && p[1] ? p[1] : 256;
        used = 2 + (bits + 7) / 8;
        if (n < used)
            return status(cmd, false);
        lineBits(p + 2, bits);
        return status(cmd, true);
    }
    case 0x13:
        m_turnaround = uint8_t((p[1] & 3) + 1);
        m_dataPhase = p[1] & 4;
        return status(cmd, true);
    case 0x1D:
        return swdSequence(p + 1, n - 1, used);
    case 0x14: { // JTAG commands on an SWD-only probe: refused, their bytes still skipped
        size_t at = 2;
        for (unsigned i = 0; n >= 2 && i < p[1] && at < n; ++i) {
            const unsigned tck = (p[at] & 0x3F) ? (p[at] & 0x3F) : 64;
            at += 1 + (tck + 7) / 8;
        }
        used = std::min(at, n);
        return status(cmd, false);
    }
    case 0x15:
        used = n >= 2 ? std::min<size_t>(n, 2 + p[1]) : n;
        return status(cmd, false);
    case 0x16:
        return status(cmd, false);
    default:
        return {kInvalid}; // DAP_Invalid: SWO, UART, vendor and unknown commands
    }
}

std::vector<uint8_t> CmsisDapDevice::pins(const uint8_t *p, size_t)
{
    const uint8_t value = p[0], select = p[1] & kPinsDriven;
    const uint8_t next = uint8_t((m_pins & ~select) | (value & select));
    if ((next ^ m_pins) & kPinReset)
        driveReset(!(next & kPinReset));
    m_pins = next;
    // Nothing else drives these pins, so the wait (bytes 2..5) ends at once.
    return {0x10, m_pins};
}

void CmsisDapDevice::driveReset(bool low)
{
    m_pins = uint8_t(low ? m_pins & ~kPinReset : m_pins | kPinReset);
    m_core->setTime(m_startNs + m_wireNs); // the part has run up to the edge
    if (low)
        m_model.resetPins();
    m_core->setResetLine(low);
    if (m_resetLine)
        m_resetLine(low);
}

std::vector<uint8_t> CmsisDapDevice::swdSequence(const uint8_t *p, size_t n, size_t &used)
{
    std::vector<uint8_t> r{0x1D, kStatusOk};
    if (n < 1) {
        used = 1 + n;
        return status(0x1D, false);
    }
    size_t at = 1;
    for (unsigned i = 0; i < p[0]; ++i) {
        if (at >= n) {
            used = 1 + n;
            return status(0x1D, false);
        }
        const uint8_t info = p[at++];
        const unsigned cycles = (info & 0x3F) ? (info & 0x3F) : 64;
        const size_t bytes = (cycles + 7) / 8;
        if (info & 0x80) {
            if (r.size() + bytes > replyCapacity()) {
                used = 1 + n;
                return status(0x1D, false); // the input would not fit in one reply
            }
            // Nothing drives SWDIO while the probe listens: the pull-up reads 1.
            for (size_t b = 0; b < bytes; ++b)
                r.push_back(
                    uint8_t(b + 1 < bytes || cycles % 8 == 0 ? 0xFF : (1u << (cycles % 8)) - 1));
            clockBits(cycles);
            continue;
        }
        if (at + bytes > n) {
            used = 1 + n;
            return status(0x1D, false);
        }
        lineBits(p + at, cycles);
        at += bytes;
    }
    used = 1 + at;
    return r;
}

void CmsisDapDevice::lineBits(const uint8_t *data, unsigned bits)
{
    clockBits(bits);
    for (unsigned i = 0; i < bits; ++i) {
        const bool bit = (data[i / 8] >> (i % 8)) & 1;
        m_lastBits = uint16_t((m_lastBits >> 1) | (bit ? 0x8000 : 0));
        if (m_lastBits == kJtagToSwd && m_lineReset)
            m_switched = true;
        m_ones = bit ? m_ones + 1 : 0;
        if (m_ones == 50) {
            m_lineReset = true;
            m_dpReady = m_switched; // a line reset after the switch; the DP now answers
            m_port.lineReset();
        }
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

} // namespace vprobe
