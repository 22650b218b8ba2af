// Reads a flash algorithm's ELF image into what the host copies and calls.
#include "swd/flash/flashalgorithm.h"

#include "swd/flash/elfimage.h"

#include <QByteArray>

#include <algorithm>

std::optional<uint32_t> FlashAlgorithm::entry(const std::string &name) const
{
    const auto it = m_entries.find(name);
    if (it == m_entries.end())
        return std::nullopt;
    return it->second;
}

std::optional<FlashAlgorithm> FlashAlgorithm::load(const QString &path, QString &error)
{
    std::string why;
    const std::optional<ElfImage> image = ElfImage::load(path.toStdString(), why);
    if (!image) {
        error = QStringLiteral("%1: %2").arg(path, QString::fromStdString(why));
        return std::nullopt;
    }
    return fromImage(*image, path, error);
}

std::optional<FlashAlgorithm> FlashAlgorithm::parse(const std::vector<uint8_t> &bytes,
                                                    const QString &name, QString &error)
{
    std::string why;
    const std::optional<ElfImage> image = ElfImage::parse(bytes, why);
    if (!image) {
        error = QStringLiteral("%1: %2").arg(name, QString::fromStdString(why));
        return std::nullopt;
    }
    return fromImage(*image, name, error);
}

std::optional<FlashAlgorithm> FlashAlgorithm::fromImage(const ElfImage &elf, const QString &path,
                                                        QString &error)
{
    const ElfImage *image = &elf;
    const ElfSection *code = image->section("PrgCode");
    // Toolchains split PrgData into RW data and a zero-initialised part, sometimes after a gap:
    // everything from the code's start to the last PrgData byte is copied, gaps and ZI as zeros.
    std::vector<const ElfSection *> data;
    for (const ElfSection &s : image->sections()) {
        if (s.name == "PrgData" && (s.flags & ElfImage::kShfAlloc))
            data.push_back(&s);
    }
    uint64_t dataStart = ~uint64_t(0), end = code ? uint64_t(code->addr) + code->size : 0;
    for (const ElfSection *s : data) {
        dataStart = std::min<uint64_t>(dataStart, s->addr);
        end = std::max<uint64_t>(end, uint64_t(s->addr) + s->size);
    }
    if (!code || data.empty() || dataStart < uint64_t(code->addr) + code->size
        || end - code->addr > kMaxBlob) {
        error = QStringLiteral("%1: no PrgCode and PrgData a host can load").arg(path);
        return std::nullopt;
    }
    pack::FlmDescriptor device;
    QString why;
    if (!pack::readFlmDescriptor(elf, device, why)) {
        error = QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    }
    FlashAlgorithm a;
    a.m_blob.assign(size_t(end - code->addr), 0);
    for (const ElfSection *s : data) {
        const std::vector<uint8_t> bytes = image->contents(*s); // empty for NOBITS
        std::copy(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), s->size),
                  a.m_blob.begin() + (s->addr - code->addr));
    }
    const std::vector<uint8_t> codeBytes = image->contents(*code);
    std::copy(codeBytes.begin(), codeBytes.begin() + std::min<size_t>(codeBytes.size(), code->size),
              a.m_blob.begin());
    a.m_dataOffset = uint32_t(dataStart - code->addr);
    for (const ElfSymbol &sym : image->symbols()) {
        if (sym.bind == ElfImage::kStbGlobal && sym.type == ElfImage::kSttFunc
            && sym.value - code->addr < code->size)
            a.m_entries[sym.name] = (sym.value & ~1u) - code->addr;
    }
    a.m_name = device.name;
    a.m_deviceStart = device.deviceStart;
    a.m_deviceSize = device.deviceSize;
    a.m_pageSize = device.pageSize;
    a.m_erased = device.erasedValue;
    a.m_programTimeout = device.programTimeoutMs;
    a.m_eraseTimeout = device.eraseTimeoutMs;
    a.m_sectors = device.sectors;
    for (const char *routine : {"Init", "UnInit", "EraseSector", "ProgramPage"}) {
        if (!a.entry(routine)) {
            error = QStringLiteral("%1: no routine %2").arg(path, routine);
            return std::nullopt;
        }
    }
    return a;
}

std::vector<uint32_t> FlashAlgorithm::sectorsCovering(uint32_t offset, uint32_t length) const
{
    std::vector<uint32_t> starts;
    const uint64_t end = uint64_t(offset) + length;
    for (size_t i = 0; i < m_sectors.size(); ++i) {
        const uint64_t runEnd = i + 1 < m_sectors.size() ? m_sectors[i + 1].offset : m_deviceSize;
        for (uint64_t s = m_sectors[i].offset; s < runEnd; s += m_sectors[i].size) {
            if (s + m_sectors[i].size > offset && s < end)
                starts.push_back(uint32_t(s));
        }
    }
    return starts;
}

uint32_t FlashAlgorithm::sectorSizeAt(uint32_t offset) const
{
    uint32_t size = m_sectors.front().size;
    for (const FlashSectorRun &run : m_sectors) {
        if (run.offset <= offset)
            size = run.size;
    }
    return size;
}
