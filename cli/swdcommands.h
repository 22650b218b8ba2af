// The commands' second path: the same job through any CMSIS-DAP probe over SWD, chosen with
// --via swd.
#pragma once

#include "engine/swdjobof.h"
#include "swd/chipid.h"
#include "swd/swdprogrammer.h"

#include <QCommandLineParser>
#include <QStringList>
#include <functional>

class Download;

namespace cli {

class Command;
class RunRecorder;
struct RecordOptions;

using SwdRun = std::function<SwdResult(DapTransport &, const SwdProgress &)>;

// What a programming run on one probe records beside its outcome.
struct SwdRecording
{
    RunRecorder *recorder = nullptr;
    Download *job = nullptr;
    UidPlace uid; // read before the row and serial are taken; none: no ID
    uint32_t clockHz = 4000000;
};

// Runs `run` on the chosen probe, over `transport` (empty: v2 when it has it), with a progress
// bar of `stages`, one per phase it reports. A programming run is recorded like the vendor
// path's (`recording` given): the chip's ID first (a board whose ID cannot be read is refused
// before its row), then the row and serial, the run, and its end with the self-test's verdict.
// The exit status: 0 or that of its SWD failure.
int runOnProbe(Command &c, const QString &transport, const QStringList &stages, const SwdRun &run,
               const QString &success, const SwdRecording *recording = nullptr);
// The progress bar's stages of a job.
QStringList stagesOf(const SwdJob &job);
// The message of a run's SWD failure.
QString swdFailureText(const SwdResult &result);

enum class SwdCommand { Program, Verify };

// --via vendor|swd, the SWD path's --transport hid|bulk and --swd-clock HZ, and (withVerify)
// --verify crc|readback.
void addViaOption(QCommandLineParser &parser, bool withVerify = true);
// --swd-clock: 1 kHz to 50 MHz into `hz`, left alone without the option; false with `error`.
bool swdClockFrom(const QCommandLineParser &p, uint32_t &hz, QString &error);
// After parsing: -1 when the command goes the dedicated probe's way; otherwise the exit status of
// the run over SWD, or of a refused --via value or option.
int runViaSwd(Command &c, SwdCommand command);
// `program --via swd` on several probes (--probe all or repeated), --repeat or --auto: the
// dedicated path's gang, each board over SWD, recorded per probe; the exit status.
int runSwdGang(Command &c, const Download &d, const SwdJob &swdJob, const QString &transport,
               const RecordOptions &options, const QString &success, const UidPlace &uid);
// `erase`: APROM and LDROM erased whole over SWD.
int runErase(const QStringList &arguments);
// `read ADDRESS LENGTH FILE`: a range of the device's memory over SWD into a .bin or .hex.
int runRead(const QStringList &arguments);

} // namespace cli
