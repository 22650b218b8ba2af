// Flash controller, system registers and flash arrays of the QB48x as the test host sees them.
#include "targetmodel.h"

#include <algorithm>
#include <cstdio>

TargetModel::TargetModel()
    : m_aprom(kApromSize, 0x00)
    , m_ldrom(kLdromSize, 0x00)
{ }

void TargetModel::addStuckBits(Bank bank, uint32_t offset, uint32_t mask)
{
    m_stuckBits[{bank, offset & ~3u}] |= mask;
}

void TargetModel::fill(Bank bank, uint8_t value)
{
    std::vector<uint8_t> &a = array(bank);
    a.assign(a.size(), value);
}

void TargetModel::setFlash(Bank bank, const std::vector<uint8_t> &bytes)
{
    std::vector<uint8_t> &a = array(bank);
    std::copy_n(bytes.begin(), std::min(bytes.size(), a.size()), a.begin());
}

void TargetModel::clearLogs()
{
    m_registerWrites.clear();
    m_erases.clear();
    m_flashReads.clear();
    m_faults.clear();
}

uint32_t TargetModel::status() const
{
    return m_flags | (m_pending != Operation::None ? kStatusBusy : 0);
}

uint32_t TargetModel::flashWord(Bank bank, uint32_t offset) const
{
    const std::vector<uint8_t> &a = flash(bank);
    if (offset % 4 != 0 || offset >= a.size()) {
        return 0;
    }
    uint32_t word = uint32_t(a[offset]) | (uint32_t(a[offset + 1]) << 8)
        | (uint32_t(a[offset + 2]) << 16) | (uint32_t(a[offset + 3]) << 24);
    const auto stuck = m_stuckBits.find({bank, offset});
    return stuck == m_stuckBits.end() ? word : word | stuck->second;
}

const std::vector<uint8_t> &TargetModel::flash(Bank bank) const
{
    return bank == Bank::Ldrom ? m_ldrom : m_aprom;
}

std::vector<uint8_t> &TargetModel::array(Bank bank)
{
    return bank == Bank::Ldrom ? m_ldrom : m_aprom;
}

TargetModel::Bank TargetModel::selectedBank() const
{
    return (m_command & kCommandLdrom) ? Bank::Ldrom : Bank::Aprom;
}

void TargetModel::fault(const std::string &what, uint32_t address, uint32_t value)
{
    char text[48];
    std::snprintf(text, sizeof text, " at 0x%08X (0x%08X)", unsigned(address), unsigned(value));
    m_faults.push_back(what + text);
}

uint32_t TargetModel::read(uint32_t address, unsigned size)
{
    if (address - kFlashBase < kFlashWindow) {
        return readFlash(address - kFlashBase, size);
    }
    if (size != 4 || address % 4 != 0) {
        fault("register read not a whole word", address, size);
    }
    return readRegister(address & ~3u);
}

void TargetModel::write(uint32_t address, unsigned size, uint32_t value)
{
    if (address - kFlashBase < kFlashWindow) {
        writeFlash(address - kFlashBase, size, value);
        return;
    }
    if (size != 4 || address % 4 != 0) {
        fault("register write not a whole word", address, value);
        return;
    }
    m_registerWrites.emplace_back(address, value);
    writeRegister(address, value);
}

uint32_t TargetModel::readRegister(uint32_t address)
{
    switch (address) {
    case kFmcStatus:
        return readStatus();
    case kFmcCommand:
        return m_command;
    case kFmcSector:
        return m_sector;
    case kFmcKey:
        return 0; // write-only
    case kSysConfig:
        return m_sysConfig;
    default:
        return m_plainRegisters[address];
    }
}

void TargetModel::writeRegister(uint32_t address, uint32_t value)
{
    switch (address) {
    case kFmcStatus:
        m_flags &= ~(value & (kStatusProgramDone | kStatusEraseDone)); // write 1 to clear
        break;
    case kFmcCommand:
        writeCommand(value);
        break;
    case kFmcKey:
        writeKey(value);
        break;
    case kFmcSector:
        if (m_pending != Operation::None) {
            fault("sector written while busy", address, value);
        }
        m_sector = value;
        break;
    case kSysConfig:
        fault("write to the read-only configuration register", address, value);
        break;
    case kSysPinFunction:
        m_swdPinsOff = m_swdPinsOff || value == kPinsToGpio;
        m_plainRegisters[address] = value;
        break;
    default:
        m_plainRegisters[address] = value;
        break;
    }
}

