// The device part of a pack description (.pdsc): family -> subFamily -> device -> variant, each
// level inheriting the processor, memories and flash algorithms of the levels above it.
#pragma once

#include "packsource.h"
#include "targetdescription.h"

#include <QVector>

namespace pack {

struct PackContents
{
    QString packId; // Vendor.Name.Version
    QString path; // the pack file or folder
    QString descriptionFile; // the .pdsc inside it
    QVector<TargetDescription> devices; // algorithm images not loaded yet
};

// Parses a description. Inheritance: a lower level adds to what it inherits; its processor
// attributes replace those of the same name above, a memory replaces the inherited one of the same
// name, an algorithm the inherited one of the same path. A device with variants is listed only
// through its variants. False with a message naming the file, line and element.
bool parseDescription(const QByteArray &xml, const QString &fileName, PackContents &out,
                      QString &error);

// Opens a pack, parses its description and checks that every algorithm it names is in the pack.
bool readPack(const QString &path, const PackLimits &limits, PackContents &out, QString &error);

// Loads the algorithm images of one device from its pack and takes the erased value from their
// descriptors. False with a message naming the file.
bool loadAlgorithms(TargetDescription &device, const PackLimits &limits, QString &error);

} // namespace pack
