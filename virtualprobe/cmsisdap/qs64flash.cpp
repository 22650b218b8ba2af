#include "qs64flash.h"

#include <algorithm>
#include <cstdio>

Qs64Flash::Qs64Flash()
    : m_flash(kFlashSize, 0xFF)
{ }

void Qs64Flash::fill(uint8_t value, uint32_t offset, uint32_t length)
{
    if (offset < kFlashSize)
        std::fill_n(m_flash.begin() + offset, std::min(length, kFlashSize - offset), value);
}

bool Qs64Flash::sectorAt(uint32_t offset, uint32_t &start, uint32_t &end)
{
    if (offset >= kFlashSize)
        return false;
    const uint32_t size = offset < kSmallSectorsEnd ? kSmallSector : kLargeSector;
    start = offset / size * size;
    end = start + size;
    return true;
}

void Qs64Flash::fault(const std::string &what, uint32_t address, uint32_t value)
{
    char text[40];
    std::snprintf(text, sizeof text, " at 0x%08X (0x%08X)", unsigned(address), unsigned(value));
    m_faults.push_back(what + text);
}

void Qs64Flash::log(const char *what, uint32_t address)
{
    char text[48];
    std::snprintf(text, sizeof text, "%s 0x%08X in %u", what, unsigned(address),
                  unsigned(m_session));
    m_operations.push_back(text);
    m_nextWord = ~0u;
}

uint32_t Qs64Flash::read(uint32_t address, unsigned size)
{
    const uint32_t offset = address - kFlashBase;
    if (offset < kFlashSize) {
        if (size == 0 || size > 4 || offset % size != 0) {
            fault("misaligned flash read", address, size);
            return 0;
        }
        uint32_t value = 0;
        for (unsigned i = 0; i < size; ++i)
            value |= uint32_t(m_flash[offset + i]) << (8 * i);
        return value;
    }
    if (size != 4 || address % 4 != 0) {
        fault("register read not a whole word", address, size);
        return 0;
    }
    if (address - kUid < kUidWords * 4)
        return m_uid[(address - kUid) / 4];
    switch (address) {
    case kCtrl:
        return m_ctrl;
    case kAddr:
        return m_addr;
    case kStat:
        return readStatus();
    case kSession:
        return m_session;
    case kDebugUnlock:
        return m_vendorLocked ? 1 : 0;
    default:
        return 0;
    }
}

void Qs64Flash::write(uint32_t address, unsigned size, uint32_t value)
{
    const uint32_t offset = address - kFlashBase;
    if (offset < kFlashSize) {
        writeFlash(offset, size, value);
        return;
    }
    if (size != 4 || address % 4 != 0) {
        fault("register write not a whole word", address, value);
        return;
    }
    switch (address) {
    case kKey:
        if (m_vendorLocked) {
            m_keyStage = 0;
        } else if (value == kKeyFirst) {
            m_keyStage = 1;
        } else if (m_keyStage == 1 && value == kKeySecond) {
            m_unlocked = true;
            m_ctrl &= ~kCtrlLock;
            m_keyStage = 0;
        } else {
            m_keyStage = 0;
        }
        break;
    case kCtrl:
        writeControl(value);
        break;
    case kDebugUnlock:
        if (m_vendorLocked && m_unlockStage == 1 && value == kDebugUnlockSecond)
            m_vendorLocked = false;
        m_unlockStage = value == kDebugUnlockFirst ? 1 : 0;
        break;
    case kAddr:
        if (m_busyLeft > 0)
            fault("address written while busy", address, value);
        m_addr = value;
        break;
    case kStat:
        m_stat &= ~(value & (kStatDone | kStatError)); // write 1 to clear
        break;
    case kSession:
        if (!m_unlocked)
            fault("session written while locked", address, value);
        else if (value > kSessionVerify)
            fault("no such session", address, value);
        else
            m_session = value;
        m_nextWord = ~0u;
        break;
    default:
        fault("write to no register", address, value);
        break;
    }
}

