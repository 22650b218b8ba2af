// The nRF51822's NVMC, FICR, UICR and UART0.
#include "nrf51part.h"

#include <algorithm>
#include <cstdio>

namespace vprobe {

namespace {

bool aligned(uint32_t address, unsigned size)
{
    return (size == 1 || size == 2 || size == 4) && address % size == 0;
}

uint32_t lane(const std::vector<uint8_t> &bytes, uint32_t offset, unsigned size)
{
    uint32_t value = 0;
    for (unsigned i = 0; i < size; ++i)
        value |= uint32_t(bytes[offset + i]) << (8 * i);
    return value;
}

// Spreads the id's bits so that ids differing in one bit give unrelated keys and addresses.
uint32_t mix(uint64_t id, uint32_t salt)
{
    uint64_t x = id ^ (uint64_t(salt) * 0x9E3779B97F4A7C15ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return uint32_t(x ^ (x >> 31));
}

} // namespace

Nrf51Part::Nrf51Part(uint64_t deviceId)
    : m_flash(kFlashSize, 0xFF)
    , m_uicr(kUicrSize, 0xFF)
    , m_deviceId(deviceId)
{ }

void Nrf51Part::setSerial(const std::string &serial)
{
    // FNV-1a: stable from run to run, so a board keeps its id between processes.
    uint64_t h = 0xCBF29CE484222325ull;
    for (const char c : serial)
        h = (h ^ uint8_t(c)) * 0x100000001B3ull;
    m_deviceId = h;
}

std::vector<BoardPart::Block> Nrf51Part::blocks() const
{
    // The emulator maps whole pages; each block answers only its own registers.
    return {{0, kFlashSize, &m_flash},        {kFicrBase, kBlockSize, nullptr},
            {kUicrBase, kBlockSize, nullptr}, {kPowerBase, kBlockSize, nullptr},
            {kUartBase, kBlockSize, nullptr}, {kWdtBase, kBlockSize, nullptr},
            {kNvmcBase, kBlockSize, nullptr}};
}

uint32_t Nrf51Part::ficr(uint32_t offset) const
{
    switch (offset) {
    case 0x010:
        return kPageSize; // CODEPAGESIZE
    case 0x014:
        return kFlashSize / kPageSize; // CODESIZE
    case 0x034:
        return 4; // NUMRAMBLOCK
    case 0x038:
    case 0x03C:
    case 0x040:
    case 0x044:
        return kRamSize / 4; // SIZERAMBLOCK[n]
    case 0x05C:
        return 0xFFFF0000 | kHwid; // CONFIGID: no firmware id
    case 0x060:
        return uint32_t(m_deviceId);
    case 0x064:
        return uint32_t(m_deviceId >> 32);
    case 0x0A0:
        return 0xFFFFFFFF; // DEVICEADDRTYPE: random
    default:
        // ER, IR and DEVICEADDR: factory keys, fixed per device.
        if (offset >= 0x080 && offset < 0x0AC)
            return mix(m_deviceId, offset);
        return 0xFFFFFFFF;
    }
}

void Nrf51Part::note(const char *what, uint32_t address)
{
    char text[64];
    std::snprintf(text, sizeof text, what, unsigned(m_config));
    const size_t n = std::string(text).size();
    std::snprintf(text + n, sizeof text - n, " at 0x%08X", unsigned(address));
    m_log.push_back(text);
}

bool Nrf51Part::read(uint32_t address, unsigned size, uint32_t &value)
{
    if (!aligned(address, size))
        return false;
    if (address < kFlashSize) {
        value = lane(m_flash, address, size);
        return true;
    }
    if (address - kFicrBase < kFicrSize) {
        const uint32_t word = ficr((address - kFicrBase) & ~3u);
        value = size == 4 ? word : (word >> (address % 4 * 8)) & ((1u << (size * 8)) - 1);
        return true;
    }
    if (address - kUicrBase < kUicrSize) {
        value = lane(m_uicr, address - kUicrBase, size);
        return true;
    }
    // The peripherals take whole words only.
    if (size != 4)
        return false;
    if (address - kNvmcBase < kBlockSize) {
        value = address == kReady ? (busy() ? 0 : 1) : address == kConfig ? m_config : 0;
        return true;
    }
    if (address - kUartBase < kBlockSize || address - kPowerBase < kBlockSize
        || address - kWdtBase < kBlockSize) {
        const auto it = m_registers.find(address);
        value = address == kTxd ? 0 : it != m_registers.end() ? it->second : 0;
        return true;
    }
    return false;
}

bool Nrf51Part::write(uint32_t address, unsigned size, uint32_t value)
{
    if (!aligned(address, size))
        return false;
    if (address < kFlashSize) {
        program(m_flash, 0, address, size, value);
        return true;
    }
    if (address - kFicrBase < kFicrSize) {
        note("write to the FICR ignored", address);
        return true;
    }
    if (address - kUicrBase < kUicrSize) {
        program(m_uicr, kUicrBase, address - kUicrBase, size, value);
        return true;
    }
    if (size != 4)
        return false;
    if (address - kNvmcBase < kBlockSize)
        return writeNvmc(address, value);
    if (address - kUartBase < kBlockSize)
        return writeUart(address, value);
    if (address - kPowerBase < kBlockSize || address - kWdtBase < kBlockSize) {
        m_registers[address] = value;
        return true;
    }
    return false;
}

void Nrf51Part::program(std::vector<uint8_t> &array, uint32_t base, uint32_t offset, unsigned size,
                        uint32_t value)
{
    if (m_config != kConfigWen) {
        note("write ignored under CONFIG %u", base + offset);
        return;
    }
    if (size != 4) {
        note("write not a whole word ignored", base + offset);
        return;
    }
    // Programming can only clear bits; a 1 over a 0 stays 0 until the page is erased.
    for (unsigned i = 0; i < 4; ++i)
        array[offset + i] &= uint8_t(value >> (8 * i));
    busyFor(kWordNs);
}

void Nrf51Part::erase(std::vector<uint8_t> &array, uint32_t offset, uint32_t length)
{
    std::fill_n(array.begin() + offset, length, 0xFF);
}

bool Nrf51Part::writeNvmc(uint32_t address, uint32_t value)
{
    if (address == kConfig) {
        m_config = value & 3;
        return true;
    }
    const bool eraser = address == kErasePage || address == kErasePcr0 || address == kEraseAll
        || address == kEraseUicr;
    if (!eraser)
        return true; // READY and the reserved words ignore writes
    if (m_config != kConfigEen) {
        note("erase ignored under CONFIG %u", address);
        return true;
    }
    char text[40];
    if (address == kEraseAll) {
        if (!(value & 1))
            return true;
        erase(m_flash, 0, kFlashSize);
        erase(m_uicr, 0, kUicrSize);
        m_log.push_back("erase all");
        busyFor(kEraseAllNs);
    } else if (address == kEraseUicr) {
        if (!(value & 1))
            return true;
        erase(m_uicr, 0, kUicrSize);
        m_log.push_back("erase uicr");
        busyFor(kPageEraseNs);
    } else if (value < kFlashSize) {
        const uint32_t page = value / kPageSize * kPageSize;
        erase(m_flash, page, kPageSize);
        std::snprintf(text, sizeof text, "erase page 0x%08X", unsigned(page));
        m_log.push_back(text);
        busyFor(kPageEraseNs);
    } else {
        note("erase of no page ignored", value);
    }
    return true;
}

bool Nrf51Part::writeUart(uint32_t address, uint32_t value)
{
    const auto reg = [&](uint32_t a) -> uint32_t & { return m_registers[a]; };
    const bool enabled = reg(kUartEnable) == kUartEnabled;
    if (address == kStartTx) {
        m_txStarted = m_txStarted || (enabled && (value & 1));
    } else if (address == kStopTx) {
        m_txStarted = m_txStarted && !(value & 1);
    } else if (address == kTxd) {
        // The byte goes out only while the transmitter runs; TXDRDY says it has left.
        if (enabled && m_txStarted) {
            send(uint8_t(value));
            reg(kEventsTxdRdy) = 1;
        }
    } else {
        reg(address) = value;
        if (address == kUartEnable && value != kUartEnabled)
            m_txStarted = false;
    }
    return true;
}

} // namespace vprobe
