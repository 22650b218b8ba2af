// 128 KiB (APROM and LDROM) through the virtual CMSIS-DAP probe over SWD, in the link's own time (1
// ms frames, one 64-byte report per direction each, a time per command): KiB/s beside the limit the
// report size, the frame rate and the packet count allow. Then the 120 KiB APROM with the sectors
// compared on the target: verify by CRC against programming alone, and reprogramming the same image
// against the first programming of a blank chip, each beside its goal.
#include "swd/swdprogrammer.h"
#include "virtualprobe/cmsisdap/cmsisdapprobe.h"
#include "virtualprobe/virtualprobe.h"

#include <benchmark/benchmark.h>
#include <hidapi/hidapi.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr uint32_t kImageSize = 128 * 1024;
constexpr double kReportData = 56.0; // DAP_TransferBlock write: 14 words after its 5-byte header
constexpr double kReplyData = 60.0; // DAP_TransferBlock read: 15 words after its 4-byte header

// Commands per second the link carries: one per frame, fewer when every buffer is taken for the
// OUT frame, the command's time and the IN frame, or when the probe itself is slower.
double commandsPerSecond(int packets, int commandUs)
{
    const double busyFrames = 2.0 + std::ceil(commandUs / 1000.0);
    return std::min({1000.0, 1000.0 * packets / busyFrames, 1e6 / std::max(commandUs, 1)});
}

void runJob(benchmark::State &state, bool verify)
{
    const int packets = int(state.range(0));
    const int commandUs = int(state.range(1));
    std::vector<uint8_t> image(kImageSize);
    for (uint32_t k = 0; k < kImageSize; ++k)
        image[k] = uint8_t(k * 31 + (k >> 10));
    vprobe::CmsisDapProbe &probe = vprobe::CmsisDapProbe::instance();
    vprobe::VirtualProbe::instance().reset();
    probe.setPacketCount(uint8_t(packets));
    probe.setCommandMicroseconds(uint32_t(commandUs));
    probe.setEnabled(true);
    hid_device *dev = hid_open(0x0D28, 0x0204, nullptr);
    SwdJob job;
    // All of the flash: 120 KiB of APROM and the 8 KiB LDROM.
    constexpr uint32_t aprom = kImageSize - 0x2000;
    job.images = {
        {0, image.data(), aprom, "aprom"},
        {quorvel::qb48Geometry.ldrom.base, image.data() + aprom, kImageSize - aprom, "ldrom"}};
    job.eraseMode = job::NoErase; // blank flash: the figure is programming (and verify) alone
    job.verify = verify;
    job.verifyMode = SwdVerifyReadback; // every byte over the link
    double seconds = 0;
    for (auto _ : state) {
        probe.reset();
        const SwdResult r = runSwdJob(dev, job, {});
        if (!r.ok()) {
            state.SkipWithError(r.message.toUtf8().constData());
            break;
        }
        seconds = probe.elapsedMicroseconds() * 1e-6;
        state.SetIterationTime(seconds);
    }
    hid_close(dev);
    probe.setEnabled(false);
    const double rate = commandsPerSecond(packets, commandUs);
    const double limit = verify ? 1.0 / (1.0 / (kReportData * rate) + 1.0 / (kReplyData * rate))
                                : kReportData * rate;
    const double kib = kImageSize / 1024.0 / seconds;
    state.counters["KiB_per_s"] = kib;
    state.counters["limit_KiB_per_s"] = limit / 1024.0;
    state.counters["of_limit"] = kib / (limit / 1024.0);
}

void Program(benchmark::State &state)
{
    runJob(state, false);
}

void ProgramVerify(benchmark::State &state)
{
    runJob(state, true);
}

// Seconds of link time one job takes on the chip as it is.
double linkSeconds(hid_device *dev, const SwdJob &job, benchmark::State &state)
{
    vprobe::CmsisDapProbe &probe = vprobe::CmsisDapProbe::instance();
    const uint64_t before = probe.elapsedMicroseconds();
    const SwdResult r = runSwdJob(dev, job, {});
    if (!r.ok())
        state.SkipWithError(r.message.toUtf8().constData());
    return (probe.elapsedMicroseconds() - before) * 1e-6;
}

void SmartProgramming(benchmark::State &state)
{
    constexpr uint32_t kAprom = 120 * 1024;
    std::vector<uint8_t> image(kAprom);
    for (uint32_t k = 0; k < kAprom; ++k)
        image[k] = uint8_t(k * 31 + (k >> 10));
    vprobe::CmsisDapProbe &probe = vprobe::CmsisDapProbe::instance();
    vprobe::VirtualProbe::instance().reset();
    probe.setPacketCount(4);
    probe.setCommandMicroseconds(100);
    probe.setEnabled(true);
    hid_device *dev = hid_open(0x0D28, 0x0204, nullptr);
    SwdJob job;
    job.images = {{0, image.data(), kAprom, "aprom"}};
    job.eraseMode = job::AutoErase;
    double alone = 0, crc = 0, readback = 0, again = 0;
    for (auto _ : state) {
        probe.reset();
        job.verify = false;
        alone = linkSeconds(dev, job, state);
        probe.reset();
        job.verify = true;
        job.verifyMode = SwdVerifyReadback;
        readback = linkSeconds(dev, job, state);
        probe.reset();
        job.verifyMode = SwdVerifyCrc;
        crc = linkSeconds(dev, job, state);
        again = linkSeconds(dev, job, state);
        state.SetIterationTime(crc + again);
    }
    hid_close(dev);
    probe.setEnabled(false);
    const double kib = kAprom / 1024.0;
    state.counters["program_KiB_per_s"] = kib / alone;
    state.counters["crc_verify_KiB_per_s"] = kib / crc;
    state.counters["readback_verify_KiB_per_s"] = kib / readback;
    // Goals: verify by CRC costs at most 10 % over programming alone; the same image again is at
    // least 5x faster than programming it onto a blank chip (both with verify by CRC).
    state.counters["crc_verify_over_program"] = crc / alone - 1.0;
    state.counters["crc_verify_over_program_limit"] = 0.10;
    state.counters["reprogram_speedup"] = crc / again;
    state.counters["reprogram_speedup_goal"] = 5.0;
    state.counters["reprogram_ms"] = again * 1e3;
}

// {packet count, microseconds per command}: the pipelined host, and one reply at a time.
BENCHMARK(Program)->Args({4, 100})->Args({1, 100})->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(ProgramVerify)->Args({4, 100})->Args({1, 100})->UseManualTime()->Unit(benchmark::kSecond);
// The link is the bound of every figure here: the target's CRC and erase times are not modelled.
BENCHMARK(SmartProgramming)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
