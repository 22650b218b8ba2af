// What the debug sequences act on: DP/AP registers, memory through an access port, the probe's
// pins, clock and line sequences, and time. The probe implements it; tests use a recording fake.
#pragma once

#include <QString>

#include <cstdint>

class SequenceHost
{
public:
    virtual ~SequenceHost() = default;

    // DP registers by A[3:2]; AP registers by their full address (bank and A[3:2]).
    virtual bool readDp(uint8_t address, uint32_t &value) = 0;
    virtual bool writeDp(uint8_t address, uint32_t value) = 0;
    virtual bool readAp(uint8_t ap, uint8_t address, uint32_t &value) = 0;
    virtual bool writeAp(uint8_t ap, uint8_t address, uint32_t value) = 0;
    // bits: 8, 16, 32 or 64, with the address aligned to it.
    virtual bool readMemory(uint8_t ap, int bits, uint64_t address, uint64_t &value) = 0;
    virtual bool writeMemory(uint8_t ap, int bits, uint64_t address, uint64_t value) = 0;
    // DAP_SWJ_Pins: `pins` is what the probe reads back after the wait.
    virtual bool swjPins(uint8_t out, uint8_t select, uint32_t waitUs, uint8_t &pins) = 0;
    virtual bool swjClock(uint32_t hertz) = 0;
    virtual bool swjSequence(unsigned bits, uint64_t data) = 0; // bits 1..64, LSB first
    virtual bool delayUs(uint32_t us) = 0;
    virtual uint64_t nowUs() = 0; // a monotonic clock for the time-outs
    // Why the last call failed; a target that answered FAULT or WAIT may be recovered from,
    // which the sequence asks for with __errorcontrol.
    virtual QString lastError() const = 0;
    // An atomic block: from beginAtomic() the DP, AP and memory accesses and line sequences are
    // held, their reads answering 0, and endAtomic(true) sends them as one unit, the accesses in
    // one DAP_Transfer that stops at the first the target refuses; false with why. A host that
    // cannot hold them runs each at once.
    virtual void beginAtomic() { }
    virtual bool endAtomic(bool send)
    {
        (void)send;
        return true;
    }
    virtual bool recoverable() const = 0;
    virtual void recover() = 0;
};
