// Which of a device's cores and flash algorithms a job uses, and what its full erase touches: the
// one place the SWD flash builder, `plan` and `targets` ask.
#pragma once

#include "targetdescription.h"

#include <QStringList>
#include <QVector>

namespace pack {

struct ImageSpan
{
    uint32_t start = 0;
    uint32_t length = 0;
    QString name; // for messages
};

// Keeps the memories, algorithms and elements of core `name` (empty: the boot core) and those
// shared by every core. False, naming the cores there are, when the device has no such core.
bool selectCore(TargetDescription &device, const QString &name, QString &error);

// The name an algorithm is chosen by: its file name without the folder.
QString algorithmName(const FlashAlgorithmRef &algorithm);
// Whether a job's `name` chooses `algorithm`: its file name, stem or path, any case.
bool isNamed(const FlashAlgorithmRef &algorithm, const QString &name);
// An FLM this host can run (Keil's or CMSIS's format, not another tool's).
bool runnableStyle(const FlashAlgorithmRef &algorithm);

enum class AlgorithmRole {
    Default, // programs the device's memories and is erased by a full erase
    Named, // asked for by name: used as a default one is
    Image, // not a default one, but an image lies in its range
    Unused, // on request only, or another default one of the same range
};
QString roleText(AlgorithmRole role);

struct AlgorithmUse
{
    int index; // in the device's algorithms
    AlgorithmRole role;
};

// The role of each algorithm of `device` (one core already selected) for a job with `images`
// and the algorithms the user `named`. One default (or named) algorithm per range: the first
// wins and a named one replaces the defaults it overlaps. An image goes to the algorithm in use
// whose range holds its start, else to the first runnable other one. False with the reason when a
// name is unknown, or a needed algorithm cannot be run.
bool planAlgorithms(const TargetDescription &device, const QVector<ImageSpan> &images,
                    const QStringList &named, QVector<AlgorithmUse> &out, QString &error);

// Reduces `device` to the algorithms in use, each marked whether full erase erases it.
bool selectAlgorithms(TargetDescription &device, const QVector<ImageSpan> &images,
                      const QStringList &named, QString &error);

// Why an image cannot be written where it lies, or empty: it must lie inside the algorithm's range
// and inside the range its loaded image describes (szDev), and, when that range overlaps memories
// of the device, inside one of them.
QString imageBoundsProblem(const TargetDescription &device, const FlashAlgorithmRef &algorithm,
                           const ImageSpan &image);

} // namespace pack
