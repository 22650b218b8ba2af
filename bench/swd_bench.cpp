// 120 KiB of APROM erased, programmed (and verified) through the virtual CMSIS-DAP probe over
// SWD at 4 MHz, on each of its links: v1 HID at full speed, v2 bulk at full and at high speed.
// Time is the model's (USB packets, probe time per command, SWD bits at the clock, flash busy
// time), never slept. Each figure stands beside the model's limit for the job, the slowest of
// USB, probe + wire and flash for the bytes it moves and the words and sectors it programs (with
// a full erase, the chip erase the pages wait for and what follows it over USB), and the part
// that bounds it. Then smart programming on each link: verify by CRC on the target
// against programming alone and against reading every byte back, and the same image again
// against the first programming of a blank chip.
#include "pack/targetcatalog.h"
#include "swd/link/dapprobes.h"
#include "swd/swdprogrammer.h"
#include "virtualprobe/cmsisdap/cmsisdapprobe.h"
#include "virtualprobe/virtualprobe.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using vprobe::CmsisDapProbe;

constexpr uint32_t kImageSize = 120 * 1024;
constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kApromIs120KiB = 0x80000000;
constexpr double kClockHz = 4e6;
constexpr double kTransferBits = 46; // request, turnaround, ack, data + parity, turnaround
constexpr double kCommandUs = 100; // the virtual probe's time per command
constexpr double kWordUs = 20, kSectorUs = 4000; // the flash controller's defaults
constexpr uint32_t kRamAreaSize = 16 * 1024; // the shipped pack's RAM for the algorithms

struct Link
{
    const char *name;
    CmsisDapProbe::Usb usb;
    DapTransportChoice transport;
    int packetSize; // DAP packet
    double packetsPerSecond; // per direction
};

const Link kLinks[] = {
    {"fs-hid", CmsisDapProbe::Usb::FsHid, DapTransportChoice::Hid, 64, 1000},
    {"fs-bulk", CmsisDapProbe::Usb::FsBulk, DapTransportChoice::Bulk, 64, 19000},
    {"hs-bulk", CmsisDapProbe::Usb::HsBulk, DapTransportChoice::Bulk, 512, 104000},
};

struct Bound
{
    double seconds;
    const char *part;
    double commands = 0; // the fewest the phase can be sent in
};

