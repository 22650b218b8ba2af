// One job on several CMSIS-DAP probes at once over SWD; see swdgangrunner.h.
#include "swdgangrunner.h"

#include "job/messages.h"
#include "presence.h"

#include <chrono>
#include <thread>

// The SWD run's named steps as a probe's phases, each change reported once.
class SwdGangRunner::Phases
{
public:
    Phases(SwdGangRunner &runner, int index)
        : runner(runner)
    {
        last.probe = index;
        last.percent = -1;
    }

    void step(const QString &name, int percent)
    {
        if (name == QLatin1String("connect"))
            show(GangProgress::Phase::Connect, -1, percent);
        else if (name == QLatin1String("erase"))
            show(GangProgress::Phase::Erase, -1, percent);
        else if (name == QLatin1String("program"))
            show(GangProgress::Phase::Program, 0, percent);
        else
            show(GangProgress::Phase::Finish, -1, percent);
    }

    void show(GangProgress::Phase phase, int image, int percent)
    {
        if (phase == last.phase && image == last.image && percent == last.percent
            && board == last.boards)
            return;
        last.phase = phase;
        last.image = image;
        last.percent = percent;
        last.boards = board;
        runner.report(last);
    }

    int board = 0;

private:
    SwdGangRunner &runner;
    GangProgress last;
};

// Between the runner and one probe: once the runner is cancelled nothing more is sent, so a run
// stops after the exchange in flight and the board counts as interrupted.
class SwdGangRunner::Gate : public DapTransport
{
public:
    Gate(DapTransport &probe, const Gang &runner)
        : probe(probe)
        , runner(runner)
    { }
    int send(const uint8_t *data, size_t length, QString &error) override
    {
        if (runner.cancelled()) {
            refused = true;
            error = QStringLiteral("cancelled");
            return SwdProbeLost;
        }
        return probe.send(data, length, error);
    }
    int receive(uint8_t *data, size_t capacity, int timeoutMs, QString &error) override
    {
        return probe.receive(data, capacity, timeoutMs, error);
    }
    int maxPacketSize() const override { return probe.maxPacketSize(); }
    void setPacketSize(int bytes) override { probe.setPacketSize(bytes); }
    const char *name() const override { return probe.name(); }
    bool padsReplies() const override { return probe.padsReplies(); }

    bool refused = false;

private:
    DapTransport &probe;
    const Gang &runner;
};

SwdGangRunner::SwdGangRunner(const Download &prototype, std::vector<DapProbe> probes,
                             DapTransportChoice choice, uint32_t clockHz, Run run)
    : prototype(prototype)
    , probes(std::move(probes))
    , choice(choice)
    , clockHz(clockHz)
    , runJob(std::move(run))
{ }

std::vector<GangResult> SwdGangRunner::run()
{
    std::vector<GangResult> results(probes.size());
    std::vector<std::thread> threads;
    threads.reserve(probes.size());
    for (size_t k = 0; k < probes.size(); ++k)
        threads.emplace_back([this, k, &results] { runProbe(int(k), results[k]); });
    for (std::thread &t : threads)
        t.join();
    return results;
}

void SwdGangRunner::runProbe(int index, GangResult &result)
{
    const auto start = std::chrono::steady_clock::now();
    const DapProbe &dap = probes[size_t(index)];
    result.path = dap.path().toLocal8Bit();
    // Its own record copy: per-board values never leak into another probe's run.
    Download job = prototype;
    job.device = nullptr;
    job.connected = 0;
    ChipRecord chip = prototype.chip ? *prototype.chip : ChipRecord{};
    job.chip = &chip;
    Phases phases(*this, index);
    std::vector<QByteArray> paths;
    for (const DapProbe &p : probes)
        paths.push_back(p.path().toLocal8Bit());
    if (repeatsAnEarlierProbe(paths, size_t(index))) {
        result.connectCode = -1;
        return endBoard(index, result, false);
    }
    if (cancelled())
        return endBoard(index, result, false);
    phases.show(GangProgress::Phase::Connect, -1, 0);
    OpenedDapProbe opened;
    QString error;
    const int code = opened.open(dap, choice, error);
    if (code != SwdOk) {
        result.connectCode = -1;
        result.message = QStringLiteral("SWD %1: %2").arg(code).arg(error);
        result.durationUs = microsecondsSince(start);
        return endBoard(index, result, false);
    }
    result.connectCode = 1;
    Gate gate(opened.transport(), *this);
    if (line.enabled)
        return runLine(index, gate, job, phases, result);
    runBoard(index, gate, job, phases, result);
    result.durationUs = microsecondsSince(start);
    endBoard(index, result, gate.refused);
}

void SwdGangRunner::runBoard(int index, Gate &probe, Download &job, Phases &phases,
                             GangResult &result)
{
    probe.refused = false;
    result.code = -1;
    result.message.clear();
    result.heldBack = false;
    // The debug port's identity is the board's id in its row; without one the run itself fails
    // and says why, as on one probe.
    uint32_t idcode = 0;
    result.deviceId =
        engine::swdPresence(probe, clockHz, idcode) == engine::Presence::Attached ? idcode : 0;
    result.chipUid.clear();
    result.functional.clear();
    result.functionalText.clear();
    if (identifyBoard) {
        const SwdBoardOutcome identified = identifyBoard(index, probe, result.chipUid);
        if (identified.code != 0) {
            result.code = identified.code;
            result.message = identified.message;
            return;
        }
    }
    // Prepare sets per-board values (the ledger's serial): each board starts from the job's.
    job.rollingCodeValue = prototype.rollingCodeValue;
    if (!ready(index, job)) {
        result.heldBack = true;
        return;
    }
    const SwdBoardOutcome outcome =
        runJob(index, probe, job,
               [&phases](const QString &name, int percent) { phases.step(name, percent); });
    result.code = outcome.code;
    result.message = outcome.message;
    result.functional = outcome.functional;
    result.functionalText = outcome.functionalText;
    if (job::runPassed(result.code))
        phases.show(GangProgress::Phase::Finish, -1, 100);
}

void SwdGangRunner::runLine(int index, Gate &probe, Download &job, Phases &phases,
                            GangResult &result)
{
    uint32_t idcode = 0;
    for (int board = 1; line.boards == 0 || board <= line.boards; ++board) {
        phases.board = board - 1;
        phases.show(GangProgress::Phase::Waiting, -1, 0);
        engine::Presence presence = engine::Presence::Absent;
        while ((presence = engine::swdPresence(probe, clockHz, idcode))
                   != engine::Presence::Attached
               && presence != engine::Presence::LinkLost && pause(line.pollMs)) { }
        if (cancelled())
            return;
        if (presence == engine::Presence::LinkLost)
            return probeLost(index, result);
        const auto start = std::chrono::steady_clock::now();
        phases.board = board;
        runBoard(index, probe, job, phases, result);
        result.durationUs = microsecondsSince(start);
        endBoard(index, result, probe.refused);
        if (cancelled() || (line.boards != 0 && board >= line.boards))
            return;
        // The board stays until the operator takes it: never the same board twice.
        phases.show(GangProgress::Phase::Removal, -1, 0);
        presence =
            engine::waitForRemoval([&] { return engine::swdPresence(probe, clockHz, idcode); },
                                   [&] { return pause(line.pollMs); });
        if (presence == engine::Presence::LinkLost && !cancelled())
            return probeLost(index, result);
    }
}
