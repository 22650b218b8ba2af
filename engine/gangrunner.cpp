// One job on several probes at once, one thread per probe; see gangrunner.h.
#include "gangrunner.h"

#include "handlebar.h"
#include "job/messages.h"
#include "presence.h"
#include "probe/probelist.h"
#include "probe/reports.h"
#include "probe/transport.h"
#include "restarts.h"

#include <algorithm>
#include <chrono>
#include <thread>

const char *gangStatusName(GangStatus status)
{
    switch (status) {
    case GangStatus::Passed:
        return "passed";
    case GangStatus::Failed:
        return "failed";
    case GangStatus::Interrupted:
        break;
    }
    return "interrupted";
}

int64_t microsecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now()
                                                                 - start)
        .count();
}

// Installed on one probe's thread: refuses every report once the runner is cancelled, and turns
// the commands written and the job's progress bar into that probe's phases.
class GangRunner::Gate : public probe::ReportGate
{
public:
    Gate(GangRunner &runner, int index)
        : runner(runner)
    {
        last.probe = index;
        last.percent = -1;
        probe::setReportGate(this);
    }
    ~Gate() override { probe::setReportGate(nullptr); }

    bool beforeWrite(const uint8_t *out) override
    {
        if (runner.cancelled()) {
            refused = true;
            return false;
        }
        switch (out[1]) {
        case probe::cmd::chipDetect: // a run (or its restart) begins: its images count afresh
            image = -1;
            break;
        case probe::cmd::erase:
            show(GangProgress::Phase::Erase, -1, 0);
            break;
        case probe::cmd::imageStart:
            show(GangProgress::Phase::Program, ++image, 0);
            break;
        case probe::cmd::rollingCode:
        case probe::cmd::finish:
            show(GangProgress::Phase::Finish, -1, 0);
            break;
        default:
            break;
        }
        return true;
    }

    // The job's progress bar: a share of the image sent, or of the erase (its time-out count in
    // between is no share, so only its end is shown).
    void bar(int value)
    {
        if (last.phase == GangProgress::Phase::Program)
            show(last.phase, image, qBound(0, value, 100));
        else if (last.phase == GangProgress::Phase::Erase && value == 100)
            show(last.phase, -1, 100);
    }

    void show(GangProgress::Phase phase, int slot, int percent)
    {
        if (phase == last.phase && slot == last.image && percent == last.percent
            && board == last.boards)
            return;
        last.phase = phase;
        last.image = slot;
        last.percent = percent;
        last.boards = board;
        runner.report(last);
    }

    int index() const { return last.probe; }

    bool refused = false;
    int board = 0;

private:
    GangRunner &runner;
    GangProgress last;
    int image = -1;
};

GangRunner::GangRunner(const Download &prototype, std::vector<QByteArray> paths)
    : prototype(prototype)
    , paths(std::move(paths))
{ }

void Gang::setProgress(Progress callback)
{
    progress = std::move(callback);
}

void Gang::setPrepare(Prepare callback)
{
    prepare = std::move(callback);
}

void Gang::setFinished(Finished callback)
{
    finished = std::move(callback);
}

void Gang::setLine(const LineOptions &options)
{
    line = options;
    line.pollMs = std::max(options.pollMs, 1);
}

bool Gang::pause(int ms) const
{
    // In slices, so a cancel (perhaps from a signal handler, which cannot wake a waiter) is seen
    // within 50 ms.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cancelled()) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(50)));
    }
    return false;
}

void Gang::cancel()
{
    stop.store(true, std::memory_order_relaxed);
}

bool Gang::cancelled() const
{
    return stop.load(std::memory_order_relaxed);
}

void Gang::report(const GangProgress &event)
{
    std::lock_guard<std::mutex> lock(progressMutex);
    if (progress)
        progress(event);
}

std::vector<GangResult> GangRunner::run()
{
    std::vector<GangResult> results(paths.size());
    std::vector<std::thread> threads;
    threads.reserve(paths.size());
    for (size_t k = 0; k < paths.size(); ++k)
        threads.emplace_back([this, k, &results] { runProbe(int(k), results[k]); });
    for (std::thread &t : threads)
        t.join();
    return results;
}

bool Gang::ready(int index, Download &job)
{
    std::lock_guard<std::mutex> lock(prepareMutex);
    return !prepare || prepare(index, job);
}

