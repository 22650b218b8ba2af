// A device as a pack describes it, after inheritance: what the SWD host needs to program it.
// Plain data (QtCore types only), so the host, the CLI and tests consume it without the reader.
#pragma once

#include "debugsequences.h"

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>
#include <cstdint>
#include <optional>

namespace pack {

// A memory the chip shows only through a window of its address space, switched by a register:
// its bytes are read at `base` + offset while `selectRegister` holds `show`, and `hide` gives the
// window back to what it shows at reset.
struct ReadWindow
{
    uint32_t base = 0;
    uint32_t selectRegister = 0;
    uint32_t show = 0;
    uint32_t hide = 0;

    bool operator==(const ReadWindow &o) const
    {
        return base == o.base && selectRegister == o.selectRegister && show == o.show
            && hide == o.hide;
    }
};

struct MemoryRegion
{
    QString name; // `name`, or the older `id` (IROM1, IRAM1, ...)
    uint32_t start = 0;
    uint32_t size = 0;
    QString access; // r/w/x/p/s/n letters; derived from an `id` when `access` is absent
    bool isDefault = false;
    bool startup = false;
    QString pname; // the core it belongs to; empty: every core
    QString alias; // the memory this one is another view of (secure/non-secure windows)
    int line = 0; // in the description
    std::optional<ReadWindow> readWindow; // absent: read where it lies

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
    QString pname; // the core it belongs to; empty: every core
    QString style; // Keil (or empty) for an FLM; other styles cannot be run
    int line = 0; // in the description
    QByteArray image; // the FLM's bytes; filled only for an algorithm a job uses
    // From the image once loaded: the descriptor's erased value (valEmpty), its szDev and whether
    // it can erase the whole range at once.
    std::optional<uint8_t> erasedValue;
    uint32_t deviceSize = 0;
    bool hasEraseChip = false;
    // Set when a job's algorithms are chosen: full erase erases this range.
    bool fullErase = false;

    uint64_t end() const { return uint64_t(start) + size; }
};

struct Processor
{
    QString pname; // empty on a single-core device that does not name its core
    QString core; // Dcore, e.g. Cortex-M0
    QString fpu, mpu, endian; // as written; empty when no level says
    uint32_t clock = 0; // Dclock in Hz, 0 when unknown
    // The access port of <debug __ap/__apid>; absent: the first.
    std::optional<uint32_t> ap, apid;
};

// An element kept as written for the layers that use it (access ports, flash info, data patches).
struct PackElement
{
    QString element;
    QString pname;
    int line = 0;
    QVector<QPair<QString, QString>> attributes;
};

struct TargetDescription
{
    QString device; // Dvariant, or Dname when the device has no variants
    QString vendor, family, subFamily;
    QString packId; // Vendor.Name.Version of the pack that describes it
    QString packPath; // the .pack file or folder it was read from
    QString descriptionFile; // the .pdsc, and the line of the device in it, for messages
    int line = 0;
    Processor processor; // of the chosen core
    QVector<Processor> processors; // every core
    QString bootCore; // Pname of the core the startup memory belongs to, else the first's
    QVector<MemoryRegion> memories; // after selectCore: the chosen core's and the shared ones
    QVector<PackElement> elements;
    QVector<FlashAlgorithmRef> algorithms;
    // Known once the algorithms are loaded and all of them agree on it.
    std::optional<uint8_t> erasedValue;
    DebugDescription debug; // sequences and debugvars, inherited down to the device

    // The algorithm whose range holds `address`; the default one first when ranges overlap.
    const FlashAlgorithmRef *algorithmFor(uint32_t address) const;
    const MemoryRegion *memory(const QString &name) const;
    // The memory holding `address` that is read through a window, or null: the one place the
    // host asks how a flash is read.
    const MemoryRegion *windowedMemory(uint32_t address) const;
    // The APSEL of the chosen core's MEM-AP: its <debug __ap>, or the index of the <accessportV1>
    // its __apid names, else 0. False, with why, for a port APSEL cannot reach (past 255, an
    // ADIv6 accessportV2, an __apid no element declares).
    bool accessPort(uint8_t &apsel, QString &error) const;
    // The memory `m` is an alias of (followed to the end), or `m` itself.
    const MemoryRegion &aliasRoot(const MemoryRegion &m) const;
};

} // namespace pack
