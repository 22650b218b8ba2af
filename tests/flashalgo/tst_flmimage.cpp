// Checks the built flash-algorithm images as a debugger host reads them: ELF header, section
// layout, symbols, no relocations, and the device descriptor byte for byte.
#include "elfimage.h"
#include "variants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

void put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + i] = uint8_t(v >> (8 * i));
    }
}

// The descriptor as the layout table has it, written out field by field.
std::vector<uint8_t> expectedDescriptor(const Variant &v)
{
    std::vector<uint8_t> d(4256, 0);
    d[0] = 0x01; // Vers 0x0101
    d[1] = 0x01;
    std::memcpy(&d[2], v.name, std::strlen(v.name)); // DevName, NUL-filled
    d[130] = 1; // DevType: on-chip flash
    put32(d, 132, 0x00000000); // DevAdr
    put32(d, 136, v.deviceSize); // szDev
    put32(d, 140, 0x200); // szPage
    put32(d, 144, 0); // Res
    d[148] = 0xFF; // valEmpty
    put32(d, 152, 100); // toProg
    put32(d, 156, 500); // toErase
    put32(d, 160, 0x200); // sectors[0]
    put32(d, 164, 0x00000000);
    put32(d, 168, 0xFFFFFFFF); // end marker
    put32(d, 172, 0xFFFFFFFF);
    return d;
}

class FlmImageTest : public ::testing::TestWithParam<Variant>
{
protected:
    void SetUp() override
    {
        std::string error;
        image = ElfImage::load(GetParam().path, error);
        ASSERT_TRUE(image) << GetParam().path << ": " << error;
    }

    std::optional<ElfImage> image;
};

TEST_P(FlmImageTest, headerIsLittleEndianArmExecutableEnteringAtOne)
{
    EXPECT_EQ(image->fileType(), 2); // ET_EXEC
    EXPECT_EQ(image->machine(), 40); // EM_ARM
    EXPECT_EQ(image->entry(), 0x1u);
}

