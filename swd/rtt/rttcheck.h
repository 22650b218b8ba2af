// The board's own self-test after programming: read RTT up-buffer 0 until the expected text, a
// failure text or the time-out.
#pragma once

#include "rttreader.h"

#include <QRegularExpression>
#include <QString>
#include <functional>

namespace rtt {

enum class Verdict {
    Passed, // the expected pattern matched
    Failed, // the failure pattern matched first
    TimedOut, // neither within the time
    NoControlBlock, // none found within the time
    BadBlock, // a control block whose descriptor cannot be right
    ReadFailed, // the debug port failed
};
const char *verdictName(Verdict v); // "passed", "failed", "timeout", "no-control-block", ...

struct CheckOptions
{
    QRegularExpression expect;
    QRegularExpression fail; // not matched when it has no pattern
    int timeoutMs = 5000;
    int pollMs = 10; // between two reads: the firmware's time to print more
    uint32_t address = 0; // the control block's place when known; 0: search the RAM
};

struct CheckResult
{
    Verdict verdict = Verdict::TimedOut;
    QByteArray text; // what the firmware printed, its last kMaxText bytes
    QString error; // set for NoControlBlock, BadBlock and ReadFailed
    bool matched() const { return verdict == Verdict::Passed; }
};

// The record keeps this much of what the board printed; patterns match within it.
constexpr int kMaxText = 4096;

// A reader that has found its block polls it from the start. `nowMs` and `wait` are the clock and
// the pause (a fake in tests); both default to real time.
CheckResult runCheck(UpReader &reader, const CheckOptions &options,
                     std::function<int64_t()> nowMs = {}, std::function<void(int)> wait = {});

} // namespace rtt
