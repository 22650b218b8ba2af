// The flash builder on the shipped QB48x pack with its APROM range moved or cut: where a byte
// lives for every operation, what a full erase erases, what images may cover, and what each
// touched sector gets in each erase mode.
#include "images/crc32.h"
#include "job/erasemode.h"
#include "pack/targetcatalog.h"
#include "swd/builder/flashbuilder.h"

#include <gtest/gtest.h>

namespace {

pack::TargetDescription qb48(uint32_t start, uint32_t size)
{
    pack::TargetDescription target;
    QString error;
    EXPECT_TRUE(swdLoadTarget(pack::defaultDeviceName(), target, error)) << error.toStdString();
    target.algorithms[0].start = start;
    target.algorithms[0].size = size;
    return target;
}

TEST(FlashBuilder, EveryOperationUsesTheDeviceAddressInsideTheBanksExtent)
{
    const std::vector<uint8_t> bytes(0x10, 0x3C);
    const struct
    {
        uint32_t start, size; // of the pack's APROM algorithm range
        uint32_t image; // address of a 16-byte image
        const char *error; // empty: accepted
        uint32_t firstSector, fullEraseSectors;
    } cases[] = {
        {0x0, 0x1E000, 0x4000, "", 0x4000, 240},
        // A range that starts later: the image still lives at its own device address.
        {0x4000, 0x1A000, 0x4000, "", 0x4000, 208},
        {0x4000, 0x1A000, 0x3FF0, "a.bin (16 bytes at 0x00003ff0) is outside QB48x_Flash_AP", 0, 0},
        // A shorter range: images and the full erase stop at its end.
        {0x0, 0x10000, 0xFFF0, "", 0xFE00, 128},
        {0x0, 0x10000, 0x18000, "a.bin (16 bytes at 0x00018000) is outside QB48x_Flash_AP", 0, 0},
        // A range longer than the device: the device's end bounds it.
        {0x0, 0x40000, 0x1DFF0, "", 0x1DE00, 240},
        {0x4100, 0x1000, 0x4100,
         "the pack places Flash/QB48x_Flash_AP.FLM at 0x00004100 to 0x000050FF, which its device "
         "QB48x_Flash_AP (0x00000000 to 0x0001DFFF) does not hold on sector boundaries",
         0, 0},
        {0x40000, 0x1000, 0x40000,
         "the pack places Flash/QB48x_Flash_AP.FLM at 0x00040000 to 0x00040FFF, which its device "
         "QB48x_Flash_AP (0x00000000 to 0x0001DFFF) does not hold on sector boundaries",
         0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start);
        const pack::TargetDescription target = qb48(c.start, c.size);
        const std::vector<SwdImage> images{{c.image, bytes.data(), 0x10, "a.bin"}};
        std::vector<FlashBank> banks;
        const SwdResult r = buildBanks(target, images, false, banks);
        EXPECT_EQ(r.message.toStdString(), c.error);
        if (*c.error) {
            EXPECT_EQ(r.code, SwdBadJob);
            continue;
        }
        ASSERT_EQ(banks.size(), 1u);
        const FlashBank &bank = banks[0];
        ASSERT_EQ(bank.sectors.size(), 1u);
        EXPECT_EQ(bank.deviceAddress(bank.offsetOf(*bank.images[0])), c.image);
        EXPECT_EQ(bank.deviceAddress(bank.sectors[0].offset), c.firstSector);
        EXPECT_EQ(bank.extentSectors().size(), c.fullEraseSectors);
        EXPECT_EQ(bank.deviceAddress(bank.extentSectors().front()), c.start);
        EXPECT_EQ(sectorsToErase(bank, job::FullErase), bank.extentSectors());
    }
}

// Two images in one sector, sharing a page: the rest of the sector is kept in every mode but full,
// no page is programmed twice, and a sector whose image bytes are there already is skipped.
TEST(FlashBuilder, TouchedSectorsKeepWhatNoImageCoversAndEachPageIsProgrammedOnce)
{
    const pack::TargetDescription target = qb48(0, 0x1E000);
    const std::vector<uint8_t> a(8, 0xA1), b(8, 0xB2);
    const std::vector<SwdImage> images{{0x210, a.data(), 8, "a.bin"},
                                       {0x220, b.data(), 8, "b.bin"}};
    const std::vector<uint8_t> before(0x200, 0x5A); // what the sector holds now
    for (int mode : {job::SectorErase, job::AutoErase, job::NoErase, job::FullErase}) {
        SCOPED_TRACE(mode);
        std::vector<FlashBank> banks;
        ASSERT_TRUE(buildBanks(target, images, false, banks).ok());
        FlashBank &bank = banks[0];
        const bool compares = mode == job::SectorErase || mode == job::AutoErase;
        EXPECT_EQ(comparedRanges(bank).size(), 3u); // the two images, then the whole sector
        // CRCs of 0: neither image's bytes are there, nor is the sector blank.
        decideSectors(bank, mode,
                      compares ? std::vector<uint32_t>{0, 0, 0} : std::vector<uint32_t>{});
        const FlashSector &sector = bank.sectors[0];
        EXPECT_EQ(sector.needsMerge, mode != job::FullErase);
        if (sector.needsMerge)
            bank.sectors[0].merge(before);
        EXPECT_EQ(sectorsToErase(bank, mode).size(),
                  mode == job::FullErase     ? 240u
                      : mode == job::NoErase ? 0u
                                             : 1u);
        const std::vector<ProgramSpan> spans = programSpans(bank, mode);
        ASSERT_EQ(spans.size(), 1u);
        EXPECT_EQ(spans[0].offset, 0x200u);
        std::vector<uint8_t> expected(0x200, mode == job::FullErase ? 0xFF : 0x5A);
        std::fill_n(expected.begin() + 0x10, 8, 0xA1);
        std::fill_n(expected.begin() + 0x20, 8, 0xB2);
        EXPECT_EQ(spans[0].bytes, expected);
    }
    // Both images already in place: skipped whatever the rest holds.
    std::vector<FlashBank> banks;
    ASSERT_TRUE(buildBanks(target, images, false, banks).ok());
    const std::vector<uint8_t> &e = banks[0].sectors[0].expected;
    decideSectors(banks[0], job::SectorErase,
                  {calcCrc32(e.data() + 0x10, 8), calcCrc32(e.data() + 0x20, 8), 0});
    EXPECT_EQ(banks[0].sectors[0].action, FlashSector::Skip);
    EXPECT_TRUE(sectorsToErase(banks[0], job::SectorErase).empty());
    EXPECT_TRUE(programSpans(banks[0], job::SectorErase).empty());
}

} // namespace
