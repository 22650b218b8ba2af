// --pack and --target, shared by every subcommand that works on a device described by a pack.
#pragma once

#include "job/flashplan.h"
#include "pack/jobalgorithms.h"
#include "pack/targetcatalog.h"

#include <QCommandLineParser>
#include <QJsonObject>

class Download;
namespace job {
struct JobSetup;
}

namespace cli {

void addPackOptions(QCommandLineParser &parser);
// The shipped packs, the user's pack folder, then each --pack in the order given. False with
// the reader's message (the pack named) when one cannot be used.
bool loadPacks(const QCommandLineParser &parser, pack::TargetCatalog &catalog, QString &error);
// The device a run works on: --target, else the job's, else the shipped pack's default, on the
// core --core (or the job) names, else its boot core. Of its algorithms only those the job uses
// (for `images` and the --algorithm or job's names) are kept and loaded. A device named by
// --target or the job is written back into `setup` with the pack it came from (none when the
// pack is one Quorvel finds by itself), its core and algorithms. 0 or the exit status.
int resolveTarget(const QCommandLineParser &p, job::JobSetup &setup, pack::TargetDescription &out,
                  QString &error, const QVector<pack::ImageSpan> &images = {});
// The same device before any algorithm is chosen: its core selected, nothing loaded.
int findTarget(const QCommandLineParser &p, job::JobSetup &setup, pack::TargetDescription &out,
               QString &error);
// Keeps and loads the algorithms of `target` (from findTarget) a job of `images` uses.
int useAlgorithms(const job::JobSetup &setup, const QVector<pack::ImageSpan> &images,
                  pack::TargetDescription &target, QString &error);
QVector<pack::ImageSpan> imageSpansOf(const Download &d);
// One line and the JSON "role" and "fullErase" of every algorithm of a device (`json` as
// `targets` writes it), for a job of `images` naming `named`. 0 or the exit status.
int describeAlgorithms(const pack::TargetDescription &d, const QVector<pack::ImageSpan> &images,
                       const QStringList &named, QJsonObject &json, QStringList &lines,
                       QString &error);
// The memories a pack's device is programmed in: one per algorithm, named as the pack names the
// memory it lies in, with the algorithm's sector table, ending where the memory or szDev does.
bool memoriesOf(const pack::TargetDescription &device, QVector<FlashMemory> &out, QString &error);

} // namespace cli
