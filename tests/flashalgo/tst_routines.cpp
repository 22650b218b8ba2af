// Runs every routine of both flash algorithms on the emulated QB48x at two load addresses and
// checks the register traffic, the flash contents and the return codes.
#include "flashhost.h"
#include "variants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace {

using Access = TargetModel::Access;
using Bank = TargetModel::Bank;
constexpr uint32_t kStatus = TargetModel::kFmcStatus;
constexpr uint32_t kCommand = TargetModel::kFmcCommand;
constexpr uint32_t kSector = TargetModel::kFmcSector;
constexpr uint32_t kSizeBit = 0x80000000; // of the configuration register: 120 KiB main flash

// Two 4-aligned RAM addresses that differ in every low address bit the code could depend on.
constexpr uint32_t kLoadLow = 0x20000100;
constexpr uint32_t kLoadHigh = 0x20001A5C;

std::string joined(const std::vector<std::string> &lines)
{
    std::string all;
    for (const std::string &l : lines) {
        all += l + "\n";
    }
    return all;
}

std::vector<uint8_t> pattern(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (uint8_t &b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
    }
    return bytes;
}

class RoutinesTest : public ::testing::TestWithParam<std::tuple<Variant, uint32_t>>
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(host.setupError(), "");
        std::string error;
        const std::optional<ElfImage> image = ElfImage::load(variant().path, error);
        ASSERT_TRUE(image) << error;
        ASSERT_TRUE(host.load(*image, std::get<1>(GetParam()), error)) << error;
    }

    const Variant &variant() const { return std::get<0>(GetParam()); }
    Bank bank() const { return variant().bank; }
    uint32_t bankSize() const { return uint32_t(model.flash(bank()).size()); }
    Bank otherBank() const { return bank() == Bank::Aprom ? Bank::Ldrom : Bank::Aprom; }

    // Every call must return cleanly and without a protocol fault in the controller.
    uint32_t run(const std::string &entry, const std::vector<uint32_t> &args = {})
    {
        const CallResult result = host.call(entry, args);
        EXPECT_TRUE(result.returned) << entry << ": " << result.failure;
        EXPECT_EQ(joined(model.faults()), "") << entry;
        return result.value;
    }

    void init()
    {
        EXPECT_EQ(run("Init", {0, 12000000, 1}), 0u);
        model.clearLogs();
    }

    uint32_t sectorValue(uint32_t sector, uint32_t boot) const
    {
        const bool bit28 = (boot == 0) == variant().bit28WhenBootZero;
        return sector | (bit28 ? TargetModel::kSectorBit28 : 0);
    }

    size_t countBytes(Bank b, uint8_t value, uint32_t from, uint32_t to) const
    {
        const std::vector<uint8_t> &a = model.flash(b);
        return size_t(std::count(a.begin() + from, a.begin() + to, value));
    }

    TargetModel model;
    FlashHost host{model};
};

TEST_P(RoutinesTest, initWritesRegistersInOrderAndUnlocks)
{
    EXPECT_EQ(run("Init", {0x12345678, 0xCAFEBABE, 3}), 0u);
    const std::vector<Access> expected = {
        {0xE000E180, 0xFFFFFFFF}, {0xE000E010, 0},          {0x400000A8, 0}, {0x40000050, 0},
        {0x40000054, 0},          {0x40000054, 1},          {0x40000080, 1}, {0x4000B000, 0},
        {0x4000B004, 0x5A3C9E17}, {0x4000B004, 0xA5C361E8},
    };
    EXPECT_EQ(model.registerWrites(), expected);
    EXPECT_TRUE(model.unlocked());
}

TEST_P(RoutinesTest, unInitSetsLockBitKeepingTheCommand)
{
    init();
    run("EraseSector", {0});
    model.clearLogs();
    EXPECT_EQ(run("UnInit", {3}), 0u);
    const uint32_t locked = 0x80010000 | variant().bankCommand;
    EXPECT_EQ(model.registerWrites(), (std::vector<Access>{{kCommand, locked}}));
    EXPECT_FALSE(model.unlocked());
}

TEST_P(RoutinesTest, eraseSectorPicksSectorAndBit28ByBootSelection)
{
    init();
    const uint32_t erase = 0x00010002 | variant().bankCommand;
    for (uint32_t boot = 0; boot < 4; ++boot) {
        for (uint32_t adr : {0x3FFu, 0x200u}) {
            SCOPED_TRACE("boot " + std::to_string(boot) + ", adr " + std::to_string(adr));
            model.fill(bank(), 0x00);
            model.setSystemConfig(kSizeBit | boot);
            model.clearLogs();
            EXPECT_EQ(run("EraseSector", {adr}), 0u);
            const uint32_t sector = sectorValue(1, boot);
            const std::vector<Access> expected = {{kStatus, 0x2},
                                                  {kSector, sector},
                                                  {kCommand, erase},
                                                  {kStatus, 0x2},
                                                  {kCommand, erase & ~0x2u}};
            EXPECT_EQ(model.registerWrites(), expected);
            EXPECT_EQ(model.erases(), (std::vector<TargetModel::Erase>{{bank(), sector}}));
            EXPECT_EQ(countBytes(bank(), 0xFF, 0x200, 0x400), 0x200u);
            EXPECT_EQ(countBytes(bank(), 0xFF, 0, bankSize()), 0x200u);
            EXPECT_EQ(model.status() & 0x3, 0u);
        }
    }
    EXPECT_EQ(countBytes(otherBank(), 0x00, 0, TargetModel::kLdromSize), TargetModel::kLdromSize);
}

