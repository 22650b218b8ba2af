// Bounds-checked ELF32 little-endian reader used by the flash-algorithm test host.
#include "swd/flash/elfimage.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kHeaderSize = 52;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSymbolSize = 16;

uint16_t le16(const std::vector<uint8_t> &b, size_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t le32(const std::vector<uint8_t> &b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8)
        | (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

} // namespace

std::optional<ElfImage> ElfImage::load(const std::string &path, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    return parse(std::move(bytes), error);
}

std::optional<ElfImage> ElfImage::parse(std::vector<uint8_t> bytes, std::string &error)
{
    ElfImage image;
    image.m_bytes = std::move(bytes);
    const std::vector<uint8_t> &b = image.m_bytes;
    if (b.size() < kHeaderSize || b[0] != 0x7F || b[1] != 'E' || b[2] != 'L' || b[3] != 'F') {
        error = "not an ELF file";
        return std::nullopt;
    }
    if (b[4] != 1 || b[5] != 1) {
        error = "not a 32-bit little-endian ELF file";
        return std::nullopt;
    }
    image.m_type = le16(b, 16);
    image.m_machine = le16(b, 18);
    image.m_entry = le32(b, 24);
    if (!image.readSections(error)) {
        return std::nullopt;
    }
    return image;
}

bool ElfImage::inFile(uint64_t offset, uint64_t size) const
{
    return offset <= m_bytes.size() && size <= m_bytes.size() - offset;
}

bool ElfImage::readSections(std::string &error)
{
    const uint32_t shoff = le32(m_bytes, 32);
    const uint16_t shentsize = le16(m_bytes, 46);
    const uint16_t shnum = le16(m_bytes, 48);
    const uint16_t shstrndx = le16(m_bytes, 50);
    if (shentsize < kSectionHeaderSize || !inFile(shoff, uint64_t(shentsize) * shnum)
        || shstrndx >= shnum) {
        error = "section header table out of bounds";
        return false;
    }
    std::vector<uint32_t> nameIndex;
    for (uint16_t i = 0; i < shnum; ++i) {
        const size_t at = shoff + size_t(i) * shentsize;
        ElfSection s;
        nameIndex.push_back(le32(m_bytes, at));
        s.type = le32(m_bytes, at + 4);
        s.flags = le32(m_bytes, at + 8);
        s.addr = le32(m_bytes, at + 12);
        s.offset = le32(m_bytes, at + 16);
        s.size = le32(m_bytes, at + 20);
        s.link = le32(m_bytes, at + 24);
        s.align = le32(m_bytes, at + 32);
        if (s.type != kShtNobits && !inFile(s.offset, s.size)) {
            error = "section " + std::to_string(i) + " lies outside the file";
            return false;
        }
        m_sections.push_back(s);
    }
    for (size_t i = 0; i < m_sections.size(); ++i) {
        std::optional<std::string> name = stringAt(m_sections[shstrndx], nameIndex[i]);
        if (!name) {
            error = "section name out of bounds";
            return false;
        }
        m_sections[i].name = *name;
    }
    for (const ElfSection &s : m_sections) {
        if (s.type == kShtSymtab && !readSymbols(s, error)) {
            return false;
        }
    }
    return true;
}

bool ElfImage::readSymbols(const ElfSection &symtab, std::string &error)
{
    if (symtab.link >= m_sections.size() || symtab.size % kSymbolSize != 0) {
        error = "malformed symbol table";
        return false;
    }
    const ElfSection &strings = m_sections[symtab.link];
    for (uint32_t at = symtab.offset; at < symtab.offset + symtab.size; at += kSymbolSize) {
        std::optional<std::string> name = stringAt(strings, le32(m_bytes, at));
        if (!name) {
            error = "symbol name out of bounds";
            return false;
        }
        ElfSymbol sym;
        sym.name = *name;
        sym.value = le32(m_bytes, at + 4);
        sym.size = le32(m_bytes, at + 8);
        sym.bind = m_bytes[at + 12] >> 4;
        sym.type = m_bytes[at + 12] & 0xF;
        sym.sectionIndex = le16(m_bytes, at + 14);
        m_symbols.push_back(sym);
    }
    return true;
}

std::optional<std::string> ElfImage::stringAt(const ElfSection &table, uint32_t index) const
{
    if (table.type == kShtNobits || index >= table.size) {
        return std::nullopt;
    }
    const auto first = m_bytes.begin() + table.offset + index;
    const auto last = m_bytes.begin() + table.offset + table.size;
    const auto nul = std::find(first, last, 0);
    if (nul == last) {
        return std::nullopt;
    }
    return std::string(first, nul);
}

const ElfSection *ElfImage::section(const std::string &name) const
{
    for (const ElfSection &s : m_sections) {
        if (s.name == name) {
            return &s;
        }
    }
    return nullptr;
}

const ElfSymbol *ElfImage::symbol(const std::string &name) const
{
    for (const ElfSymbol &s : m_symbols) {
        if (s.name == name) {
            return &s;
        }
    }
    return nullptr;
}

std::vector<uint8_t> ElfImage::contents(const ElfSection &section) const
{
    if (section.type == kShtNobits) {
        return {};
    }
    return std::vector<uint8_t>(m_bytes.begin() + section.offset,
                                m_bytes.begin() + section.offset + section.size);
}
