// A recording host for the sequence tests: every call one line of its log, a clock that moves
// with each look at it, and a target whose reset write can lose its ACK or do nothing.
#pragma once

#include "swd/debug/sequencerunner.h"

#include <map>
#include <ostream>

// Readable failures: gtest would print a QString's bytes.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace seqtest {

struct FakeHost : SequenceHost
{
    QStringList log;
    std::map<uint64_t, uint64_t> memory;
    uint32_t dhcsrAfterReset = 0;
    bool aircrLosesAck = false, resets = true;
    uint64_t faultAt = ~0ull;
    uint64_t now = 0;
    bool recoverableFailure = true;

    static QString h(uint64_t v) { return "0x" + QString::number(v, 16).toUpper(); }
    bool failWith(const QString &why)
    {
        error = why;
        return false;
    }
    bool readDp(uint8_t a, uint32_t &v) override
    {
        log << "RDP " + h(a);
        v = a == 0x4 ? 0xF0000000 : 0x0BB11477;
        return true;
    }
    bool writeDp(uint8_t a, uint32_t v) override { return log << "WDP " + h(a) + " " + h(v), true; }
    bool readAp(uint8_t ap, uint8_t a, uint32_t &v) override
    {
        log << QStringLiteral("RAP%1 %2").arg(ap).arg(h(a));
        v = 0x04770031;
        return true;
    }
    bool writeAp(uint8_t ap, uint8_t a, uint32_t v) override
    {
        return log << QStringLiteral("WAP%1 %2 %3").arg(ap).arg(h(a), h(v)), true;
    }
    bool readMemory(uint8_t ap, int bits, uint64_t a, uint64_t &v) override
    {
        log << QStringLiteral("R%1 AP%2 %3").arg(bits).arg(ap).arg(h(a));
        if (a == faultAt)
            return failWith("FAULT");
        v = memory[a];
        if (a == 0xE000EDF0)
            memory[a] = 0; // S_RESET_ST clears on read
        return true;
    }
    bool writeMemory(uint8_t ap, int bits, uint64_t a, uint64_t v) override
    {
        log << QStringLiteral("W%1 AP%2 %3 %4").arg(bits).arg(ap).arg(h(a), h(v));
        if (a == faultAt)
            return failWith("FAULT");
        memory[a] = v;
        if (a == 0xE000ED0C && resets)
            memory[0xE000EDF0] = dhcsrAfterReset;
        if (a == 0xE000ED0C && aircrLosesAck)
            return failWith("no ACK");
        return true;
    }
    bool swjPins(uint8_t out, uint8_t sel, uint32_t wait, uint8_t &pins) override
    {
        log << QStringLiteral("PINS %1 %2 %3").arg(h(out), h(sel)).arg(wait);
        pins = out | 0x7F;
        return true;
    }
    bool swjClock(uint32_t hz) override { return log << QStringLiteral("CLOCK %1").arg(hz), true; }
    bool swjSequence(unsigned bits, uint64_t data) override
    {
        return log << QStringLiteral("SEQ %1 %2").arg(bits).arg(h(data)), true;
    }
    bool delayUs(uint32_t us) override
    {
        now += us;
        return log << QStringLiteral("DELAY %1").arg(us), true;
    }
    uint64_t nowUs() override { return now += 1000; }
    QString lastError() const override { return error; }
    bool recoverable() const override { return recoverableFailure; }
    void recover() override { log << "RECOVER"; }
    QString error;
};

} // namespace seqtest
