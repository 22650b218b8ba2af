// The device part of a pack description (.pdsc): family -> subFamily -> device -> variant, each
// level inheriting the processors, memories and flash algorithms of the levels above it.
#pragma once

#include "packsource.h"
#include "targetdescription.h"

#include <QStringList>
#include <QVector>

namespace pack {

struct PackContents
{
    QString packId; // Vendor.Name.Version
    QString vendor, name, version;
    QString path; // the pack file or folder
    QString descriptionFile; // the .pdsc inside it
    QVector<TargetDescription> devices; // algorithm images not loaded yet
    struct Refusal
    {
        QString device;
        QString message; // file, line and element
    };
    QVector<Refusal> refused; // devices the reader could not take; the others stay usable
    bool named = false; // given on the command line: wins over other versions of the pack
};

// Parses a description. Inheritance: a lower level adds to what it inherits; its processor
// attributes replace those of the same core above, a memory replaces the inherited one of the same
// name and core, an algorithm the inherited one of the same path, start and core. A device with
// variants is listed only through its variants. An element a device level cannot take refuses
// that level's devices (in `refused`); false, with a message naming the file, line and element,
// only when the description as a whole cannot be read.
bool parseDescription(const QByteArray &xml, const QString &fileName, PackContents &out,
                      QString &error);

// Opens a pack (a .pack/.zip, a folder, or a lone .pdsc whose files lie beside it) and parses its
// description. Algorithm files are not opened here.
bool readPack(const QString &path, const PackLimits &limits, PackContents &out, QString &error);

// Loads the images of the device's algorithms (those a job uses, once selectAlgorithms has kept
// only them): the erased value, szDev and EraseChip from each. False with a message naming the
// file, line and element.
bool loadAlgorithms(TargetDescription &device, const PackLimits &limits, QString &error);

// Every problem of every algorithm the pack names (file missing or too large, not an FLM, no
// ProgramPage, a style this host cannot run), one line each; empty when all are usable.
QStringList checkAlgorithms(const PackContents &contents, const PackLimits &limits);

} // namespace pack
