// A hands-free line on virtual probes answering each report after 1 ms in real time: the CPU the
// presence poll costs while eight probes wait for boards (limit: 1 % of one core), and the time
// from a chip attached to its run started (limit: one poll interval + 50 ms). The same over SWD on
// virtual CMSIS-DAP probes (100 us per command, full-speed HID frames, in real time).
#include "gangrunner.h"
#include "presence.h"
#include "swdgangrunner.h"
#include "virtualprobe/cmsisdap/cmsisdapprobe.h"
#include "virtualprobe/virtualprobe.h"
#include "wholechipjob.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int pollMs = 300;
constexpr int roundTripUs = 1000;
using Clock = std::chrono::steady_clock;

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::vector<QByteArray> plugIn(int n, bool chipAttached)
{
    vprobe::VirtualProbe::setCount(n);
    std::vector<QByteArray> paths;
    for (int k = 0; k < n; ++k) {
        vprobe::VirtualProbe &probe = vprobe::VirtualProbe::probe(k);
        probe.reset();
        probe.setLatencyMicroseconds(roundTripUs, true);
        probe.setChipAttached(chipAttached);
        paths.push_back(QByteArray::fromStdString(probe.path()));
    }
    return paths;
}

void unplugAll(int n)
{
    for (int k = 0; k < n; ++k)
        vprobe::VirtualProbe::probe(k).reset();
    vprobe::VirtualProbe::setCount(1);
}

