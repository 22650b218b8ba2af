// Splits a merged Intel HEX file whose records lie in regions too far apart for one image (a
// bootloader in LDROM and an application in main flash) into one HEX text per region, so that
// each region loads through the ordinary reader at its own start.
#pragma once

#include <QByteArray>
#include <QVector>

namespace job {

// One HEX text per region, in ascending address order: the address records, the region's data
// records and the end record, in file order. Empty when the text is not HEX this scanner reads
// (the ordinary reader then gives the verdict) or holds a single region.
QVector<QByteArray> splitHexRegions(const QByteArray &text);

} // namespace job
