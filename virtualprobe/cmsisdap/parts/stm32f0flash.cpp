// The STM32F0's flash interface: a halfword at a time under PG, page and mass erase started by
// STRT, BSY for a few status reads, then EOP. An access that has to wait for BSY completes the
// operation first, as the stalled bus would.
#include "stm32f0.h"

#include <algorithm>

namespace vprobe {

namespace {

constexpr uint32_t kCrWritable = 0x3637; // PG PER MER OPTPG OPTER LOCK OPTWRE ERRIE EOPIE OBL
constexpr uint32_t kObrFactory = 0xFFFFFF00; // option bytes as shipped: level 0, user bits set
constexpr uint32_t kWrprNone = 0xFFFFFFFF;

} // namespace

bool Stm32f0Part::readFlashIf(uint32_t address, uint32_t &value)
{
    switch (address) {
    case kAcr:
        value = m_acr;
        return true;
    case kKeyr:
    case kOptKeyr:
        value = 0; // write-only
        return true;
    case kSr:
        value = m_sr;
        if (m_busyLeft && --m_busyLeft == 0)
            finish();
        return true;
    case kCr:
        value = m_cr;
        return true;
    case kAr:
        value = m_ar;
        return true;
    case kObr:
        value = kObrFactory;
        return true;
    case kWrpr:
        value = kWrprNone;
        return true;
    default:
        return false;
    }
}

bool Stm32f0Part::writeFlashIf(uint32_t address, uint32_t value)
{
    switch (address) {
    case kAcr:
        m_acr = (value & 0x17) | ((value & 0x10) ? 0x20 : 0); // PRFTBS follows PRFTBE
        return true;
    case kKeyr:
        if (m_keyLocked)
            return false;
        if (m_keyStage == 0 && value == kKey1) {
            m_keyStage = 1;
        } else if (m_keyStage == 1 && value == kKey2) {
            m_keyStage = 0;
            m_cr &= ~kCrLock;
        } else {
            // A wrong sequence: a bus error, and the interface stays locked until a reset.
            m_keyLocked = true;
            m_keyStage = 0;
            m_cr |= kCrLock;
            return false;
        }
        return true;
    case kOptKeyr:
        return true; // the option bytes are not writable here
    case kSr:
        m_sr &= ~(value & (kSrPgErr | kSrWrPrtErr | kSrEop));
        return true;
    case kCr:
        if (m_cr & kCrLock)
            return true; // ignored while locked
        if (m_busyLeft)
            finish();
        m_cr = value & kCrWritable;
        if ((value & kCrStrt) && (m_cr & (kCrPer | kCrMer))) {
            if (m_cr & kCrMer) {
                std::fill(m_flash.begin(), m_flash.end(), 0xFF);
            } else {
                const uint32_t offset = m_ar < flashSize() ? m_ar : m_ar - kFlashBase;
                if (offset < flashSize()) {
                    const uint32_t page = offset / pageSize() * pageSize();
                    std::fill_n(m_flash.begin() + page, pageSize(), 0xFF);
                }
            }
            m_cr |= kCrStrt;
            start();
        }
        return true;
    case kAr:
        if (m_busyLeft)
            finish();
        m_ar = value;
        return true;
    case kObr:
    case kWrpr:
        return true; // read-only
    default:
        return false;
    }
}

bool Stm32f0Part::programHalfword(uint32_t offset, unsigned size, uint32_t value)
{
    if (m_busyLeft)
        finish();
    // Only halfwords under PG: anything else is a bus error.
    if (size != 2 || !(m_cr & kCrPg) || (m_cr & kCrLock))
        return false;
    const uint16_t now = uint16_t(m_flash[offset] | m_flash[offset + 1] << 8);
    const uint16_t data = uint16_t(value);
    if (now != 0xFFFF && data != 0) {
        m_sr |= kSrPgErr; // not erased: nothing is written
        return true;
    }
    const uint16_t result = now & data;
    m_flash[offset] = uint8_t(result);
    m_flash[offset + 1] = uint8_t(result >> 8);
    start();
    return true;
}

void Stm32f0Part::start()
{
    m_sr |= kSrBsy;
    m_busyLeft = m_busyReads;
    if (!m_busyLeft)
        finish();
}

void Stm32f0Part::finish()
{
    m_sr = (m_sr & ~kSrBsy) | kSrEop;
    m_cr &= ~kCrStrt;
    m_busyLeft = 0;
}

} // namespace vprobe
