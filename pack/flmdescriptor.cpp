#include "flmdescriptor.h"

#include "swd/flash/elfimage.h"

namespace pack {

namespace {

// FlashDevice layout: Vers(2) DevName[128] DevType(2) DevAdr szDev szPage Res valEmpty(1)+pad
// toProg toErase, then up to 512 {szSector, AddrSector} pairs ended by 0xFFFFFFFF.
constexpr uint32_t kNameOffset = 2, kNameSize = 128, kDevAdr = 132, kSzDev = 136, kSzPage = 140,
                   kValEmpty = 148, kSectors = 160, kMaxSectors = 512;

uint32_t word(const std::vector<uint8_t> &b, uint32_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16
        | uint32_t(b[at + 3]) << 24;
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
    const ElfSymbol *symbol = elf->symbol("FlashDevice");
    const ElfSection *holder = nullptr;
    for (const ElfSection &s : elf->sections()) {
        if (symbol && (s.flags & ElfImage::kShfAlloc) && s.type != ElfImage::kShtNobits
            && symbol->value >= s.addr
            && uint64_t(symbol->value) + kSectors + 8 <= uint64_t(s.addr) + s.size)
            holder = &s;
    }
    if (!holder) {
        error = QStringLiteral("FlashDevice");
        return false;
    }
    const std::vector<uint8_t> bytes = elf->contents(*holder);
    const uint32_t at = symbol->value - holder->addr;
    if (bytes.size() < uint64_t(at) + kSectors + 8) {
        error = QStringLiteral("FlashDevice");
        return false;
    }
    const char *name = reinterpret_cast<const char *>(bytes.data() + at + kNameOffset);
    out.name = QString::fromLatin1(name, int(qstrnlen(name, kNameSize)));
    out.deviceStart = word(bytes, at + kDevAdr);
    out.deviceSize = word(bytes, at + kSzDev);
    out.pageSize = word(bytes, at + kSzPage);
    out.erasedValue = bytes[at + kValEmpty];
    out.sectors.clear();
    for (uint32_t i = 0; i < kMaxSectors; ++i) {
        const uint32_t entry = at + kSectors + i * 8;
        if (uint64_t(entry) + 8 > bytes.size())
            break;
        const uint32_t size = word(bytes, entry), offset = word(bytes, entry + 4);
        if (size == 0xFFFFFFFFu && offset == 0xFFFFFFFFu)
            return true;
        if (size == 0 || (!out.sectors.empty() && offset <= out.sectors.back().offset)) {
            error = QStringLiteral("FlashDevice: sector table");
            return false;
        }
        out.sectors.push_back({size, offset});
    }
    error = QStringLiteral("FlashDevice: sector table has no end");
    return false;
}

} // namespace pack
