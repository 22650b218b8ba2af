// --pack and --target, shared by every subcommand that works on a device described by a pack.
#pragma once

#include "pack/targetcatalog.h"

#include <QCommandLineParser>

namespace cli {

void addPackOptions(QCommandLineParser &parser);
// The shipped packs, the user's pack folder, then each --pack in the order given. False with
// the reader's message (the pack named) when one cannot be used.
bool loadPacks(const QCommandLineParser &parser, pack::TargetCatalog &catalog, QString &error);

} // namespace cli