// A line armed with no chip anywhere, polling for 5 s: the whole process's CPU over the wall time.
template<typename Runner>
double idleShare(Runner &runner)
{
    runner.setLine({true, pollMs, 0});
    std::thread line([&runner] { runner.run(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // connected and polling
    const double cpuBefore = processCpuSeconds();
    const auto wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double cpu = processCpuSeconds() - cpuBefore;
    const double share = cpu / std::chrono::duration<double>(Clock::now() - wallBefore).count();
    runner.cancel();
    line.join();
    return share;
}

// Eight probes armed, no chip anywhere: the whole process's CPU over the wall time.
void IdlePoll(benchmark::State &state)
{
    const int n = int(state.range(0));
    const std::vector<QByteArray> paths = plugIn(n, false);
    WholeChipJob job;
    double share = 0;
    for (auto _ : state) {
        GangRunner runner(job.d, paths);
        share = idleShare(runner);
    }
    state.counters["core_percent"] = share * 100;
    state.counters["limit_percent"] = 1.0;
    state.SetLabel(share < 0.01 ? "within limit; bound by the chip-detect exchange per poll"
                                : "OVER LIMIT");
    unplugAll(n);
}

// One probe, a chip attached at a random moment of the poll cycle, ten times: the longest time
// until the run's first report.
void AttachToStart(benchmark::State &state)
{
    const std::vector<QByteArray> paths = plugIn(1, false);
    WholeChipJob job;
    job.d.fileCount = 1; // the start is what is measured, not the programming
    job.d.imageLength[0] = 1024;
    std::mt19937 random(7);
    double worstMs = 0, sumMs = 0;
    int boards = 0;
    for (auto _ : state) {
        GangRunner runner(job.d, paths);
        std::atomic<int64_t> startedNs{0};
        runner.setLine({true, pollMs, 10});
        runner.setPrepare([&](int, Download &) {
            startedNs = Clock::now().time_since_epoch().count();
            return true;
        });
        std::atomic<int> ended{0};
        runner.setFinished([&](int, const GangResult &) { ++ended; });
        std::thread line([&runner] { runner.run(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        for (int b = 0; b < 10; ++b) {
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % pollMs));
            startedNs = 0;
            const auto attached = Clock::now();
            vprobe::VirtualProbe::probe(0).setChipAttached(true);
            while (ended.load() <= b)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const double ms = double(startedNs.load() - attached.time_since_epoch().count()) / 1e6;
            worstMs = std::max(worstMs, ms);
            sumMs += ms;
            ++boards;
            vprobe::VirtualProbe::probe(0).setChipAttached(false);
            // A swap quicker than one poll is not seen: the board must be gone for a poll.
            std::this_thread::sleep_for(std::chrono::milliseconds(pollMs + 50));
        }
        line.join();
    }
    state.counters["worst_ms"] = worstMs;
    state.counters["mean_ms"] = boards ? sumMs / boards : 0;
    state.counters["limit_ms"] = pollMs + 50;
    state.SetLabel(worstMs < pollMs + 50 ? "within limit; bound by the poll interval"
                                         : "OVER LIMIT");
    unplugAll(1);
}

std::vector<DapProbe> plugInDap(int n)
{
    vprobe::VirtualProbe::setCount(n);
    for (int k = 0; k < n; ++k) {
        vprobe::CmsisDapProbe &probe = vprobe::CmsisDapProbe::instance(k);
        probe.reset();
        probe.setRealTime(true);
        probe.setEnabled(true);
        probe.device().setTargetAttached(false);
    }
    return listDapProbes();
}

void unplugDap(int n)
{
    for (int k = 0; k < n; ++k)
        vprobe::CmsisDapProbe::instance(k).setEnabled(false);
    vprobe::VirtualProbe::setCount(1);
}

// The run itself is not what is measured: a board passes at once.
SwdGangRunner::Run passAtOnce()
{
    return [](int, DapTransport &, const Download &, const SwdProgress &) {
        return SwdBoardOutcome{0, QString(), {}, {}};
    };
}

void SwdIdlePoll(benchmark::State &state)
{
    const int n = int(state.range(0));
    const std::vector<DapProbe> probes = plugInDap(n);
    WholeChipJob job;
    double share = 0;
    for (auto _ : state) {
        SwdGangRunner runner(job.d, probes, DapTransportChoice::Preferred, 4000000, passAtOnce());
        share = idleShare(runner);
    }
    state.counters["core_percent"] = share * 100;
    state.counters["limit_percent"] = 1.0;
    state.counters["probes_seen"] = double(probes.size());
    state.SetLabel(share < 0.01 ? "within limit; bound by the debug-port connect per poll"
                                : "OVER LIMIT");
    unplugDap(n);
}

void SwdAttachToStart(benchmark::State &state)
{
    const std::vector<DapProbe> probes = plugInDap(1);
    WholeChipJob job;
    std::mt19937 random(7);
    double worstMs = 0, sumMs = 0;
    int boards = 0;
    vprobe::CmsisDapDevice &device = vprobe::CmsisDapProbe::instance(0).device();
    for (auto _ : state) {
        SwdGangRunner runner(job.d, probes, DapTransportChoice::Preferred, 4000000, passAtOnce());
        std::atomic<int64_t> startedNs{0};
        runner.setLine({true, pollMs, 10});
        runner.setPrepare([&](int, Download &) {
            startedNs = Clock::now().time_since_epoch().count();
            return true;
        });
        std::atomic<int> ended{0};
        runner.setFinished([&](int, const GangResult &) { ++ended; });
        std::thread line([&runner] { runner.run(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        for (int b = 0; b < 10 && !probes.empty(); ++b) {
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % pollMs));
            startedNs = 0;
            const auto attached = Clock::now();
            device.setTargetAttached(true);
            while (ended.load() <= b)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const double ms = double(startedNs.load() - attached.time_since_epoch().count()) / 1e6;
            worstMs = std::max(worstMs, ms);
            sumMs += ms;
            ++boards;
            device.setTargetAttached(false);
            // Removal over SWD is seen after that many polls without a target.
            std::this_thread::sleep_for(
                std::chrono::milliseconds(engine::kRemovalAnswers * pollMs + 50));
        }
        runner.cancel();
        line.join();
    }
    state.counters["worst_ms"] = worstMs;
    state.counters["mean_ms"] = boards ? sumMs / boards : 0;
    state.counters["limit_ms"] = pollMs + 50;
    state.SetLabel(boards && worstMs < pollMs + 50 ? "within limit; bound by the poll interval"
                                                   : "OVER LIMIT");
    unplugDap(1);
}

} // namespace

BENCHMARK(SwdIdlePoll)->Arg(8)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(SwdAttachToStart)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(IdlePoll)->Arg(8)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(AttachToStart)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

BENCHMARK_MAIN();
