// The USB side of the virtual probe: one output report in, its reply queued for the next reads,
// with unplugging, injected faults, queued replies and the trace applied on the way.
#include "probestate.h"

#include <algorithm>

namespace vprobe {

void VirtualProbe::State::unplug()
{
    if (present)
        ++generation;
    present = false;
    pending.reset();
    unplugCountdown = 0;
    firmware.powerCycle();
}

void VirtualProbe::State::record(TraceEntry entry)
{
    if (traceFile) {
        static const char *const names[] = {"open",  "close", "manufacturer", "product",
                                            "write", "read",  "serial"};
        std::fprintf(traceFile, "%s result=%d timeout=%d", names[int(entry.kind)], entry.result,
                     entry.timeoutMs);
        for (uint8_t b : entry.data)
            std::fprintf(traceFile, " %02X", b);
        std::fputc('\n', traceFile);
        std::fflush(traceFile);
    }
    trace.push_back(std::move(entry));
    if (traceLimit && trace.size() > traceLimit)
        trace.pop_front();
}

// Applies the first injected fault of each kind that waits for `command`.
Reply VirtualProbe::State::spoil(uint8_t command, Reply reply, int &withhold)
{
    unsigned appliedKinds = 0;
    for (auto it = faults.begin(); it != faults.end();) {
        const unsigned kindBit = 1u << int(it->fault);
        if (it->command != command || (appliedKinds & kindBit)) {
            ++it;
            continue;
        }
        appliedKinds |= kindBit;
        switch (it->fault) {
        case ReplyFault::Withhold:
            withhold = it->count;
            it = faults.erase(it); // its count is in reads, all spent on this one reply
            continue;
        case ReplyFault::Short:
            reply.resize(inReportSize - 1);
            break;
        case ReplyFault::Long:
            reply.resize(inReportSize + 1, 0);
            break;
        case ReplyFault::WrongEcho:
            reply[0] = uint8_t(~command);
            break;
        case ReplyFault::Status:
            reply[1] = it->value;
            break;
        }
        it = --it->count <= 0 ? faults.erase(it) : it + 1;
    }
    return reply;
}

int VirtualProbe::State::write(hid_device *dev, const unsigned char *data, size_t length)
{
    // hidapi counts the report-id byte; the probe's output report is exactly id + 64 bytes.
    const bool ok = alive(dev) && data && length == outReportSize && data[0] == 0;
    TraceEntry entry{TraceEntry::Kind::Write, {}, 0, ok ? int(length) : -1};
    if (data)
        entry.data.assign(data, data + std::min(length, outReportSize));
    record(std::move(entry));
    if (!ok)
        return -1;

    OutReport out{};
    std::copy_n(data, length, out.begin());
    pending.reset();
    lastCommand = out[1];
    if (unplugCountdown > 0 && --unplugCountdown == 0) {
        unplug();
        return int(length);
    }
    Reply reply = firmware.process(out);
    auto queue = queued.find(out[1]);
    if (queue != queued.end() && !queue->second.empty()) {
        pending = PendingReply{std::move(queue->second.front()), 0};
        queue->second.pop_front();
    } else {
        int withhold = 0;
        reply = spoil(out[1], std::move(reply), withhold);
        pending = PendingReply{std::move(reply), withhold};
    }
    return int(length);
}

ReadOutcome VirtualProbe::State::read(hid_device *dev, int timeoutMs)
{
    ReadOutcome outcome;
    if (!alive(dev)) {
        outcome.result = -1;
        return outcome;
    }
    if (pending && pending->withhold == 0) {
        outcome.bytes = std::move(pending->bytes);
        pending.reset();
    } else if (!pending && lastCommand >= 0 && !queued[uint8_t(lastCommand)].empty()) {
        // A further report the probe sends for the same request.
        outcome.bytes = std::move(queued[uint8_t(lastCommand)].front());
        queued[uint8_t(lastCommand)].pop_front();
    } else {
        if (pending && pending->withhold > 0)
            --pending->withhold;
        // The host never blocks without a time-out; a negative one returns at once rather than
        // hang.
        const uint64_t waitUs = uint64_t(std::max(timeoutMs, 0)) * 1000;
        if (realTime)
            outcome.sleepUs = waitUs;
        else
            virtualUs += waitUs;
        return outcome;
    }
    if (realTime)
        outcome.sleepUs = uint64_t(latencyUs);
    else
        virtualUs += uint64_t(latencyUs);
    outcome.result = int(outcome.bytes.size());
    return outcome;
}

} // namespace vprobe
