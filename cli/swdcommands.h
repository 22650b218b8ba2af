// The commands' second path: the same job through any CMSIS-DAP probe over SWD, chosen with
// --via swd.
#pragma once

#include "engine/swdjobof.h"
#include "swd/swdprogrammer.h"

#include <QCommandLineParser>
#include <QStringList>

class Download;

namespace cli {

class Command;
struct RecordOptions;

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
               const RecordOptions &options, const QString &success);
// `erase`: APROM and LDROM erased whole over SWD.
int runErase(const QStringList &arguments);
// `read ADDRESS LENGTH FILE`: a range of the device's memory over SWD into a .bin or .hex.
int runRead(const QStringList &arguments);

} // namespace cli
