// The sequences' host on a real probe: raw DP/AP transfers through the DebugPort's pipe, which
// forgets its SELECT and TAR afterwards, since a sequence may have changed either.
#pragma once

#include "swd/debug/debugport.h"
#include "swd/debug/sequencehost.h"

#include <optional>

class PortSequenceHost : public SequenceHost
{
public:
    explicit PortSequenceHost(DebugPort &port);

    bool readDp(uint8_t address, uint32_t &value) override;
    bool writeDp(uint8_t address, uint32_t value) override;
    bool readAp(uint8_t ap, uint8_t address, uint32_t &value) override;
    bool writeAp(uint8_t ap, uint8_t address, uint32_t value) override;
    bool readMemory(uint8_t ap, int bits, uint64_t address, uint64_t &value) override;
    bool writeMemory(uint8_t ap, int bits, uint64_t address, uint64_t value) override;
    bool swjPins(uint8_t out, uint8_t select, uint32_t waitUs, uint8_t &pins) override;
    bool swjClock(uint32_t hertz) override;
    bool swjSequence(unsigned bits, uint64_t data) override;
    bool delayUs(uint32_t us) override;
    uint64_t nowUs() override;
    QString lastError() const override { return m_error; }
    bool recoverable() const override { return m_recoverable; }
    void recover() override;
    void beginAtomic() override;
    bool endAtomic(bool send) override;

private:
    bool transfer(const std::vector<dap::TransferOp> &ops, std::vector<uint32_t> *reads);
    bool command(const dap::Packet &packet, dap::Packet &reply);
    bool memory(uint8_t ap, int bits, uint32_t address, bool read, uint64_t &value);

    DebugPort &m_port;
    QString m_error;
    bool m_recoverable = false;
    dap::TransferFailure m_failure = dap::TransferFailure::None;
    bool m_atomic = false;
    std::vector<dap::Packet> m_held; // an atomic block's line sequences, in order
    std::vector<dap::TransferOp> m_heldOps; // and its accesses since the last of them
    std::vector<size_t> m_heldAt; // where in m_held each sequence went: the ops come first
    std::optional<uint32_t> m_heldSelect, m_heldCsw; // as the held ops leave them
    bool m_atomicCsw = false; // the block used the core's access port: CSW is put back after
};
