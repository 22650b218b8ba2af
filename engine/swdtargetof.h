// Which device a job over SWD programs, found in every pack the program knows: the one rule the
// command line and the window both ask, so a job runs the same from either.
#pragma once

#include "pack/jobalgorithms.h"
#include "pack/targetcatalog.h"

#include <QStringList>

namespace job {
struct JobSetup;
}

enum class SwdTargetProblem {
    None,
    Input, // a pack cannot be read or an algorithm file loaded
    Usage, // no such device or core, or an algorithm the device does not have
};

// The shipped packs, the user's pack folder, then `packs` in the order given (each named by the
// user). False with the reader's message when one cannot be used; skipped ones go to warnings().
bool loadKnownPacks(pack::TargetCatalog &catalog, const QStringList &packs, QString &error);

// The job's device (else the shipped default) on the job's core, nothing loaded. A device the job
// names is written back with its pack (none when the pack is one Quorvel finds by itself).
SwdTargetProblem findSwdTarget(job::JobSetup &setup, const QStringList &packs,
                               pack::TargetDescription &out, QString &error,
                               QStringList *warnings = nullptr);
// Keeps and loads the algorithms of `target` a job of `images` uses.
SwdTargetProblem useSwdAlgorithms(const job::JobSetup &setup,
                                  const QVector<pack::ImageSpan> &images,
                                  pack::TargetDescription &target, QString &error);
