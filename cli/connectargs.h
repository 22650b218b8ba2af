// --connect, --reset-type and --debugvar of the SWD path: how a chip is connected and reset.
#pragma once

#include "swd/debug/targetcontrol.h"

#include <QCommandLineParser>

namespace cli {

void addConnectOptions(QCommandLineParser &parser);
// False with the message for a value the options do not take.
bool connectOptionsFrom(const QCommandLineParser &parser, SwdConnectOptions &out, QString &error);

} // namespace cli
