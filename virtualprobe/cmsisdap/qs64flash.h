// Model of the QS64, a simulated part of our own design: 64 KiB of flash at 0x08000000 in eight
// 2 KiB sectors then three 16 KiB ones, and a controller that programs one word at a time,
// erases the sector an address lies in, and raises an error flag instead of obeying a word
// that would need a 0 turned back into a 1. Its session register, set by the algorithm's Init from
// its function code, gates the operations as silicon does: an erase outside an erase session and a
// flash write outside a program session are ignored. Same bus interface as TargetModel, so a core
// (or a test's emulator) maps it the same way; it records every access a real controller would
// refuse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Qs64Flash
{
public:
    static constexpr uint32_t kFlashBase = 0x08000000;
    static constexpr uint32_t kFlashSize = 0x10000;
    static constexpr uint32_t kSmallSector = 0x800;
    static constexpr uint32_t kLargeSector = 0x4000;
    static constexpr uint32_t kSmallSectorsEnd = 0x4000; // offset where the 16 KiB ones start
    static constexpr uint32_t kPageSize = 0x100;
    static constexpr uint32_t kRamBase = 0x20000000;
    static constexpr uint32_t kRamSize = 0x2000;

    static constexpr uint32_t kNvmBase = 0x40010000;
    static constexpr uint32_t kNvmWindow = 0x1000;
    static constexpr uint32_t kKey = kNvmBase + 0x0;
    static constexpr uint32_t kCtrl = kNvmBase + 0x4;
    static constexpr uint32_t kAddr = kNvmBase + 0x8;
    static constexpr uint32_t kStat = kNvmBase + 0xC;
    static constexpr uint32_t kSession = kNvmBase + 0x10;
    // The part's unique ID: three read-only words, set per board.
    static constexpr uint32_t kUid = kNvmBase + 0x100;
    static constexpr uint32_t kUidWords = 3;
    // A vendor-locked part ignores the key until its debug unlock (these two words written here
    // in order) has run; it reads 1 while locked.
    static constexpr uint32_t kDebugUnlock = kNvmBase + 0x14;
    static constexpr uint32_t kDebugUnlockFirst = 0x0DE8A9C3;
    static constexpr uint32_t kDebugUnlockSecond = 0xF217563C;

    static constexpr uint32_t kKeyFirst = 0x7B3D1F05;
    static constexpr uint32_t kKeySecond = 0x84C2E0FA;
    static constexpr uint32_t kCtrlProgram = 0x01;
    static constexpr uint32_t kCtrlSectorErase = 0x02;
    static constexpr uint32_t kCtrlMassErase = 0x04;
    static constexpr uint32_t kCtrlStart = 0x10;
    static constexpr uint32_t kCtrlLock = 0x80;
    static constexpr uint32_t kStatBusy = 0x01;
    static constexpr uint32_t kStatDone = 0x02;
    static constexpr uint32_t kStatError = 0x04;
    // Session register values, the function codes of the algorithms' Init.
    static constexpr uint32_t kSessionNone = 0;
    static constexpr uint32_t kSessionErase = 1;
    static constexpr uint32_t kSessionProgram = 2;
    static constexpr uint32_t kSessionVerify = 3;

    Qs64Flash();

    // Status reads that show busy after an operation starts, before it completes.
    void setBusyReads(unsigned reads) { m_busyReads = reads; }
    void fill(uint8_t value, uint32_t offset = 0, uint32_t length = kFlashSize);
    // Off by default; a new part is not vendor-locked.
    void setVendorLocked(bool locked)
    {
        m_vendorLocked = locked;
        m_unlockStage = 0;
    }
    bool vendorLocked() const { return m_vendorLocked; }

    // A write-protected sector: an erase of it, and a mass erase while any is protected, erase
    // nothing and raise the error flag, as the part's protection does.
    void protectSector(uint32_t offset) { m_protected.push_back(offset); }

    // The sector [start, end) holding a flash offset; false beyond the flash.
    static bool sectorAt(uint32_t offset, uint32_t &start, uint32_t &end);

    const std::vector<uint8_t> &flash() const { return m_flash; }
    void setUid(const uint32_t (&words)[kUidWords])
    {
        for (uint32_t i = 0; i < kUidWords; ++i)
            m_uid[i] = words[i];
    }
    // Start offsets of the sectors erased, in order (a mass erase logs every sector).
    const std::vector<uint32_t> &erasedSectors() const { return m_erasedSectors; }
    const std::vector<std::string> &faults() const { return m_faults; }
    bool unlocked() const { return m_unlocked; }
    uint32_t control() const { return m_ctrl; }
    uint32_t session() const { return m_session; }
    // Erases and page programs in order, each with the session it ran under: "erase 0x00000800
    // in 1", "program 0x00000100 in 2" (a program entry per run of consecutive words).
    const std::vector<std::string> &operations() const { return m_operations; }

    // Bus side, absolute addresses; size is the access width in bytes.
    uint32_t read(uint32_t address, unsigned size);
    void write(uint32_t address, unsigned size, uint32_t value);

private:
    void writeControl(uint32_t value);
    void writeFlash(uint32_t offset, unsigned size, uint32_t value);
    uint32_t readStatus();
    void busy();
    void fault(const std::string &what, uint32_t address, uint32_t value);
    void log(const char *what, uint32_t address);

    std::vector<uint8_t> m_flash;
    uint32_t m_uid[kUidWords] = {};
    std::vector<uint32_t> m_erasedSectors;
    std::vector<uint32_t> m_protected; // offsets inside the protected sectors
    std::vector<std::string> m_faults;
    std::vector<std::string> m_operations;
    uint32_t m_session = kSessionNone;
    uint32_t m_nextWord = ~0u; // offset a word must have to continue the last program entry
    uint32_t m_ctrl = kCtrlLock;
    uint32_t m_addr = 0;
    uint32_t m_stat = 0;
    bool m_unlocked = false;
    bool m_vendorLocked = false;
    int m_keyStage = 0;
    int m_unlockStage = 0;
    unsigned m_busyReads = 2;
    unsigned m_busyLeft = 0;
};