// The least time a phase can take: `words` moved in DAP_TransferBlock commands (a write carries
// (packet - 5) / 4 words, a read reply (packet - 4) / 4), each command one packet each way. A
// chip erase (`chipEraseSeconds`) runs in its own session before any page may be programmed:
// only what the RAM area holds can travel meanwhile, the rest follows it over USB.
Bound phaseLimit(const Link &link, double words, bool read, double flashSeconds,
                 double chipEraseSeconds = 0)
{
    const double perCommand = std::floor((link.packetSize - (read ? 4 : 5)) / 4.0);
    const double commands = std::ceil(words / perCommand);
    const double afterErase = std::ceil(std::max(0.0, words - kRamAreaSize / 4.0) / perCommand);
    const Bound parts[] = {
        {commands / link.packetsPerSecond, "USB"},
        {words * kTransferBits / kClockHz + commands * kCommandUs * 1e-6, "probe+wire"},
        {flashSeconds, "flash"},
        {chipEraseSeconds > 0 ? chipEraseSeconds + afterErase / link.packetsPerSecond : 0,
         "chip erase, then USB"},
    };
    Bound bound =
        *std::max_element(std::begin(parts), std::end(parts),
                          [](const Bound &a, const Bound &b) { return a.seconds < b.seconds; });
    bound.commands = commands;
    return bound;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

struct Outcome
{
    double seconds = 0; // modelled
    double cpu = 0; // this process's CPU time, the model's emulated core included
    uint64_t commands = 0; // reports (HID) or bulk transfers the host sent
    QString error;
};

struct JobKind
{
    bool verify = false;
    SwdVerifyMode verifyMode = SwdVerifyReadback; // every byte over the link
    int eraseMode = job::FullErase;
    bool again = false; // the chip keeps what the previous job left
    bool holdsData = false; // every sector holds other data, so each one is erased
    uint32_t ramSize = 0; // the algorithms' RAM area as the pack gives it; 0: the shipped 16 KiB
};

Outcome runJob(const Link &link, bool flashTime, const JobKind &kind)
{
    static const std::vector<uint8_t> image = [] {
        std::vector<uint8_t> bytes(kImageSize);
        for (uint32_t k = 0; k < kImageSize; ++k)
            bytes[k] = uint8_t(k * 31 + (k >> 10));
        return bytes;
    }();
    CmsisDapProbe &probe = CmsisDapProbe::instance();
    vprobe::VirtualProbe::instance().reset();
    probe.setUsb(link.usb);
    probe.setPacketCount(4);
    probe.setCommandMicroseconds(uint32_t(kCommandUs));
    probe.setFlashTiming(flashTime ? uint32_t(kWordUs) : 0, flashTime ? uint32_t(kSectorUs) : 0);
    probe.setRealTime(false);
    if (!kind.again) {
        probe.reset();
        probe.device().target().setSystemConfig(kApromIs120KiB); // a full erase covers 240 sectors
        if (kind.holdsData)
            probe.device().target().setFlash(TargetModel::Bank::Aprom,
                                             std::vector<uint8_t>(kImageSize, 0x5A));
    }
    const uint64_t before = probe.elapsedNanoseconds();
    const uint64_t commandsBefore = probe.commandsReceived();
    probe.setEnabled(true);
    Outcome outcome;
    const std::vector<DapProbe> found = listDapProbes();
    OpenedDapProbe opened;
    if (found.empty() || opened.open(found.front(), link.transport, outcome.error) != SwdOk) {
        outcome.error += QStringLiteral(" (no virtual probe)");
        return outcome;
    }
    SwdJob job;
    job.images = {{0, image.data(), kImageSize, "aprom"}};
    if (kind.ramSize != 0) {
        if (!swdLoadTarget(pack::defaultDeviceName(), job.target, outcome.error, {},
                           {{0, kImageSize, "aprom"}}))
            return outcome;
        for (pack::FlashAlgorithmRef &ref : job.target.algorithms)
            ref.ramSize = kind.ramSize;
    }
    job.eraseMode = kind.eraseMode;
    job.verify = kind.verify;
    job.verifyMode = kind.verifyMode;
    const double cpuBefore = cpuSeconds();
    const SwdResult r = runSwdJob(opened.transport(), job, {});
    outcome.cpu = cpuSeconds() - cpuBefore;
    outcome.seconds = (probe.elapsedNanoseconds() - before) * 1e-9;
    outcome.commands = probe.commandsReceived() - commandsBefore;
    if (!r.ok())
        outcome.error = r.message;
    opened.close();
    probe.setEnabled(false);
    return outcome;
}

void report(benchmark::State &state, const Outcome &o, const Bound &program, const Bound &check)
{
    const double limitSeconds = program.seconds + check.seconds;
    const double kib = kImageSize / 1024.0;
    state.counters["KiB_per_s"] = kib / o.seconds;
    state.counters["limit_KiB_per_s"] = kib / limitSeconds;
    state.counters["of_limit"] = limitSeconds / o.seconds;
    state.counters["cpu_share"] = o.cpu / o.seconds;
    // Where the time above the limit goes: commands beyond the fewest, or a link left idle.
    state.counters["commands"] = double(o.commands);
    state.counters["least_commands"] = program.commands + check.commands;
    std::string bound = std::string("bound: ") + program.part;
    if (check.seconds > 0)
        bound += std::string(", verify ") + check.part;
    state.SetLabel(bound);
}

void Job(benchmark::State &state)
{
    const Link &link = kLinks[state.range(0)];
    const bool verify = state.range(1);
    const bool flashTime = state.range(2);
    const bool bySectors = state.range(3);
    Outcome o;
    for (auto _ : state) {
        JobKind kind;
        kind.verify = verify;
        // Erase by sectors onto a chip whose every sector holds data: erase sessions and program
        // sessions alternate all the way, where a full erase is one EraseChip before the pages.
        if (bySectors) {
            kind.eraseMode = job::SectorErase;
            kind.holdsData = true;
        }
        o = runJob(link, flashTime, kind);
        if (!o.error.isEmpty()) {
            state.SkipWithError(o.error.toUtf8().constData());
            return;
        }
        state.SetIterationTime(o.seconds);
    }
    const double words = kImageSize / 4.0;
    const double erase = flashTime ? kImageSize / kSectorSize * kSectorUs * 1e-6 : 0;
    const double flash = flashTime ? words * kWordUs * 1e-6 + erase : 0;
    // A full erase goes by EraseChip, which the pages must wait for; by sectors, the erases
    // run while the pages after them travel.
    report(state, o, phaseLimit(link, words, false, flash, bySectors ? 0 : erase),
           verify ? phaseLimit(link, words, true, 0) : Bound{0, ""});
}

// With the flash taking no time, how much faster high-speed bulk programs than full-speed HID.
void ZeroFlashSpeedup(benchmark::State &state)
{
    Outcome hid, bulk;
    for (auto _ : state) {
        hid = runJob(kLinks[0], false, JobKind());
        bulk = runJob(kLinks[2], false, JobKind());
        if (!hid.error.isEmpty() || !bulk.error.isEmpty()) {
            state.SkipWithError((hid.error + bulk.error).toUtf8().constData());
            return;
        }
        state.SetIterationTime(hid.seconds + bulk.seconds);
    }
    state.counters["hs_bulk_over_fs_hid"] = hid.seconds / bulk.seconds;
    state.counters["goal"] = 4;
    state.SetLabel("link and wire alone; goal: at least 4x");
}

// Smart programming (erase auto) of a blank chip: alone, with verify by CRC, with read-back
// verify; then the same image onto the chip that holds it. Goals: CRC verify within 10 % of
// programming alone, the same image again at least 5x faster than the first time.
void SmartProgramming(benchmark::State &state)
{
    const Link &link = kLinks[state.range(0)];
    JobKind kind;
    kind.eraseMode = job::AutoErase;
    Outcome alone, crc, readback, again;
    for (auto _ : state) {
        alone = runJob(link, true, kind);
        kind.verify = true;
        readback = runJob(link, true, kind);
        kind.verifyMode = SwdVerifyCrc;
        crc = runJob(link, true, kind);
        kind.again = true;
        again = runJob(link, true, kind);
        for (const Outcome *o : {&alone, &readback, &crc, &again}) {
            if (!o->error.isEmpty()) {
                state.SkipWithError(o->error.toUtf8().constData());
                return;
            }
        }
        state.SetIterationTime(crc.seconds + again.seconds);
    }
    const double kib = kImageSize / 1024.0;
    state.counters["program_KiB_per_s"] = kib / alone.seconds;
    state.counters["crc_verify_KiB_per_s"] = kib / crc.seconds;
    state.counters["readback_verify_KiB_per_s"] = kib / readback.seconds;
    state.counters["crc_over_program"] = crc.seconds / alone.seconds - 1.0;
    state.counters["crc_over_program_limit"] = 0.10;
    state.counters["reprogram_ms"] = again.seconds * 1e3;
    state.counters["reprogram_speedup"] = crc.seconds / again.seconds;
    state.counters["reprogram_speedup_goal"] = 5.0;
    // Programming a blank chip writes every word: the flash bounds it on the bulk links, USB on
    // HID; the same image again moves only checksums.
    state.SetLabel(std::string(link.name) + "; goals: CRC verify <= 10 % over, again >= 5x");
}

// A 4 KiB algorithm area against the shipped 16 KiB one, full erase and CRC verify asked for: the
// small one has two page buffers and a short CRC batch. Goal: at least 70 % of the large one's
// speed on the same link.
void SmallRamArea(benchmark::State &state)
{
    const Link &link = kLinks[state.range(0)];
    JobKind kind;
    kind.verify = true;
    kind.verifyMode = SwdVerifyCrc;
    Outcome large, small;
    for (auto _ : state) {
        large = runJob(link, true, kind);
        kind.ramSize = 0x1000;
        small = runJob(link, true, kind);
        kind.ramSize = 0;
        if (!large.error.isEmpty() || !small.error.isEmpty()) {
            state.SkipWithError((large.error + small.error).toUtf8().constData());
            return;
        }
        state.SetIterationTime(large.seconds + small.seconds);
    }
    const double kib = kImageSize / 1024.0;
    const double words = kImageSize / 4.0;
    const double erase = kImageSize / kSectorSize * kSectorUs * 1e-6;
    const Bound limit = phaseLimit(link, words, false, words * kWordUs * 1e-6 + erase, erase);
    state.counters["ram16k_KiB_per_s"] = kib / large.seconds;
    state.counters["ram4k_KiB_per_s"] = kib / small.seconds;
    state.counters["program_limit_KiB_per_s"] = kib / limit.seconds;
    state.counters["ram4k_over_16k"] = large.seconds / small.seconds;
    state.counters["goal"] = 0.70;
    state.SetLabel(std::string(link.name) + "; bound: " + limit.part);
}

// {link: 0 fs-hid, 1 fs-bulk, 2 hs-bulk; verify; flash time on; erase by sectors, not full}
BENCHMARK(Job)
    ->ArgNames({"link", "verify", "flash", "sectors"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {1}, {0, 1}})
    ->Args({0, 0, 0, 0})
    ->Args({2, 0, 0, 0})
    ->Args({0, 0, 0, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(SmallRamArea)
    ->ArgName("link")
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(ZeroFlashSpeedup)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(SmartProgramming)
    ->ArgName("link")
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
