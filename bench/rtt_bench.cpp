// What the self-test over RTT costs a line: a 64 KiB image (firmware/selftest, then data up to
// its mode word) programmed, verified and reset on the virtual QS64 over full-speed HID at 4 MHz,
// with and without reading the board's verdict from up-buffer 0. Time is the model's (USB
// frames, probe and wire, flash busy time, the emulated core running against them). RTT's own
// cost is the check less the firmware's time to test its RAM and print (measured by waiting for
// the line it prints before the test); the goal is at most 5 % of the run, for the next board
// of a line (rtt_share) and for the first, which searches the RAM (first_rtt_share).
#include "swd/link/dapprobes.h"
#include "swd/swdprogrammer.h"
#include "virtualprobe/cmsisdap/cmsisdapprobe.h"
#include "virtualprobe/virtualprobe.h"

#include <benchmark/benchmark.h>

#include <QFile>

#include <vector>

namespace {

using vprobe::CmsisDapProbe;

constexpr uint32_t kImageSize = 64 * 1024;
constexpr double kGoal = 0.05;

struct Outcome
{
    double seconds = 0;
    QString error;
    QString functional;
};

// `expect`: the text the check waits for; empty: no check.
Outcome runJob(const char *expect)
{
    static std::vector<uint8_t> image;
    static pack::TargetDescription target;
    Outcome outcome;
    if (image.empty()) {
        QFile f(QStringLiteral(QUORVEL_SELFTEST_BIN));
        if (!f.open(QIODevice::ReadOnly) || f.size() > kImageSize) {
            outcome.error = QStringLiteral("no self-test firmware at ") + f.fileName();
            return outcome;
        }
        const QByteArray bytes = f.readAll();
        // Data behind the firmware, so every page is programmed as in a real 64 KiB image; the
        // last 16 bytes stay erased, the mode word there says "run the check and pass".
        image.assign(kImageSize, 0xFF);
        for (uint32_t i = uint32_t(bytes.size()); i < kImageSize - 16; ++i)
            image[i] = uint8_t(i * 7 + 3);
        std::copy(bytes.begin(), bytes.end(), image.begin());
        if (!swdLoadTarget(QStringLiteral("QS64"), target, outcome.error,
                           QStringLiteral(QUORVEL_QS64_PACK), {{0x08000000, kImageSize, "fw"}})) {
            image.clear();
            return outcome;
        }
    }
    CmsisDapProbe &probe = CmsisDapProbe::instance();
    vprobe::VirtualProbe::instance().reset();
    probe.setUsb(CmsisDapProbe::Usb::FsHid);
    probe.setRealTime(false);
    probe.reset();
    probe.device().selectPart(vprobe::SimulatedPart::Qs64);
    probe.setEnabled(true);
    const uint64_t before = probe.elapsedNanoseconds();
    const std::vector<DapProbe> found = listDapProbes();
    OpenedDapProbe opened;
    if (found.empty() || opened.open(found.front(), DapTransportChoice::Hid, outcome.error) != 0) {
        outcome.error += QStringLiteral(" (no virtual probe)");
        return outcome;
    }
    SwdJob job;
    job.images = {{0x08000000, image.data(), kImageSize, "fw"}};
    job.target = target;
    job.eraseMode = job::FullErase;
    job.resetAndRun = true;
    if (*expect)
        job.selfTest.expect.setPattern(QString::fromLatin1(expect));
    const SwdResult r = runSwdJob(opened.transport(), job, {});
    outcome.seconds = double(probe.elapsedNanoseconds() - before) * 1e-9;
    outcome.functional = r.functional;
    if (!r.ok())
        outcome.error = r.message;
    opened.close();
    probe.setEnabled(false);
    return outcome;
}

void SelfTestShare(benchmark::State &state)
{
    Outcome plain, first, next, early;
    for (auto _ : state) {
        plain = runJob("");
        first = runJob("SELFTEST PASS"); // searches the RAM for the control block
        next = runJob("SELFTEST PASS"); // the next board of a line: looked for where the last was
        // The line the firmware prints before its RAM test: the check without the firmware's
        // own time, which is then the difference.
        early = runJob("selftest: ram ");
        for (const Outcome *o : {&plain, &first, &next, &early}) {
            if (!o->error.isEmpty()) {
                state.SkipWithError(o->error.toUtf8().constData());
                return;
            }
        }
        state.SetIterationTime(plain.seconds + first.seconds + next.seconds + early.seconds);
    }
    const double rtt = early.seconds - plain.seconds;
    state.counters["run_ms"] = plain.seconds * 1e3;
    state.counters["first_check_ms"] = (first.seconds - plain.seconds) * 1e3;
    state.counters["next_check_ms"] = (next.seconds - plain.seconds) * 1e3;
    state.counters["firmware_ms"] = (next.seconds - early.seconds) * 1e3;
    state.counters["rtt_ms"] = rtt * 1e3;
    state.counters["rtt_share"] = rtt / plain.seconds;
    state.counters["first_rtt_share"] = (first.seconds - next.seconds + rtt) / plain.seconds;
    Outcome &checked = next;
    state.counters["goal"] = kGoal;
    state.SetLabel(checked.functional == QLatin1String("passed")
                       ? "fs-hid 4 MHz; check bounded by the USB frames of its polls and the "
                         "firmware's RAM test and print"
                       : "the check did not pass");
}

BENCHMARK(SelfTestShare)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
