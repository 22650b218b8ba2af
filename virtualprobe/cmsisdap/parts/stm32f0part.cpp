// The STM32F0's memory map, its electronic signature, option bytes and USART1.
#include "stm32f0.h"

namespace vprobe {

namespace {

constexpr uint32_t kSystemPage = 0x1FFFF000;
constexpr uint32_t kRcc = 0x40021000, kGpio = 0x48000000, kGpioEnd = 0x48001800;
constexpr uint32_t kDbgmcuEnd = 0x40015810;
constexpr uint32_t kUsartEnd = 0x40013C00;
constexpr uint32_t kRevision = 0x1000; // REV_ID of the first silicon revision
// The factory option bytes: read protection level 0, no write protection, user bits all 1.
constexpr uint32_t kOptionWords[4] = {0x00FF55AA, 0x00FF00FF, 0x00FF00FF, 0x00FF00FF};

bool aligned(uint32_t address, unsigned size)
{
    return (size == 1 || size == 2 || size == 4) && address % size == 0;
}

uint32_t fnv1a(const std::string &text, uint32_t seed)
{
    uint32_t h = 2166136261u ^ seed;
    for (unsigned char c : text)
        h = (h ^ c) * 16777619u;
    return h;
}

} // namespace

Stm32f0Part::Stm32f0Part(Variant variant, const std::string &serial)
    : m_variant(variant)
    , m_flash(variant == Variant::F072 ? 0x20000 : 0x10000, 0xFF)
{
    setSerial(serial);
    resetRegisters();
}

void Stm32f0Part::setSerial(const std::string &serial)
{
    for (uint32_t i = 0; i < 3; ++i)
        m_uid[i] = fnv1a(serial, i * 0x9E3779B9u);
}

std::vector<BoardPart::Block> Stm32f0Part::blocks() const
{
    return {{0x00000000, flashSize(), &m_flash},
            {kFlashBase, flashSize(), &m_flash},
            {kSystemPage, 0x1000, nullptr},
            {kUsart1 & ~0xFFFu, 0x1000, nullptr},
            {kDbgmcuIdcode & ~0xFFFu, 0x1000, nullptr},
            {kRcc, 0x1000, nullptr},
            {kFlashIf, 0x1000, nullptr},
            {kGpio, kGpioEnd - kGpio, nullptr}};
}

void Stm32f0Part::systemReset()
{
    resetRegisters();
}

void Stm32f0Part::resetRegisters()
{
    m_acr = 0x30;
    m_sr = 0;
    m_cr = kCrLock;
    m_ar = 0;
    m_keyStage = 0;
    m_keyLocked = false;
    m_busyLeft = 0;
    m_plain.clear();
    m_plain[kRcc + 0x00] = 0x00000083; // HSI on and ready
    m_plain[kRcc + 0x14] = 0x00000014; // SRAM and flash interface clocks
    m_plain[kUsartIsr] = 0x000000C0; // TXE, TC
}

bool Stm32f0Part::plain(uint32_t address, bool write, uint32_t &value)
{
    const bool mapped = address - kRcc < 0x400 || address - kGpio < kGpioEnd - kGpio
        || address - kDbgmcuIdcode < kDbgmcuEnd - kDbgmcuIdcode || address - kUsart1 < 0x400;
    if (!mapped)
        return false;
    if (write)
        m_plain[address] = value;
    else
        value = m_plain.count(address) ? m_plain[address] : 0;
    return true;
}

bool Stm32f0Part::read(uint32_t address, unsigned size, uint32_t &value)
{
    if (!aligned(address, size))
        return false;
    const uint32_t offset = address < flashSize() ? address : address - kFlashBase;
    if (offset < flashSize()) {
        if (m_busyLeft)
            finish(); // the bus waits for the operation
        value = 0;
        for (unsigned i = 0; i < size; ++i)
            value |= uint32_t(m_flash[offset + i]) << (8 * i);
        return true;
    }
    if (address - kSystemPage < 0x1000)
        return readSystem(address, size, value);
    // Peripheral registers are read as words; a narrower read takes its lanes of the word.
    uint32_t word = 0;
    const uint32_t at = address & ~3u;
    bool ok = false;
    if (at == kDbgmcuIdcode)
        word = kRevision << 16 | deviceId(), ok = true;
    else if (at - kFlashIf < 0x400)
        ok = readFlashIf(at, word);
    else if (at - kUsart1 < 0x400)
        ok = readUsart(at, word);
    else
        ok = plain(at, false, word);
    value = size == 4 ? word : (word >> (address % 4 * 8)) & ((1u << (size * 8)) - 1);
    return ok;
}

bool Stm32f0Part::write(uint32_t address, unsigned size, uint32_t value)
{
    if (!aligned(address, size))
        return false;
    const uint32_t offset = address < flashSize() ? address : address - kFlashBase;
    if (offset < flashSize())
        return programHalfword(offset, size, value);
    if (address - kSystemPage < 0x1000 || address == kDbgmcuIdcode)
        return false; // ROM and read-only registers
    if (address - kFlashIf < 0x400)
        return size == 4 && writeFlashIf(address, value);
    // The other registers take narrower writes into their lanes.
    const uint32_t at = address & ~3u;
    const bool usart = at - kUsart1 < 0x400;
    uint32_t word = value;
    if (size != 4) {
        uint32_t old = 0;
        if (!(usart ? readUsart(at, old) : plain(at, false, old)))
            return false;
        const unsigned shift = address % 4 * 8;
        const uint32_t mask = (size == 2 ? 0xFFFFu : 0xFFu) << shift;
        word = (old & ~mask) | ((value << shift) & mask);
    }
    return usart ? writeUsart(at, word) : plain(at, true, word);
}

bool Stm32f0Part::readSystem(uint32_t address, unsigned size, uint32_t &value) const
{
    const uint32_t at = address & ~3u;
    uint32_t word = 0;
    if (at >= kUid && at < kUid + 12)
        word = m_uid[(at - kUid) / 4];
    else if (at == kFlashSizeReg)
        word = 0xFFFF0000 | (flashSize() / 1024);
    else if (at >= kOptionBytes && at < kOptionBytes + 16)
        word = kOptionWords[(at - kOptionBytes) / 4];
    else
        return false;
    value = size == 4 ? word : (word >> (address % 4 * 8)) & ((1u << (size * 8)) - 1);
    return true;
}

bool Stm32f0Part::readUsart(uint32_t address, uint32_t &value) const
{
    const auto it = m_plain.find(address);
    value = it == m_plain.end() ? 0 : it->second;
    if (address == kUsartTdr)
        value = 0; // not readable back
    return true;
}

bool Stm32f0Part::writeUsart(uint32_t address, uint32_t value)
{
    if (address == kUsartIsr)
        return true; // read-only
    if (address != kUsartTdr) {
        m_plain[address] = value;
        return true;
    }
    // Transmission is instant: TXE and TC stay set, the byte is on the line at once.
    const uint32_t cr1 = m_plain.count(kUsartCr1) ? m_plain[kUsartCr1] : 0;
    if ((cr1 & (kUsartUe | kUsartTe)) == (kUsartUe | kUsartTe))
        send(uint8_t(value & 0xFF));
    return true;
}

} // namespace vprobe
