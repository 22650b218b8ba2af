// Runs one programming job on several probes at once: one thread and one copy of the job record per
// probe, with progress and a result per probe, and a cancel that stops every probe between
// exchanges.
#pragma once

#include "download.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

struct GangProgress
{
    // Waiting and Removal only on a line: no chip yet, or the last board is still in the fixture.
    enum class Phase { Connect, Erase, Program, Finish, Waiting, Removal };
    int probe = 0; // index into the runner's path list
    int boards = 0; // boards this probe has run on a line (counting the one running)
    Phase phase = Phase::Connect;
    int image = -1; // Program: the image slot being sent; otherwise -1
    int percent = 0; // 0..100 within the phase (Program: within the image)
};

// passed: the run ended with code 0 or 5. failed: the probe did not connect or the run ended with
// another code. interrupted: a cancel refused one of the probe's reports (or came before it
// started), so its code is not the chip's real outcome.
enum class GangStatus { Passed, Failed, Interrupted };
const char *gangStatusName(GangStatus status); // "passed", "failed", "interrupted"

struct GangResult
{
    QByteArray path;
    GangStatus status = GangStatus::Failed;
    int32_t connectCode = 0; // connectProbeAt's code; 0 when a cancel came first
    uint32_t probeId = 0; // the firmware word the probe reported; 0 when it did not
    int32_t code = -1; // runProgramming's result code; -1 when no run started
    uint32_t deviceId = 0; // what this probe's chip detect read
    int64_t durationUs = 0; // connect to disconnect
    bool heldBack = false; // Prepare refused this run (a ledger or record that could not be used)
    QString message; // the run's own outcome text when its code is not a probe result code
    // Over SWD: the chip's unique ID (hex) when the job reads one, and the self-test's verdict
    // with what the board printed when it ran.
    QString chipUid;
    QString functional;
    QByteArray functionalText;
};

// A hands-free line: every probe stays connected, polls its chip detect, runs the job when a chip
// answers and waits until that chip is gone before arming again, each at its own pace.
struct LineOptions
{
    bool enabled = false;
    int pollMs = 300; // between two presence checks while idle
    int boards = 0; // per probe; 0: until cancelled
};

// Microseconds from `start` to now, for a board's duration.
int64_t microsecondsSince(std::chrono::steady_clock::time_point start);

// Whether the probe at `index` was listed before (the same path): every gang fails it (connect
// code -1) without opening it, since two jobs on one probe would steal each other's replies.
inline bool repeatsAnEarlierProbe(const std::vector<QByteArray> &paths, size_t index)
{
    return std::find(paths.begin(), paths.begin() + std::ptrdiff_t(index), paths[index])
        != paths.begin() + std::ptrdiff_t(index);
}

// What every gang shares, whatever the probes speak: the callbacks, the line's pace, the cancel and
// the one rule that turns a run's end into a probe's status.
class Gang
{
public:
    // Called from the probe threads. Progress and Finished calls come one at a time, and so do
    // Prepare calls (apart from them: a slow ledger look-up holds up no other probe's progress).
    using Progress = std::function<void(const GangProgress &)>;
    // After the probe connected and before its run: per-probe values such as the rolling code.
    // false: this probe does not run (failed, code -1), e.g. when a serial ledger has run out.
    using Prepare = std::function<bool(int index, Download &job)>;
    using Finished = std::function<void(int index, const GangResult &result)>;

    virtual ~Gang() = default;
    void setProgress(Progress callback);
    void setPrepare(Prepare callback);
    void setFinished(Finished callback);
    // On a line Prepare and Finished come once per board; run() returns each probe's last board.
    void setLine(const LineOptions &options);

    // Blocks until every probe has ended; one result per probe, in listed order.
    virtual std::vector<GangResult> run() = 0;
    // Safe from any thread and from a signal handler: each probe finishes the exchange in flight
    // and writes nothing more.
    void cancel();
    bool cancelled() const;

protected:
    bool pause(int ms) const; // false when cancelled meanwhile
    bool ready(int index, Download &job);
    void report(const GangProgress &event);
    // The board's status from its outcome (`refused`: a cancel refused one of its exchanges), then
    // the Finished call.
    void endBoard(int index, GangResult &result, bool refused);
    void probeLost(int index, GangResult &result);

    LineOptions line;

private:
    Progress progress;
    Prepare prepare;
    Finished finished;
    std::mutex progressMutex; // Progress and Finished
    std::mutex prepareMutex;
    std::atomic<bool> stop{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "cancel() must be signal-safe");
};

class GangRunner : public Gang
{
public:
    // The prototype's options and image buffers are shared read-only by every probe's copy; the
    // buffers must outlive run(). Its own connection, if any, is left alone.
    GangRunner(const Download &prototype, std::vector<QByteArray> paths);

    // A path listed again fails (connect code -1) without being opened: two jobs on one probe
    // would mix their reports.
    std::vector<GangResult> run() override;

private:
    class Gate;
    void runProbe(int index, GangResult &result);
    void runLine(int index, Download &job, Gate &gate, GangResult &result);
    void endBoard(Gate &gate, GangResult &result);

    Download prototype;
    std::vector<QByteArray> paths;
};
