// One 128 KiB job on 1, 2, 4 and 8 virtual probes at once. With each probe answering every report
// after 2 ms in real time: the wall time beside a single probe's and the process CPU per exchange
// (waking up for each reply included, set beside a bare 2 ms wait). With instant probes: the CPU
// the host, the runner and the emulator spend per exchange when nothing waits.
#include "gangrunner.h"
#include "virtualprobe/virtualprobe.h"
#include "wholechipjob.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t imageSize = WholeChipJob::imageSize;
constexpr int roundTripUs = 2000;

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double wallOfOne = 0; // seconds of the single-probe run at 2 ms, for the others' ratio

void runGang(benchmark::State &state, int latencyUs, bool realTime)
{
    const int n = int(state.range(0));
    vprobe::VirtualProbe::setCount(n);
    std::vector<QByteArray> paths;
    for (int k = 0; k < n; ++k) {
        vprobe::VirtualProbe &probe = vprobe::VirtualProbe::probe(k);
        probe.reset();
        probe.setLatencyMicroseconds(latencyUs, realTime);
        paths.push_back(QByteArray::fromStdString(probe.path()));
    }
    WholeChipJob job;
    double cpu = 0;
    double wall = 0;
    double exchanges = 0;
    for (auto _ : state) {
        for (int k = 0; k < n; ++k)
            vprobe::VirtualProbe::probe(k).clearTrace();
        GangRunner runner(job.d, paths);
        const double cpuBefore = processCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        for (const GangResult &r : runner.run()) {
            if (r.status != GangStatus::Passed)
                state.SkipWithError("a probe's run failed");
        }
        wall +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        cpu += processCpuSeconds() - cpuBefore;
        for (int k = 0; k < n; ++k)
            exchanges += double(vprobe::VirtualProbe::probe(k).commandsWritten().size());
    }
    state.counters["exchanges_per_probe"] = exchanges / double(state.iterations()) / n;
    state.counters["cpu_us_per_exchange"] = exchanges > 0 ? cpu / exchanges * 1e6 : 0;
    if (realTime) {
        if (n == 1)
            wallOfOne = wall;
        state.counters["wall_vs_one_probe"] = wallOfOne > 0 ? wall / wallOfOne : 0;
    }
    for (int k = 0; k < n; ++k)
        vprobe::VirtualProbe::probe(k).reset();
    vprobe::VirtualProbe::setCount(1);
}

void TwoMsPerReport(benchmark::State &state)
{
    runGang(state, roundTripUs, true);
}

void InstantProbes(benchmark::State &state)
{
    runGang(state, 0, false);
}

// The floor under the real-time figure: what one 2 ms wait and wake-up costs this machine alone.
void BareTwoMsWait(benchmark::State &state)
{
    constexpr int waits = 500;
    double cpu = 0;
    for (auto _ : state) {
        const double before = processCpuSeconds();
        for (int i = 0; i < waits; ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(roundTripUs));
        cpu += processCpuSeconds() - before;
    }
    state.counters["cpu_us_per_wait"] = cpu / double(state.iterations() * waits) * 1e6;
}

} // namespace

// The single probe runs first: the others are set beside it.
BENCHMARK(TwoMsPerReport)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BareTwoMsWait)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(InstantProbes)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
