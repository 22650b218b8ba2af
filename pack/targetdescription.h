// A device as a pack describes it, after inheritance: what the SWD host needs to program it.
// Plain data (QtCore types only), so the host, the CLI and tests consume it without the reader.
#pragma once

#include "debugsequences.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>
#include <optional>

namespace pack {

struct MemoryRegion
{
    QString name; // `name`, or the older `id` (IROM1, IRAM1, ...)
    uint32_t start = 0;
    uint32_t size = 0;
    QString access; // r/w/x/p/s/n letters; derived from an `id` when `access` is absent
    bool isDefault = false;
    bool startup = false;

    uint64_t end() const { return uint64_t(start) + size; }
    bool writable() const { return access.contains(QLatin1Char('w')); }
    bool executable() const { return access.contains(QLatin1Char('x')); }
};

struct FlashAlgorithmRef
{
    QString path; // inside the pack, '/'-separated, checked to stay inside it
    uint32_t start = 0; // the flash range this algorithm programs
    uint32_t size = 0;
    // Where the host may place the algorithm; absent: the host picks the default RAM.
    std::optional<uint32_t> ramStart;
    std::optional<uint32_t> ramSize;
    bool isDefault = false;
    QByteArray image; // the FLM's bytes; filled when a device is resolved, not when listed
    // The algorithm descriptor's erased value (valEmpty), once the image is loaded.
    std::optional<uint8_t> erasedValue;

    uint64_t end() const { return uint64_t(start) + size; }
};

struct Processor
{
    QString core; // Dcore, e.g. Cortex-M0
    QString fpu, mpu, endian; // as written; empty when no level says
    uint32_t clock = 0; // Dclock in Hz, 0 when unknown
};

struct TargetDescription
{
    QString device; // Dvariant, or Dname when the device has no variants
    QString vendor, family, subFamily;
    QString packId; // Vendor.Name.Version of the pack that describes it
    QString packPath; // the .pack file or folder it was read from
    Processor processor;
    QVector<MemoryRegion> memories;
    QVector<FlashAlgorithmRef> algorithms;
    // Known once the algorithms are loaded and all of them agree on it.
    std::optional<uint8_t> erasedValue;
    DebugDescription debug; // sequences and debugvars, inherited down to the device

    // The algorithm whose range holds `address`; the default one first when ranges overlap.
    const FlashAlgorithmRef *algorithmFor(uint32_t address) const;
    const MemoryRegion *memory(const QString &name) const;
};

} // namespace pack