void TargetModel::writeKey(uint32_t value)
{
    if (value == kKeyFirst) {
        m_keyStage = 1;
    } else if (m_keyStage == 1 && value == kKeySecond) {
        m_unlocked = true;
        m_keyStage = 0;
    } else {
        m_keyStage = 0;
    }
}

void TargetModel::writeCommand(uint32_t value)
{
    m_command = value;
    if (value & kCommandLock) {
        m_unlocked = false;
    }
    const bool program = value & kCommandProgram;
    const bool erase = value & kCommandErase;
    if ((program || erase) && !m_unlocked) {
        fault("operation commanded while locked", kFmcCommand, value);
    } else if (program && erase) {
        fault("program and erase commanded together", kFmcCommand, value);
    } else if (erase && m_pending != Operation::None) {
        fault("erase commanded while busy", kFmcCommand, value);
    } else if (erase && !(value & kCommandEraseEnable)) {
        fault("erase commanded without bit 16", kFmcCommand, value);
    } else if (erase) {
        m_erases.push_back({selectedBank(), m_sector});
        m_pendingSector = m_sector;
        start(Operation::Erase);
    }
}

uint32_t TargetModel::readStatus()
{
    const uint32_t value = status();
    if (m_pending != Operation::None && !m_stalled && m_busyLeft > 0 && --m_busyLeft == 0) {
        complete();
    }
    return value;
}

void TargetModel::start(Operation op)
{
    m_pending = op;
    m_busyLeft = m_busyReads;
    m_busyNs += op == Operation::Erase ? m_sectorNs : m_wordNs;
    if (m_busyLeft == 0 && !m_stalled) {
        complete();
    }
}

void TargetModel::complete()
{
    if (m_pending == Operation::Erase) {
        const uint32_t sector = m_pendingSector & ~kSectorBit28;
        std::vector<uint8_t> &a = array(selectedBank());
        if (sector < a.size() / kSectorSize) {
            std::fill(a.begin() + sector * kSectorSize, a.begin() + (sector + 1) * kSectorSize,
                      0xFF);
        } else {
            fault("erase of a sector beyond the bank", kFmcSector, m_pendingSector);
        }
        m_flags |= kStatusEraseDone;
    } else if (m_pending == Operation::Program) {
        m_flags |= kStatusProgramDone;
    }
    m_pending = Operation::None;
}

uint32_t TargetModel::readFlash(uint32_t offset, unsigned size)
{
    const Bank bank = selectedBank();
    m_flashReads.push_back(offset);
    if (size == 0 || size > 4 || offset % size != 0 || offset + size > flash(bank).size()) {
        fault("flash read outside the bank or misaligned", offset, size);
        return 0;
    }
    const uint32_t word = flashWord(bank, offset & ~3u);
    const unsigned shift = (offset % 4) * 8;
    return size == 4 ? word : (word >> shift) & ((1u << (size * 8)) - 1);
}

void TargetModel::writeFlash(uint32_t offset, unsigned size, uint32_t value)
{
    std::vector<uint8_t> &a = array(selectedBank());
    if (!(m_command & kCommandProgram) || !m_unlocked) {
        fault("flash written without an active program command", offset, value);
    } else if (size != 4 || offset % 4 != 0 || offset >= a.size()) {
        fault("flash write not a whole word inside the bank", offset, value);
    } else if (m_pending != Operation::None) {
        fault("flash word written while busy", offset, value);
    } else {
        // Programming only clears bits; an unerased word keeps its zeros.
        for (unsigned i = 0; i < 4; ++i) {
            a[offset + i] &= uint8_t(value >> (8 * i));
        }
        start(Operation::Program);
    }
}