void GangRunner::runProbe(int index, GangResult &result)
{
    const auto start = std::chrono::steady_clock::now();
    result.path = paths[size_t(index)];

    // Its own record and chip record: the prototype's connection and chip are not this probe's.
    Download job = prototype;
    job.device = nullptr;
    job.connected = 0;
    ChipRecord chip = prototype.chip ? *prototype.chip : ChipRecord{};
    chip.deviceId = 0;
    job.chip = &chip;
    HandleBar bar;
    job.handleBar = &bar;
    Gate gate(*this, index);
    QObject::connect(&bar, &HandleBar::progressBarSet, [&gate](int value) { gate.bar(value); });

    if (repeatsAnEarlierProbe(paths, size_t(index))) {
        result.connectCode = -1;
    } else if (!cancelled()) {
        gate.show(GangProgress::Phase::Connect, -1, 0);
        result.connectCode = connectProbeAt(job, result.path);
        result.probeId = job.probeId;
    }
    if (result.connectCode == 1 && line.enabled) {
        runLine(index, job, gate, result);
        job.toggleConnection();
        return;
    }
    if (result.connectCode == 1) {
        gate.show(GangProgress::Phase::Connect, -1, 100);
        if (ready(index, job)) {
            result.code = engine::runWithRestarts(
                job, [&] { return !cancelled() && connectProbeAt(job, result.path) == 1; });
            result.deviceId = chip.deviceId;
        } else {
            result.heldBack = true;
        }
        job.toggleConnection();
    }
    result.durationUs = microsecondsSince(start);
    endBoard(gate, result);
}

// Ends one board: its status from the run's outcome, then the Finished call.
void GangRunner::endBoard(Gate &gate, GangResult &result)
{
    if (!gate.refused && result.connectCode != 0 && job::runPassed(result.code))
        gate.show(GangProgress::Phase::Finish, -1, 100);
    Gang::endBoard(gate.index(), result, gate.refused);
}

void Gang::endBoard(int index, GangResult &result, bool refused)
{
    if (refused || result.connectCode == 0)
        result.status = GangStatus::Interrupted;
    else
        result.status = job::runPassed(result.code) ? GangStatus::Passed : GangStatus::Failed;
    std::lock_guard<std::mutex> lock(progressMutex);
    if (finished)
        finished(index, result);
}

// A probe gone from the bus ends its line with one more result: not connected.
void Gang::probeLost(int index, GangResult &result)
{
    result.code = -1;
    result.connectCode = -1;
    result.deviceId = 0;
    result.durationUs = 0;
    result.status = GangStatus::Failed;
    std::lock_guard<std::mutex> lock(progressMutex);
    if (finished)
        finished(index, result);
}

void GangRunner::runLine(int index, Download &job, Gate &gate, GangResult &result)
{
    for (int board = 1; line.boards == 0 || board <= line.boards; ++board) {
        gate.board = board - 1;
        gate.show(GangProgress::Phase::Waiting, -1, 0);
        engine::Presence presence = engine::Presence::Absent;
        while ((presence = engine::chipPresence(job)) == engine::Presence::Absent
               && pause(line.pollMs)) { }
        if (cancelled())
            return;
        if (presence == engine::Presence::LinkLost)
            return probeLost(index, result);
        const auto start = std::chrono::steady_clock::now();
        gate.board = board;
        gate.refused = false;
        result.code = -1;
        result.deviceId = 0;
        result.heldBack = false;
        // Prepare sets per-board values (the ledger's serial): each board starts from the job's.
        job.rollingCodeValue = prototype.rollingCodeValue;
        if (ready(index, job)) {
            gate.show(GangProgress::Phase::Connect, -1, 100);
            result.code = engine::runWithRestarts(
                job, [&] { return !cancelled() && connectProbeAt(job, result.path) == 1; });
            result.deviceId = job.chip->deviceId;
        } else {
            result.heldBack = true;
        }
        result.durationUs = microsecondsSince(start);
        endBoard(gate, result);
        if (cancelled() || (line.boards != 0 && board >= line.boards))
            return;
        // The board stays until the operator takes it: never the same board twice.
        gate.show(GangProgress::Phase::Removal, -1, 0);
        while ((presence = engine::chipPresence(job)) == engine::Presence::Attached
               && pause(line.pollMs)) { }
        if (presence == engine::Presence::LinkLost && !cancelled())
            return probeLost(index, result);
    }
}
