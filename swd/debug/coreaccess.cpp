// The Cortex-M core's debug registers through the MEM-AP: halting, running, and the core
// registers through DCRSR/DCRDR, each transfer waiting for S_REGRDY.
#include "swd/debug/debugport.h"

#include <QElapsedTimer>

namespace {

using dap::TransferOp;

constexpr uint8_t kApTar = 0x4;
constexpr uint8_t kApBd0 = 0x0, kApBd1 = 0x4, kApBd2 = 0x8; // DHCSR, DCRSR, DCRDR through TAR
constexpr uint32_t kSelectBank1 = 0x10;
constexpr uint32_t kRegWrite = 1u << 16;

TransferOp apWrite(uint8_t reg, uint32_t v)
{
    return {dap::request(true, false, reg), v};
}
TransferOp apRead(uint8_t reg)
{
    return {dap::request(true, true, reg)};
}

} // namespace

void DebugPort::coreRegisterReadOps(std::vector<TransferOp> &ops, int reg)
{
    ops.push_back(apWrite(kApBd1, uint32_t(reg)));
    ops.push_back({uint8_t(apRead(kApBd0).request | dap::kMatchValue), kReady});
    ops.push_back(apRead(kApBd2));
}

void DebugPort::debugRegisterWindow(std::vector<TransferOp> &ops)
{
    // TAR at DHCSR makes BD0..BD2 the DHCSR, DCRSR and DCRDR of the core.
    if (m_tar != kDhcsr) {
        selectBank(ops, 0);
        ops.push_back(apWrite(kApTar, kDhcsr));
        m_tar = kDhcsr;
    }
    selectBank(ops, kSelectBank1);
}

bool DebugPort::halted(bool &isHalted)
{
    std::vector<TransferOp> ops;
    debugRegisterWindow(ops);
    ops.push_back(apRead(kApBd0));
    std::vector<uint32_t> reads;
    if (!transferNow(std::move(ops), &reads, kDhcsr))
        return false;
    isHalted = reads[0] & kSHalt;
    return true;
}

bool DebugPort::waitHalt(int timeoutMs, const QString &what)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        bool isHalted = false;
        if (!halted(isHalted))
            return false;
        if (isHalted)
            return true;
        if (timer.elapsed() > timeoutMs)
            return m_link.fail(
                SwdNoHalt,
                QStringLiteral("core did not halt within %1 ms (%2)").arg(timeoutMs).arg(what));
    }
}

bool DebugPort::waitHaltAndRead(int timeoutMs, const QString &what, int reg, uint32_t &value,
                                uint32_t *pc)
{
    bool late = false;
    if (!waitHaltAndRead(timeoutMs, reg, value, late, pc))
        return false;
    return !late
        || m_link.fail(
            SwdNoHalt,
            QStringLiteral("core did not halt within %1 ms (%2)").arg(timeoutMs).arg(what));
}

bool DebugPort::waitHaltAndRead(int timeoutMs, int reg, uint32_t &value, bool &late, uint32_t *pc)
{
    late = false;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        // The register is read only when the match finds the core halted; DHCSR read plainly in
        // front tells a running core from a halted one whose register was not ready yet, in the
        // same round trip.
        std::vector<TransferOp> ops;
        debugRegisterWindow(ops);
        ops.push_back(readyMaskOp()); // a locked-up core is no return
        ops.push_back(apRead(kApBd0));
        ops.push_back({uint8_t(apRead(kApBd0).request | dap::kMatchValue), kReady});
        coreRegisterReadOps(ops, reg);
        if (pc)
            coreRegisterReadOps(ops, PC);
        bool running = false;
        uint64_t ticket = 0;
        uint32_t reads[3] = {0, 0, 0}; // DHCSR, the register, the PC
        if (!queue(std::move(ops), reads, kDhcsr, &running, &ticket) || !syncThrough(ticket))
            return false;
        if (!running) {
            value = reads[1];
            if (pc)
                *pc = reads[2];
            return true;
        }
        if ((reads[0] & (kSHalt | kSLockup)) == kSHalt)
            return readCoreRegister(reg, value) && (!pc || readCoreRegister(PC, *pc));
        if (timer.elapsed() > timeoutMs) {
            late = true;
            return true;
        }
    }
}

bool DebugPort::requestHalt()
{
    std::vector<TransferOp> ops;
    debugRegisterWindow(ops);
    ops.push_back(apWrite(kApBd0, kDbgKey | kCDebugEn | kCHalt));
    return submitTransfer(std::move(ops), nullptr, kDhcsr);
}

bool DebugPort::halt(int timeoutMs)
{
    return requestHalt() && waitHalt(timeoutMs, QStringLiteral("halt request"));
}

bool DebugPort::writeCoreRegisters(const std::vector<std::pair<int, uint32_t>> &registers)
{
    // Each register is two writes and a wait for S_REGRDY: a core clocked slower than the wire
    // drops a transfer requested while the previous one is still under way. The probe packet
    // bounds how many go in one command.
    std::vector<TransferOp> ops;
    debugRegisterWindow(ops);
    ops.push_back(readyMaskOp());
    for (const auto &[reg, value] : registers) {
        if (dap::transferRequestSize(ops) + 15 > size_t(m_link.packetSize())) {
            if (!submitTransfer(std::move(ops), nullptr, kDhcsr))
                return false;
            ops.clear();
            ops.push_back(readyMaskOp());
        }
        ops.push_back(apWrite(kApBd2, value));
        ops.push_back(apWrite(kApBd1, kRegWrite | uint32_t(reg)));
        ops.push_back({uint8_t(apRead(kApBd0).request | dap::kMatchValue), kReady});
    }
    return submitTransfer(std::move(ops), nullptr, kDhcsr);
}

bool DebugPort::readCoreRegister(int reg, uint32_t &value)
{
    std::vector<TransferOp> ops;
    debugRegisterWindow(ops);
    ops.push_back(readyMaskOp());
    coreRegisterReadOps(ops, reg);
    bool notReady = false;
    if (!queue(std::move(ops), &value, kDhcsr, &notReady) || !sync())
        return false;
    return !notReady
        || m_link.fail(
            SwdProtocol,
            QStringLiteral("core register %1 not ready (DHCSR S_REGRDY stays 0)").arg(reg));
}

bool DebugPort::run()
{
    std::vector<TransferOp> ops;
    debugRegisterWindow(ops);
    ops.push_back(apWrite(kApBd0, kDbgKey | kCDebugEn | kCMaskInts));
    return submitTransfer(std::move(ops), nullptr, kDhcsr);
}
