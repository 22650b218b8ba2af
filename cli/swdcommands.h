// The commands' second path: the same job through any CMSIS-DAP probe over SWD, chosen with
// --via swd, and the CMSIS-DAP probes beside the dedicated ones in the probe list.
#pragma once

#include <QByteArray>
#include <QCommandLineParser>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace cli {

class Command;

enum class SwdCommand { Program, Verify };

// --via vendor|swd, and (withVerify) --verify crc|readback for the SWD path.
void addViaOption(QCommandLineParser &parser, bool withVerify = true);
// After parsing: -1 when the command goes the dedicated probe's way; otherwise the exit status of
// the run over SWD, or of a refused --via value or option.
int runViaSwd(Command &c, SwdCommand command);
// `erase`: APROM and LDROM erased whole over SWD.
int runErase(const QStringList &arguments);

struct DapProbeInfo
{
    QByteArray path;
    QString serial, product;
};
// Every HID device whose product string names CMSIS-DAP, in bus order.
std::vector<DapProbeInfo> listCmsisDapProbes();
bool isCmsisDapProduct(const QString &product);
// Appends the CMSIS-DAP probes not in `listed` with what each can do: JSON entries and lines.
void appendCmsisDapProbes(const QStringList &listed, QJsonArray &list, QStringList &lines);

} // namespace cli