TEST_P(FlmImageTest, allocatedSectionsAreCodeDataDescriptorBackToBack)
{
    std::vector<ElfSection> alloc;
    for (const ElfSection &s : image->sections()) {
        if (s.flags & ElfImage::kShfAlloc) {
            alloc.push_back(s);
        }
    }
    ASSERT_EQ(alloc.size(), 3u);
    EXPECT_EQ(alloc[0].name, "PrgCode");
    EXPECT_EQ(alloc[1].name, "PrgData");
    EXPECT_EQ(alloc[2].name, "DevDscr");
    EXPECT_EQ(alloc[0].addr, 0u);
    EXPECT_EQ(alloc[0].flags, ElfImage::kShfAlloc | ElfImage::kShfExec);
    EXPECT_EQ(alloc[1].addr, alloc[0].size);
    EXPECT_EQ(alloc[1].flags, ElfImage::kShfAlloc | ElfImage::kShfWrite);
    EXPECT_EQ(image->contents(alloc[1]), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(alloc[2].addr, alloc[1].addr + 4);
    EXPECT_EQ(alloc[2].size, 4256u);
    EXPECT_EQ(alloc[2].flags, ElfImage::kShfAlloc);
    for (const ElfSection &s : alloc) {
        EXPECT_EQ(s.align, 4u) << s.name;
        EXPECT_EQ(s.addr % 4, 0u) << s.name;
        EXPECT_EQ(s.size % 4, 0u) << s.name;
    }
}

TEST_P(FlmImageTest, carriesNoRelocationsOrGot)
{
    for (const ElfSection &s : image->sections()) {
        EXPECT_NE(s.type, ElfImage::kShtRel) << s.name;
        EXPECT_NE(s.type, ElfImage::kShtRela) << s.name;
        EXPECT_EQ(s.name.rfind(".got", 0), std::string::npos) << s.name;
    }
}

TEST_P(FlmImageTest, exportsExactlyTheEntryPointsAndDescriptor)
{
    std::vector<std::string> globals;
    for (const ElfSymbol &s : image->symbols()) {
        if (s.bind != ElfImage::kStbLocal) {
            globals.push_back(s.name);
        }
    }
    std::sort(globals.begin(), globals.end());
    EXPECT_EQ(globals,
              (std::vector<std::string>{"EraseChip", "EraseSector", "FlashDevice", "Init",
                                        "ProgramPage", "UnInit"}));

    const ElfSection *code = image->section("PrgCode");
    ASSERT_TRUE(code);
    for (const char *name : {"Init", "UnInit", "EraseChip", "EraseSector", "ProgramPage"}) {
        const ElfSymbol *s = image->symbol(name);
        ASSERT_TRUE(s) << name;
        EXPECT_EQ(s->type, ElfImage::kSttFunc) << name;
        EXPECT_EQ(s->value & 1, 1u) << name << " must be Thumb";
        EXPECT_LT(s->value, code->size) << name;
    }
    // The internal routines exist but stay local.
    const bool ldrom = GetParam().bank == TargetModel::Bank::Ldrom;
    for (const char *name : {"Disable_Interrupts", ldrom ? "Erase_LDROM" : "Erase_APROM"}) {
        const ElfSymbol *s = image->symbol(name);
        ASSERT_TRUE(s) << name;
        EXPECT_EQ(s->bind, ElfImage::kStbLocal) << name;
    }
}

TEST_P(FlmImageTest, descriptorMatchesTheLayoutTable)
{
    const ElfSection *dscr = image->section("DevDscr");
    const ElfSymbol *sym = image->symbol("FlashDevice");
    ASSERT_TRUE(dscr && sym);
    EXPECT_EQ(sym->value, dscr->addr);
    EXPECT_EQ(sym->size, 4256u);
    EXPECT_EQ(sym->type, ElfImage::kSttObject);
    EXPECT_EQ(image->contents(*dscr), expectedDescriptor(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Variants, FlmImageTest, ::testing::Values(kMainFlash, kLdrom),
                         [](const auto &info) { return std::string(info.param.name); });

// The host reads whatever file it is given: damaged images must be refused, never overrun.
TEST(ElfImageTest, refusesDamagedImages)
{
    std::string error;
    const std::optional<ElfImage> good = ElfImage::load(kMainFlash.path, error);
    ASSERT_TRUE(good) << error;
    std::ifstream in(kMainFlash.path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    const uint32_t shoff = bytes[32] | (bytes[33] << 8) | (bytes[34] << 16) | (bytes[35] << 24);

    struct Damage
    {
        const char *what;
        void (*apply)(std::vector<uint8_t> &, uint32_t shoff);
        const char *error;
    };
    const Damage cases[] = {
        {"truncated header", [](auto &b, uint32_t) { b.resize(40); }, "not an ELF file"},
        {"bad magic", [](auto &b, uint32_t) { b[1] = 'X'; }, "not an ELF file"},
        {"64-bit class", [](auto &b, uint32_t) { b[4] = 2; },
         "not a 32-bit little-endian ELF file"},
        {"big-endian", [](auto &b, uint32_t) { b[5] = 2; }, "not a 32-bit little-endian ELF file"},
        {"table cut off", [](auto &b, uint32_t off) { b.resize(off + 100); },
         "section header table out of bounds"},
        {"name table index", [](auto &b, uint32_t) { b[50] = 0xFF; },
         "section header table out of bounds"},
        {"section beyond file", [](auto &b, uint32_t off) { b[off + 40 + 23] = 0x7F; },
         "section 1 lies outside the file"},
        {"name beyond table", [](auto &b, uint32_t off) { b[off + 40 + 3] = 0x7F; },
         "section name out of bounds"},
    };
    for (const Damage &c : cases) {
        std::vector<uint8_t> damaged = bytes;
        c.apply(damaged, shoff);
        error.clear();
        EXPECT_FALSE(ElfImage::parse(damaged, error)) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
}

} // namespace
