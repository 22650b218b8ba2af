// CRC-32 throughput over a 4 MiB image: the slicing-by-8 calcCrc32, the one-lookup-per-byte loop it
// replaces, and zlib's crc32(). Figures are gigabytes (10^9) per second.
#include "images/crc32.h"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

constexpr uint32_t imageBytes = 0x400000;

const std::vector<uint8_t> &image()
{
    static const std::vector<uint8_t> bytes = [] {
        std::mt19937 random(11);
        std::vector<uint8_t> b(imageBytes);
        for (uint8_t &x : b)
            x = uint8_t(random());
        return b;
    }();
    return bytes;
}

uint32_t bytewiseCrc32(const uint8_t *p, uint32_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; ++i)
        crc = (crc >> 8) ^ quorvel::crc32Table[0][(crc ^ p[i]) & 0xFF];
    return crc ^ 0xFFFFFFFFu;
}

template<typename Crc>
void measure(benchmark::State &state, Crc crc)
{
    const std::vector<uint8_t> &bytes = image();
    if (crc(bytes.data(), imageBytes) != calcCrc32(bytes.data(), imageBytes)) {
        state.SkipWithError("results differ");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(crc(bytes.data(), imageBytes));
    state.counters["rate"] =
        benchmark::Counter(double(imageBytes), benchmark::Counter::kIsIterationInvariantRate,
                           benchmark::Counter::OneK::kIs1000);
}

void BM_CalcCrc32(benchmark::State &state)
{
    measure(state, calcCrc32);
}

void BM_BytewiseTableCrc32(benchmark::State &state)
{
    measure(state, bytewiseCrc32);
}

void BM_ZlibCrc32(benchmark::State &state)
{
    measure(state, [](const uint8_t *p, uint32_t length) {
        return uint32_t(crc32(crc32(0L, Z_NULL, 0), p, length));
    });
}

BENCHMARK(BM_CalcCrc32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BytewiseTableCrc32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZlibCrc32)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
