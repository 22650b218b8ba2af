// ADIv5 SW-DP and MEM-AP over CMSIS-DAP, and the Cortex-M debug registers on top: memory words,
// halt, core registers, run and reset. Block transfers are pipelined and checked at sync().
#pragma once

#include "swd/link/dappipe.h"

#include <deque>
#include <utility>
#include <vector>

class DebugPort
{
public:
    enum CoreRegister {
        R0 = 0,
        R1 = 1,
        R2 = 2,
        R3 = 3,
        R4 = 4,
        R5 = 5,
        R6 = 6,
        R7 = 7,
        R8 = 8,
        R9 = 9,
        SP = 13,
        LR = 14,
        PC = 15,
        XPSR = 16
    };

    static constexpr uint32_t kDhcsr = 0xE000EDF0;
    static constexpr uint32_t kDemcr = 0xE000EDFC;
    static constexpr uint32_t kAircr = 0xE000ED0C;
    static constexpr uint32_t kDbgKey = 0xA05F0000;
    static constexpr uint32_t kCDebugEn = 0x1;
    static constexpr uint32_t kCHalt = 0x2;
    static constexpr uint32_t kCMaskInts = 0x8;
    static constexpr uint32_t kSRegRdy = 1u << 16;
    static constexpr uint32_t kSHalt = 1u << 17;
    static constexpr uint32_t kSLockup = 1u << 19;

    explicit DebugPort(DapPipe &link);

    // Probe into SWD, line reset and JTAG-to-SWD switch, IDCODE, debug power-up, MEM-AP set-up.
    bool connect(uint32_t clockHz);
    void disconnect(); // best effort: the result so far stands
    // connect() in two halves, for debug sequences to bring the port up between them: the
    // probe's SWD mode and clock; then IDCODE and the MEM-AP set-up on a powered-up port.
    bool start(uint32_t clockHz);
    bool adopt();
    uint32_t idcode() const { return m_idcode; }
    // The MEM-AP (APSEL) of the core being debugged: memory and core control go through it.
    void setAccessPort(uint8_t apsel)
    {
        m_apsel = apsel;
        forgetWindow();
    }
    uint8_t accessPort() const { return m_apsel; }

    bool write32(uint32_t address, uint32_t value);
    bool read32(uint32_t address, uint32_t &value);
    // Queued: the words go out with as many commands in flight as the probe allows.
    bool writeBlock(uint32_t address, const uint32_t *words, size_t count);
    // Queued: `words` must stay valid until sync().
    bool readBlock(uint32_t address, uint32_t *words, size_t count);
    bool sync();

    bool halt(int timeoutMs);
    bool requestHalt(); // queued; waitHalt() tells when it took effect
    bool halted(bool &isHalted);
    bool waitHalt(int timeoutMs, const QString &what);
    // The same, reading one core register (and the PC, with `pc`) in the report that finds the
    // core halted.
    bool waitHaltAndRead(int timeoutMs, const QString &what, int reg, uint32_t &value,
                         uint32_t *pc = nullptr);
    // The same, but a core still running after timeoutMs is no failure: `late` says so.
    bool waitHaltAndRead(int timeoutMs, int reg, uint32_t &value, bool &late,
                         uint32_t *pc = nullptr);
    // Queued, like run(): the core must be halted and stay so until they are carried out.
    bool writeCoreRegisters(const std::vector<std::pair<int, uint32_t>> &registers);
    bool readCoreRegister(int reg, uint32_t &value);
    bool run();

    // Building blocks for a pipeline of one's own. The window ops put SELECT and TAR where a
    // memory access at `address`, or the core's debug registers (BD0..BD2), need them.
    void memoryWindow(std::vector<dap::TransferOp> &ops, uint32_t address);
    size_t memoryWindowCost(uint32_t address) const
    {
        return (m_select != apSelect(0) ? 1 : 0) + (m_tar != address ? 1 : 0);
    }
    void debugRegisterWindow(std::vector<dap::TransferOp> &ops);
    void tarAdvanced(uint32_t address) { m_tar = address % 0x400 ? address : ~0u; }
    // Queues a DAP_Transfer; its reads land in sink. With `mismatch`, a value-match read that
    // does not match sets it instead of failing. ticket numbers it for syncThrough().
    bool queue(std::vector<dap::TransferOp> ops, uint32_t *sink, uint32_t address,
               bool *mismatch = nullptr, uint64_t *ticket = nullptr);
    // Collects and checks replies up to and including the one of `ticket`.
    bool syncThrough(uint64_t ticket);
    uint64_t lastTicket() const { return m_tickets; }
    static dap::TransferOp apWriteOp(uint8_t reg, uint32_t value)
    {
        return {dap::request(true, false, reg), value};
    }
    static dap::TransferOp apReadOp(uint8_t reg) { return {dap::request(true, true, reg)}; }
    // Every value-match read of DHCSR asks for a core halted, not locked up, with S_REGRDY set;
    // the probe keeps the mask between commands, and nothing here sets another.
    static constexpr uint32_t kReadyMask = kSHalt | kSLockup | kSRegRdy;
    static constexpr uint32_t kReady = kSHalt | kSRegRdy;
    static dap::TransferOp readyMaskOp() { return {dap::kMatchMask, kReadyMask}; }
    // With the debug registers in the window and the mask set: selects `reg` and reads it from
    // DCRDR once DHCSR shows S_REGRDY (the probe's match retries are the poll; a register that
    // never gets ready is a mismatch).
    static void coreRegisterReadOps(std::vector<dap::TransferOp> &ops, int reg);

    DapPipe &link() { return m_link; }
    // After raw transfers of someone else's: SELECT and TAR are set again by the next access.
    void forgetWindow() { m_select = m_tar = ~0u; }
    const SwdResult &error() const { return m_link.error(); }

private:
    struct Pending
    {
        std::vector<dap::TransferOp> ops; // empty: a block transfer
        uint16_t blockCount = 0;
        bool blockRead = false;
        uint32_t *sink = nullptr;
        uint32_t address = 0; // for the message
        bool *mismatch = nullptr;
        uint64_t ticket = 0;
    };

    bool submitTransfer(std::vector<dap::TransferOp> ops, uint32_t *sink, uint32_t address);
    bool transferNow(std::vector<dap::TransferOp> ops, std::vector<uint32_t> *reads,
                     uint32_t address);
    bool check(const Pending &pending, const dap::Packet &reply);
    static uint32_t failedAddress(const Pending &pending, unsigned done);
    bool commands(const std::vector<dap::Packet> &packets);
    bool block(uint32_t address, uint32_t *words, size_t count, bool read);
    void selectBank(std::vector<dap::TransferOp> &ops, uint32_t bank);
    uint32_t apSelect(uint32_t bank) const { return uint32_t(m_apsel) << 24 | bank; }

    DapPipe &m_link;
    uint64_t m_tickets = 0;
    std::deque<Pending> m_pending;
    uint32_t m_idcode = 0;
    uint8_t m_apsel = 0;
    // What SELECT and TAR hold, as far as the host knows; ~0 after anything uncertain.
    uint32_t m_select = ~0u;
    uint32_t m_tar = ~0u;
};
