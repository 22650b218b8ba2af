#include "flmdescriptor.h"

#include "swd/flash/elfimage.h"

namespace pack {

namespace {

// FlashDevice layout: Vers(2) DevName[128] DevType(2) DevAdr szDev szPage Res valEmpty(1)+pad
// toProg toErase, then up to 512 {szSector, AddrSector} pairs ended by 0xFFFFFFFF.
constexpr uint32_t kNameOffset = 2, kNameSize = 128, kDevAdr = 132, kSzDev = 136, kSzPage = 140,
                   kValEmpty = 148, kToProg = 152, kToErase = 156, kSectors = 160,
                   kMaxSectorRuns = 512;

uint32_t word(const std::vector<uint8_t> &b, uint32_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16
        | uint32_t(b[at + 3]) << 24;
}

// The runs' sectors counted, each run up to the next or the device's end; false past `limit`.
bool sectorCountWithin(const std::vector<FlmSectorRun> &runs, uint32_t deviceSize, uint64_t limit)
{
    uint64_t count = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const uint64_t end = i + 1 < runs.size() ? runs[i + 1].offset : deviceSize;
        count += (end - runs[i].offset + runs[i].size - 1) / runs[i].size;
        if (count > limit)
            return false;
    }
    return true;
}

bool fail(QString &error, const QString &why)
{
    error = QStringLiteral("FlashDevice: ") + why;
    return false;
}

bool readSectors(const std::vector<uint8_t> &bytes, uint32_t at, FlmDescriptor &out, QString &error)
{
    out.sectors.clear();
    for (uint32_t i = 0; i < kMaxSectorRuns; ++i) {
        const uint64_t entry = uint64_t(at) + kSectors + i * 8;
        if (entry + 8 > bytes.size())
            break;
        const uint32_t size = word(bytes, uint32_t(entry)),
                       offset = word(bytes, uint32_t(entry) + 4);
        if (size == 0xFFFFFFFFu && offset == 0xFFFFFFFFu) {
            if (out.sectors.empty() || out.sectors.front().offset != 0)
                return fail(error, QStringLiteral("the sector table does not start at 0"));
            if (!sectorCountWithin(out.sectors, out.deviceSize, FlmDescriptor::kMaxSectors))
                return fail(error,
                            QStringLiteral("more than %1 sectors").arg(FlmDescriptor::kMaxSectors));
            return true;
        }
        if (size == 0 || size % 4 || size > out.deviceSize || offset >= out.deviceSize
            || (!out.sectors.empty() && offset <= out.sectors.back().offset))
            return fail(error, QStringLiteral("sector table entry %1 is not usable").arg(i));
        out.sectors.push_back({size, offset});
    }
    return fail(error, QStringLiteral("the sector table has no end"));
}

} // namespace

bool readFlmDescriptor(const QByteArray &image, FlmDescriptor &out, QString &error)
{
    std::string why;
    const auto elf = ElfImage::parse(std::vector<uint8_t>(image.cbegin(), image.cend()), why);
    if (!elf) {
        error = QString::fromStdString(why);
        return false;
    }
    return readFlmDescriptor(*elf, out, error);
}

bool readFlmDescriptor(const ElfImage &elf, FlmDescriptor &out, QString &error)
{
    const ElfSymbol *symbol = elf.symbol("FlashDevice");
    const ElfSection *holder = nullptr;
    for (const ElfSection &s : elf.sections()) {
        if (symbol && (s.flags & ElfImage::kShfAlloc) && s.type != ElfImage::kShtNobits
            && symbol->value >= s.addr
            && uint64_t(symbol->value) + kSectors + 8 <= uint64_t(s.addr) + s.size)
            holder = &s;
    }
    const std::vector<uint8_t> bytes = holder ? elf.contents(*holder) : std::vector<uint8_t>();
    const uint32_t at = holder ? symbol->value - holder->addr : 0;
    if (!holder || bytes.size() < uint64_t(at) + kSectors + 8)
        return fail(error, QStringLiteral("not found"));
    const char *name = reinterpret_cast<const char *>(bytes.data() + at + kNameOffset);
    out.name = QString::fromLatin1(name, int(qstrnlen(name, kNameSize)));
    out.deviceStart = word(bytes, at + kDevAdr);
    out.deviceSize = word(bytes, at + kSzDev);
    out.pageSize = word(bytes, at + kSzPage);
    out.erasedValue = bytes[at + kValEmpty];
    out.programTimeoutMs = word(bytes, at + kToProg);
    out.eraseTimeoutMs = word(bytes, at + kToErase);
    if (out.deviceSize == 0 || uint64_t(out.deviceStart) + out.deviceSize > (uint64_t(1) << 32))
        return fail(error,
                    QStringLiteral("device size 0x%1 at 0x%2 is not usable")
                        .arg(out.deviceSize, 0, 16)
                        .arg(out.deviceStart, 0, 16));
    if (out.pageSize < 4 || out.pageSize % 4 || out.pageSize > FlmDescriptor::kMaxPageSize)
        return fail(error,
                    QStringLiteral("page size %1 is not usable (4 to %2, a multiple of 4)")
                        .arg(out.pageSize)
                        .arg(FlmDescriptor::kMaxPageSize));
    for (const auto &[label, value] : {std::make_pair("toProg", out.programTimeoutMs),
                                       std::make_pair("toErase", out.eraseTimeoutMs)}) {
        if (value == 0 || value > FlmDescriptor::kMaxTimeoutMs)
            return fail(error,
                        QStringLiteral("%1 %2 ms is not usable (1 to %3)")
                            .arg(QLatin1String(label))
                            .arg(value)
                            .arg(FlmDescriptor::kMaxTimeoutMs));
    }
    return readSectors(bytes, at, out, error);
}

} // namespace pack
