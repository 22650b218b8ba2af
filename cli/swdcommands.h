// The commands' second path: the same job through any CMSIS-DAP probe over SWD, chosen with
// --via swd.
#pragma once

#include <QCommandLineParser>
#include <QStringList>

namespace cli {

class Command;

enum class SwdCommand { Program, Verify };

// --via vendor|swd, the SWD path's --transport hid|bulk and --swd-clock HZ, and (withVerify)
// --verify crc|readback.
void addViaOption(QCommandLineParser &parser, bool withVerify = true);
// After parsing: -1 when the command goes the dedicated probe's way; otherwise the exit status of
// the run over SWD, or of a refused --via value or option.
int runViaSwd(Command &c, SwdCommand command);
// `erase`: APROM and LDROM erased whole over SWD.
int runErase(const QStringList &arguments);

} // namespace cli
