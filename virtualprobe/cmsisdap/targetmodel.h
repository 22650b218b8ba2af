// Model of the QB48x parts a flash algorithm touches: NVIC and SysTick, the system registers,
// the flash controller and the two flash arrays. It logs register writes in order and records
// every access a real controller would refuse, so tests can assert both effect and protocol.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

class TargetModel
{
public:
    enum class Bank { Aprom, Ldrom };

    static constexpr uint32_t kFlashBase = 0x00000000;
    static constexpr uint32_t kFlashWindow = 0x20000;
    static constexpr uint32_t kApromSize = 0x1E000;
    static constexpr uint32_t kLdromSize = 0x2000;
    static constexpr uint32_t kSectorSize = 0x200;
    static constexpr uint32_t kScsBase = 0xE000E000;
    static constexpr uint32_t kSysBase = 0x40000000;
    static constexpr uint32_t kFmcBase = 0x4000B000;
    static constexpr uint32_t kPageSize = 0x1000; // of each register block

    static constexpr uint32_t kNvicIcer0 = 0xE000E180;
    static constexpr uint32_t kSystCsr = 0xE000E010;
    static constexpr uint32_t kSysConfig = 0x40000020;
    // Writing kPinsToGpio hands SWDIO and SWCLK to the GPIO block: the debug port hears nothing
    // more until nRESET is held, which gives the pins back.
    static constexpr uint32_t kSysPinFunction = 0x40000030;
    static constexpr uint32_t kPinsToGpio = 0x0000A5D1;
    static constexpr uint32_t kFmcCtrl = 0x4000B000;
    static constexpr uint32_t kFmcKey = 0x4000B004;
    static constexpr uint32_t kFmcSector = 0x4000B008;
    static constexpr uint32_t kFmcStatus = 0x4000B00C;
    static constexpr uint32_t kFmcCommand = 0x4000B010;

    static constexpr uint32_t kStatusProgramDone = 0x1;
    static constexpr uint32_t kStatusEraseDone = 0x2;
    static constexpr uint32_t kStatusBusy = 0x10000;
    static constexpr uint32_t kCommandProgram = 0x1;
    static constexpr uint32_t kCommandErase = 0x2;
    static constexpr uint32_t kCommandLdrom = 0x100;
    static constexpr uint32_t kCommandEraseEnable = 0x10000;
    static constexpr uint32_t kCommandLock = 0x80000000;
    static constexpr uint32_t kSectorBit28 = 0x10000000;
    static constexpr uint32_t kKeyFirst = 0x5A3C9E17;
    static constexpr uint32_t kKeySecond = 0xA5C361E8;

    using Access = std::pair<uint32_t, uint32_t>; // address, value

    struct Erase
    {
        Bank bank;
        uint32_t sectorValue; // as written, bit 28 included
        bool operator==(const Erase &o) const
        {
            return bank == o.bank && sectorValue == o.sectorValue;
        }
    };

    TargetModel();

    // Set-up.
    void setSystemConfig(uint32_t value) { m_sysConfig = value; }
    // Status reads that show busy after an operation starts before it completes.
    void setBusyReads(unsigned reads) { m_busyReads = reads; }
    // How long a programmed word and an erased sector keep the controller busy; the core waits
    // that long polling the busy bit, and a resume lasts the sum.
    void setTiming(uint32_t wordUs, uint32_t sectorUs)
    {
        m_wordNs = uint64_t(wordUs) * 1000;
        m_sectorNs = uint64_t(sectorUs) * 1000;
    }
    // The busy time of the operations started since the last call.
    uint64_t takeBusyNanoseconds()
    {
        const uint64_t ns = m_busyNs;
        m_busyNs = 0;
        return ns;
    }
    // A controller that never finishes an operation, to prove a run-away routine is caught.
    void setStalled(bool stalled) { m_stalled = stalled; }
    // These bits of the word at offset read as 1 whatever is programmed.
    void addStuckBits(Bank bank, uint32_t offset, uint32_t mask);
    void fill(Bank bank, uint8_t value);
    // The bank's first bytes as an earlier run left them (beyond the bank is dropped).
    void setFlash(Bank bank, const std::vector<uint8_t> &bytes);

    // Observation.
    const std::vector<Access> &registerWrites() const { return m_registerWrites; }
    const std::vector<Erase> &erases() const { return m_erases; }
    const std::vector<uint32_t> &flashReads() const { return m_flashReads; }
    const std::vector<std::string> &faults() const { return m_faults; }
    void clearLogs();
    uint32_t command() const { return m_command; }
    uint32_t status() const;
    bool unlocked() const { return m_unlocked; }
    bool swdPinsOff() const { return m_swdPinsOff; }
    void resetPins()
    {
        m_swdPinsOff = false;
        m_plainRegisters.erase(kSysPinFunction);
    }
    uint32_t flashWord(Bank bank, uint32_t offset) const;
    const std::vector<uint8_t> &flash(Bank bank) const;

    // Bus side, absolute addresses; size is the access width in bytes.
    uint32_t read(uint32_t address, unsigned size);
    void write(uint32_t address, unsigned size, uint32_t value);

private:
    enum class Operation { None, Program, Erase };

    uint32_t readRegister(uint32_t address);
    void writeRegister(uint32_t address, uint32_t value);
    void writeCommand(uint32_t value);
    void writeKey(uint32_t value);
    uint32_t readStatus();
    uint32_t readFlash(uint32_t offset, unsigned size);
    void writeFlash(uint32_t offset, unsigned size, uint32_t value);
    void start(Operation op);
    void complete();
    Bank selectedBank() const;
    std::vector<uint8_t> &array(Bank bank);
    void fault(const std::string &what, uint32_t address, uint32_t value);

    std::vector<uint8_t> m_aprom;
    std::vector<uint8_t> m_ldrom;
    std::map<std::pair<Bank, uint32_t>, uint32_t> m_stuckBits;
    std::map<uint32_t, uint32_t> m_plainRegisters;
    uint32_t m_sysConfig = 0;
    uint32_t m_command = 0;
    uint32_t m_sector = 0;
    uint32_t m_flags = 0; // done flags
    bool m_unlocked = false;
    bool m_swdPinsOff = false;
    int m_keyStage = 0;
    unsigned m_busyReads = 2;
    bool m_stalled = false;
    Operation m_pending = Operation::None;
    unsigned m_busyLeft = 0;
    uint64_t m_wordNs = 20000;
    uint64_t m_sectorNs = 4000000;
    uint64_t m_busyNs = 0;
    uint32_t m_pendingSector = 0;
    std::vector<Access> m_registerWrites;
    std::vector<Erase> m_erases;
    std::vector<uint32_t> m_flashReads;
    std::vector<std::string> m_faults;
};
