// A 128 KiB image programmed through the whole stack on the virtual probe: host CPU per exchange
// with an instant probe, and the whole job with a 2 ms round trip beside the protocol's own limit
// and the host's own share of it.
#include "download.h"
#include "virtualprobe/virtualprobe.h"
#include "wholechipjob.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

constexpr uint32_t imageSize = WholeChipJob::imageSize;
constexpr double roundTripSeconds = 0.002; // a full-speed USB probe answering each report

size_t dataBlocks(const std::vector<uint8_t> &commands)
{
    size_t n = 0;
    for (uint8_t c : commands)
        n += c == 0x98;
    return n;
}

void programImage(benchmark::State &state, int latencyUs, bool realTime)
{
    vprobe::VirtualProbe &probe = vprobe::VirtualProbe::instance();
    probe.reset();
    probe.setLatencyMicroseconds(latencyUs, realTime);
    WholeChipJob job;
    if (job.d.toggleConnection() != 1) {
        state.SkipWithError("the virtual probe did not open");
        return;
    }
    std::vector<uint8_t> commands;
    double wallNs = 0;
    double waitedNs = 0;
    for (auto _ : state) {
        probe.clearTrace();
        const uint64_t waitedBefore = probe.waitedNanoseconds();
        const auto from = std::chrono::steady_clock::now();
        const int32_t result = job.d.runProgramming();
        wallNs += double(std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now() - from)
                             .count());
        waitedNs += double(probe.waitedNanoseconds() - waitedBefore);
        if (result != 0) {
            state.SkipWithError("the programming run failed");
            break;
        }
        commands = probe.commandsWritten();
    }
    const double exchanges = double(commands.size());
    // The host on the critical path: the wall clock less the probe's own (measured) sleeping.
    if (realTime && wallNs > 0 && !commands.empty()) {
        const double hostNs = wallNs - waitedNs;
        state.counters["host_per_exchange_us"] =
            hostNs / double(state.iterations()) / exchanges / 1e3;
        state.counters["host_share"] = hostNs / wallNs;
    }
    state.counters["exchanges"] = exchanges;
    state.counters["data_blocks"] = double(dataBlocks(commands));
    // Time per exchange: host CPU at zero latency, wall clock with the round trip.
    state.counters["per_exchange"] = benchmark::Counter(
        exchanges, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    // The instant probe is set beside the 2 ms one; the others beside their own round trip.
    const double limitRoundTrip = latencyUs > 0 ? latencyUs * 1e-6 : roundTripSeconds;
    state.counters["protocol_limit_s"] = double(dataBlocks(commands)) * limitRoundTrip;
    job.d.toggleConnection();
}

void ZeroLatency(benchmark::State &state)
{
    programImage(state, 0, false);
}

void TwoMsRoundTrip(benchmark::State &state)
{
    programImage(state, int(roundTripSeconds * 1e6), true);
}

// One report per millisecond, the pace of a full-speed interrupt endpoint.
void OneMsPerReport(benchmark::State &state)
{
    programImage(state, 1000, true);
}

} // namespace

BENCHMARK(ZeroLatency)->Unit(benchmark::kMillisecond);
BENCHMARK(TwoMsRoundTrip)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(OneMsPerReport)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

BENCHMARK_MAIN();
