// The functional check's loop: find the block (the firmware sets it up after reset), then read
// until a verdict; every path ends at the time-out.
#include "rttcheck.h"

#include <chrono>
#include <thread>

namespace rtt {

const char *verdictName(Verdict v)
{
    switch (v) {
    case Verdict::Passed:
        return "passed";
    case Verdict::Failed:
        return "failed";
    case Verdict::TimedOut:
        return "timeout";
    case Verdict::NoControlBlock:
        return "no-control-block";
    case Verdict::BadBlock:
        return "bad-control-block";
    case Verdict::ReadFailed:
        return "read-failed";
    }
    return "?";
}

CheckResult runCheck(UpReader &reader, const CheckOptions &options, std::function<int64_t()> nowMs,
                     std::function<void(int)> wait)
{
    if (!nowMs)
        nowMs = [] {
            return int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count());
        };
    if (!wait)
        wait = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    const int64_t end = nowMs() + std::max(options.timeoutMs, 0);
    CheckResult r;
    // A block the caller already found is not looked for again.
    bool found = reader.found();
    // At least one look, however short the time-out.
    for (bool first = true; first || nowMs() < end; first = false) {
        if (!first)
            wait(std::max(options.pollMs, 1));
        if (!found) {
            const Status s = reader.find(options.address);
            if (s == Status::NotFound) {
                r.verdict = Verdict::NoControlBlock;
                r.error = reader.error();
                continue;
            }
            if (s != Status::Ok) {
                r.verdict = s == Status::BadBlock ? Verdict::BadBlock : Verdict::ReadFailed;
                r.error = reader.error();
                return r;
            }
            found = true;
            r.verdict = Verdict::TimedOut;
            r.error.clear();
        }
        const Status s = reader.poll(r.text);
        if (r.text.size() > kMaxText)
            r.text = r.text.right(kMaxText);
        if (s != Status::Ok) {
            r.verdict = s == Status::BadBlock ? Verdict::BadBlock : Verdict::ReadFailed;
            r.error = reader.error();
            return r;
        }
        const QString text = QString::fromUtf8(r.text);
        if (!options.fail.pattern().isEmpty() && options.fail.match(text).hasMatch()) {
            r.verdict = Verdict::Failed;
            return r;
        }
        if (options.expect.match(text).hasMatch()) {
            r.verdict = Verdict::Passed;
            return r;
        }
    }
    return r;
}

} // namespace rtt