TEST_P(RoutinesTest, eraseChipErasesEverySectorInAscendingOrder)
{
    const bool ldrom = bank() == Bank::Ldrom;
    const struct
    {
        uint32_t config;
        uint32_t sectors;
    } cases[] = {{kSizeBit | 0, ldrom ? 16u : 240u},
                 {0, ldrom ? 16u : 128u},
                 {kSizeBit | 2, ldrom ? 16u : 240u}};
    init();
    for (const auto &c : cases) {
        SCOPED_TRACE("config " + std::to_string(c.config));
        model.fill(bank(), 0x00);
        model.setSystemConfig(c.config);
        model.clearLogs();
        EXPECT_EQ(run("EraseChip"), 0u);
        std::vector<TargetModel::Erase> expected;
        for (uint32_t i = 0; i < c.sectors; ++i) {
            expected.push_back({bank(), sectorValue(i, c.config & 3)});
        }
        EXPECT_EQ(model.erases(), expected);
        const uint32_t end = c.sectors * TargetModel::kSectorSize;
        EXPECT_EQ(countBytes(bank(), 0xFF, 0, end), end);
        EXPECT_EQ(countBytes(bank(), 0x00, end, bankSize()), bankSize() - end);
        EXPECT_EQ(model.command() & 0x3, 0u);
    }
}

TEST_P(RoutinesTest, programPageWritesAndVerifiesWholePage)
{
    init();
    model.fill(bank(), 0xFF);
    const std::vector<uint8_t> data = pattern(512, 7);
    host.writeRam(FlashHost::kBufferAddress, data);
    EXPECT_EQ(run("ProgramPage", {0x400, 512, FlashHost::kBufferAddress}), 0u);

    const std::vector<uint8_t> &flash = model.flash(bank());
    EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 0x400, flash.begin() + 0x600), data);
    EXPECT_EQ(countBytes(bank(), 0xFF, 0, 0x400), 0x400u);
    EXPECT_EQ(countBytes(bank(), 0xFF, 0x600, bankSize()), bankSize() - 0x600);
    const uint32_t program = 0x1 | variant().bankCommand;
    // The done flag raised by earlier words ends the wait while the last word is still busy,
    // so the clearing write carries the (read-only) busy bit along.
    const std::vector<Access> expected = {
        {kStatus, 0x1}, {kCommand, program}, {kStatus, 0x10001}, {kCommand, program & ~0x1u}};
    EXPECT_EQ(model.registerWrites(), expected);
    EXPECT_EQ(model.flashReads().size(), 128u); // every word read back once
    EXPECT_EQ(model.status() & 0x3, 0u);
}

TEST_P(RoutinesTest, programPageRoundsSizeUpToWholeWords)
{
    init();
    model.fill(bank(), 0xFF);
    host.writeRam(FlashHost::kBufferAddress,
                  {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC});
    EXPECT_EQ(run("ProgramPage", {0x800, 6, FlashHost::kBufferAddress}), 0u);
    EXPECT_EQ(model.flashWord(bank(), 0x800), 0x44332211u);
    EXPECT_EQ(model.flashWord(bank(), 0x804), 0x88776655u);
    EXPECT_EQ(model.flashWord(bank(), 0x808), 0xFFFFFFFFu);
    EXPECT_EQ(model.flashReads(), (std::vector<uint32_t>{0x800, 0x804}));
    EXPECT_EQ(model.command() & 0x1, 0u);
}

TEST_P(RoutinesTest, programPageOfZeroBytesReturnsAtOnceUntouched)
{
    init();
    model.fill(bank(), 0xFF);
    host.writeRam(FlashHost::kBufferAddress, {0, 0, 0, 0});
    EXPECT_EQ(run("ProgramPage", {0x800, 0, FlashHost::kBufferAddress}), 0u);
    EXPECT_TRUE(model.registerWrites().empty());
    EXPECT_TRUE(model.flashReads().empty());
    EXPECT_EQ(model.flashWord(bank(), 0x800), 0xFFFFFFFFu);
}

TEST_P(RoutinesTest, programPageFailsAtFirstWordThatReadsBackWrong)
{
    init();
    model.fill(bank(), 0xFF);
    model.addStuckBits(bank(), 0x400 + 4 * 5, 0x00000008);
    model.addStuckBits(bank(), 0x400 + 4 * 9, 0x00000001);
    host.writeRam(FlashHost::kBufferAddress, std::vector<uint8_t>(64, 0x00));
    EXPECT_EQ(run("ProgramPage", {0x400, 64, FlashHost::kBufferAddress}), 1u);
    // Verification stops at word 5; word 9 is never compared.
    EXPECT_EQ(model.flashReads(),
              (std::vector<uint32_t>{0x400, 0x404, 0x408, 0x40C, 0x410, 0x414}));
    EXPECT_EQ(model.flashWord(bank(), 0x400 + 4 * 5), 0x00000008u);
    EXPECT_EQ(model.command() & 0x1, 0u);
    EXPECT_EQ(model.status() & 0x3, 0u);
}

INSTANTIATE_TEST_SUITE_P(VariantsAndLoadAddresses, RoutinesTest,
                         ::testing::Combine(::testing::Values(kMainFlash, kLdrom),
                                            ::testing::Values(kLoadLow, kLoadHigh)),
                         [](const auto &info) {
                             char base[12];
                             std::snprintf(base, sizeof base, "%08X",
                                           unsigned(std::get<1>(info.param)));
                             return std::string(std::get<0>(info.param).name) + "_at_" + base;
                         });

} // namespace
