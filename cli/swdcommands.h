// The commands' second path: the same job through any CMSIS-DAP probe over SWD, chosen with
// --via swd, and the CMSIS-DAP probes beside the dedicated ones in the probe list.
#pragma once

#include <QCommandLineParser>
#include <QJsonArray>
#include <QString>
#include <QStringList>

class OpenedDapProbe;

namespace cli {

class Command;

enum class SwdCommand { Program, Verify };

// --via vendor|swd, and the SWD path's --transport hid|bulk and --swd-clock HZ.
void addViaOption(QCommandLineParser &parser);
// After parsing: -1 when the command goes the dedicated probe's way; otherwise the exit status of
// the run over SWD, or of a refused --via value or option.
int runViaSwd(Command &c, SwdCommand command);
// `erase`: APROM and LDROM erased whole over SWD.
int runErase(const QStringList &arguments);

// Opens the CMSIS-DAP probe the command names (--probe; the first one otherwise) over the
// transport it asks for (--transport; else v2 when the probe has it) and puts the probe into the
// command's report: the exit status, 0 when open.
int openDapProbe(Command &c, OpenedDapProbe &probe, QString &error);
bool isCmsisDapProduct(const QString &product);
// Appends the CMSIS-DAP probes not in `listed` with what each can do: JSON entries and lines.
void appendCmsisDapProbes(const QStringList &listed, QJsonArray &list, QStringList &lines);

} // namespace cli
