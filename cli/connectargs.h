// --connect, --reset-type and --debugvar of the SWD path: how a chip is connected and reset.
#pragma once

#include "swd/debug/targetcontrol.h"

#include <QCommandLineParser>
#include <QJsonObject>

namespace cli {

void addConnectOptions(QCommandLineParser &parser);
// False with the message for a value the options do not take.
bool connectOptionsFrom(const QCommandLineParser &parser, SwdConnectOptions &out, QString &error);
// The reset a device gets and the sequences its pack defines, for `targets` and `plan`:
// "reset: system (default); sequences: none, the standard ones run".
QString connectSummary(const pack::TargetDescription &device);
QJsonObject connectJson(const pack::TargetDescription &device);

} // namespace cli
