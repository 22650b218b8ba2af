// Minimal reader for 32-bit little-endian ELF files: sections, their contents and the symbol
// table, enough for a debugger host to load a flash algorithm. Every offset is bounds-checked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ElfSection
{
    std::string name;
    uint32_t type = 0;
    uint32_t flags = 0;
    uint32_t addr = 0;
    uint32_t offset = 0;
    uint32_t size = 0;
    uint32_t link = 0;
    uint32_t align = 0;
};

struct ElfSymbol
{
    std::string name;
    uint32_t value = 0;
    uint32_t size = 0;
    uint8_t bind = 0; // STB_*
    uint8_t type = 0; // STT_*
    uint16_t sectionIndex = 0;
};

class ElfImage
{
public:
    static constexpr uint32_t kShtSymtab = 2;
    static constexpr uint32_t kShtRela = 4;
    static constexpr uint32_t kShtNobits = 8;
    static constexpr uint32_t kShtRel = 9;
    static constexpr uint32_t kShfWrite = 0x1;
    static constexpr uint32_t kShfAlloc = 0x2;
    static constexpr uint32_t kShfExec = 0x4;
    static constexpr uint8_t kStbLocal = 0;
    static constexpr uint8_t kStbGlobal = 1;
    static constexpr uint8_t kSttObject = 1;
    static constexpr uint8_t kSttFunc = 2;

    // Returns the image, or nothing with a reason in error.
    static std::optional<ElfImage> parse(std::vector<uint8_t> bytes, std::string &error);
    static std::optional<ElfImage> load(const std::string &path, std::string &error);

    uint16_t fileType() const { return m_type; }
    uint16_t machine() const { return m_machine; }
    uint32_t entry() const { return m_entry; }
    const std::vector<ElfSection> &sections() const { return m_sections; }
    const std::vector<ElfSymbol> &symbols() const { return m_symbols; }
    const ElfSection *section(const std::string &name) const;
    const ElfSymbol *symbol(const std::string &name) const;
    // File bytes of a section; empty for NOBITS.
    std::vector<uint8_t> contents(const ElfSection &section) const;

private:
    bool readSections(std::string &error);
    bool readSymbols(const ElfSection &symtab, std::string &error);
    bool inFile(uint64_t offset, uint64_t size) const;
    std::optional<std::string> stringAt(const ElfSection &table, uint32_t index) const;

    std::vector<uint8_t> m_bytes;
    uint16_t m_type = 0;
    uint16_t m_machine = 0;
    uint32_t m_entry = 0;
    std::vector<ElfSection> m_sections;
    std::vector<ElfSymbol> m_symbols;
};