void Qs64Flash::writeControl(uint32_t value)
{
    if (value & kCtrlLock) {
        m_unlocked = false;
        m_ctrl = kCtrlLock;
        m_session = kSessionNone;
        return;
    }
    if (!m_unlocked) {
        if (value != 0)
            fault("control written while locked", kCtrl, value);
        return;
    }
    if (m_busyLeft > 0) {
        fault("control written while busy", kCtrl, value);
        return;
    }
    const uint32_t modes = value & (kCtrlProgram | kCtrlSectorErase | kCtrlMassErase);
    if (modes & (modes - 1)) {
        fault("more than one operation selected", kCtrl, value);
        return;
    }
    m_ctrl = value & ~kCtrlStart;
    if (!(value & kCtrlStart))
        return;
    if ((value & (kCtrlSectorErase | kCtrlMassErase)) && m_session != kSessionErase) {
        fault("erase outside an erase session", kAddr, m_addr);
        return;
    }
    if (value & kCtrlSectorErase) {
        uint32_t start = 0, end = 0;
        if (!sectorAt(m_addr - kFlashBase, start, end)) {
            m_stat |= kStatError;
            fault("erase of an address outside the flash", kAddr, m_addr);
            return;
        }
        if (std::any_of(m_protected.begin(), m_protected.end(),
                        [&](uint32_t p) { return p >= start && p < end; })) {
            m_stat |= kStatError;
            log("erase refused", kFlashBase + start);
            busy();
            return;
        }
        std::fill(m_flash.begin() + start, m_flash.begin() + end, 0xFF);
        m_erasedSectors.push_back(start);
        log("erase", kFlashBase + start);
        busy();
    } else if ((value & kCtrlMassErase) && !m_protected.empty()) {
        m_stat |= kStatError;
        log("mass erase refused", kFlashBase);
        busy();
    } else if (value & kCtrlMassErase) {
        std::fill(m_flash.begin(), m_flash.end(), 0xFF);
        for (uint32_t s = 0, start = 0, end = 0; sectorAt(s, start, end); s = end)
            m_erasedSectors.push_back(start);
        log("mass erase", kFlashBase);
        busy();
    } else {
        fault("start without an erase selected", kCtrl, value);
    }
}

void Qs64Flash::writeFlash(uint32_t offset, unsigned size, uint32_t value)
{
    if (!m_unlocked || !(m_ctrl & kCtrlProgram)) {
        fault("flash written without program mode", kFlashBase + offset, value);
        return;
    }
    if (size != 4 || offset % 4 != 0) {
        fault("flash write not a whole word", kFlashBase + offset, value);
        return;
    }
    if (m_busyLeft > 0) {
        fault("flash word written while busy", kFlashBase + offset, value);
        return;
    }
    if (m_session != kSessionProgram) {
        fault("flash written outside a program session", kFlashBase + offset, value);
        return;
    }
    if (offset != m_nextWord)
        log("program", kFlashBase + offset);
    m_nextWord = offset + 4;
    uint32_t old = 0;
    for (unsigned i = 0; i < 4; ++i)
        old |= uint32_t(m_flash[offset + i]) << (8 * i);
    // A word that needs an erased bit back is refused whole, and the controller says so.
    if (value & ~old) {
        m_stat |= kStatError;
        busy();
        return;
    }
    for (unsigned i = 0; i < 4; ++i)
        m_flash[offset + i] = uint8_t(value >> (8 * i));
    busy();
}

void Qs64Flash::busy()
{
    m_busyLeft = m_busyReads;
    if (m_busyLeft == 0)
        m_stat |= kStatDone;
}

uint32_t Qs64Flash::readStatus()
{
    const uint32_t value = m_stat | (m_busyLeft > 0 ? kStatBusy : 0);
    if (m_busyLeft > 0 && --m_busyLeft == 0)
        m_stat |= kStatDone;
    return value;
}
