// How many flash-algorithm sessions a run opens, counted where the QB48x sees them (each Init
// writes the first key, each UnInit sets the lock bit), what the pages cost in reports, where a
// failing page stops a run of them, and the CRC routine's answers over ranges of every alignment.
#include "swd/flash/pagepipeline.h"
#include "swdjobfixture.h"

#include <string>

namespace {

using Bank = TargetModel::Bank;

struct Sessions
{
    int inits = 0, uninits = 0;
};

Sessions sessionsSeen(const TargetModel &model)
{
    Sessions s;
    for (const auto &[address, value] : model.registerWrites()) {
        s.inits += address == TargetModel::kFmcKey && value == TargetModel::kKeyFirst;
        s.uninits += address == TargetModel::kFmcCommand && (value & TargetModel::kCommandLock);
    }
    return s;
}

// Runs one after the other on the same chip. A run whose every sector is skipped by its CRC asks
// nothing more in a verify by CRC: the session that found them skipped is its only one.
TEST_F(SwdJobTest, EachRunOpensOnlyTheSessionsItUses)
{
    std::vector<uint8_t> image = pattern(0x800, 3);
    const struct
    {
        const char *name;
        int verifyMode; // -1: no verify
        int changeAt; // an image byte changed before the run, -1: none
        int inits, uninits;
        SectorCounts sectors;
    } runs[] = {
        {"blank chip", SwdVerifyCrc, -1, 3, 3, {0, 4, 0}},
        {"again, CRC verify", SwdVerifyCrc, -1, 1, 1, {0, 0, 4}},
        {"again, read-back verify", SwdVerifyReadback, -1, 2, 2, {0, 0, 4}},
        {"again, no verify", -1, -1, 1, 1, {0, 0, 4}},
        // Compare, the erase chain (Init 1, UnInit 1, Init 2 on the core), program, verify.
        {"one sector changed", SwdVerifyCrc, 0x300, 4, 4, {1, 1, 3}},
    };
    for (const auto &run : runs) {
        SCOPED_TRACE(run.name);
        if (run.changeAt >= 0)
            image[size_t(run.changeAt)] ^= 0x5A;
        job.images = {{0x800, image.data(), uint32_t(image.size()), "app.bin"}};
        job.verify = run.verifyMode >= 0;
        job.verifyMode = run.verifyMode >= 0 ? run.verifyMode : SwdVerifyCrc;
        probe().device().target().clearLogs();
        const SwdResult r = runSwdJob(dev, job, {});
        ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
        const Sessions seen = sessionsSeen(probe().device().target());
        EXPECT_EQ(seen.inits, run.inits);
        EXPECT_EQ(seen.uninits, run.uninits);
        EXPECT_EQ(r.sectors, run.sectors);
        EXPECT_EQ(flash(Bank::Aprom, 0x800, 0x800), image);
    }
}

// The routine reads bytes up to a word boundary, whole words, then bytes: a wrong CRC in any of
// the three parts shows as a mismatch the read-back then places.
TEST_F(SwdJobTest, CrcRoutineAnswersRangesOfEveryAlignment)
{
    const std::vector<uint8_t> chip = pattern(0x1000, 9);
    const struct
    {
        uint32_t address, length;
        int changeAt; // the image's byte that differs from the chip's, -1: none
        int code;
        const char *message;
    } cases[] = {
        {0x801, 3, -1, SwdOk, ""},
        {0x800, 0x200, -1, SwdOk, ""},
        {0x9FE, 4, -1, SwdOk, ""},
        {0x803, 0x3FA, -1, SwdOk, ""},
        {0x803, 0x3FA, 0x803, SwdVerifyMismatch,
         "verify failed at 0x00000803: read 0x26, expected 0x7c"},
        {0x803, 0x3FA, 0x900, SwdVerifyMismatch,
         "verify failed at 0x00000900: read 0x12, expected 0x48"},
        {0x803, 0x3FA, 0xBFC, SwdVerifyMismatch,
         "verify failed at 0x00000BFC: read 0xf8, expected 0xa2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address + c.length);
        probe().reset();
        probe().device().target().setFlash(Bank::Aprom, chip);
        std::vector<uint8_t> image(chip.begin() + c.address, chip.begin() + c.address + c.length);
        if (c.changeAt >= 0)
            image[size_t(c.changeAt) - c.address] ^= 0x5A;
        job.images = {{c.address, image.data(), c.length, "app.bin"}};
        job.verifyMode = SwdVerifyCrc;
        const SwdResult r = verifyJob(dev, job, {});
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.message.toStdString(), c.message);
    }
}

// Over HID each report takes a frame, so the pages' words must fill them. On a blank chip with
// nothing to erase, the reports 16 pages more cost against the least their words fit in (14 per
// DAP_TransferBlock) plus the one report per run of pages that polls it and starts the next.
TEST_F(SwdJobTest, PagesTravelInFullReports)
{
    const std::vector<uint8_t> image = pattern(0x6000, 5);
    auto commandsFor = [&](uint32_t bytes) {
        probe().reset();
        job.images = {{0, image.data(), bytes, "app.bin"}};
        job.eraseMode = job::NoErase;
        job.verify = false;
        const uint64_t before = probe().commandsReceived();
        const SwdResult r = runSwdJob(dev, job, {});
        EXPECT_EQ(r.code, SwdOk) << r.message.toStdString();
        EXPECT_EQ(flash(Bank::Aprom, 0, bytes),
                  std::vector<uint8_t>(image.begin(), image.begin() + bytes));
        return probe().commandsReceived() - before;
    };
    // One poll a run of pages, not a page; the report after each poll moves TAR back and carries
    // fewer words, and a TAR wrap or two may cost a report.
    const uint64_t pages = 16, words = pages * 0x200 / 4;
    const uint64_t runs = (pages + PagePipeline::kMaxRunPages - 1) / PagePipeline::kMaxRunPages;
    const uint64_t least = (words + 13) / 14 + runs;
    const uint64_t a = commandsFor(0x2000), b = commandsFor(0x4000), c = commandsFor(0x6000);
    EXPECT_LE(b - a, least + runs + 2);
    EXPECT_LE(c - b, least + runs + 2);
}

// A page that fails inside a run of pages, wherever it lies in the run: the failure names that
// page, the pages before it are programmed, and none after it is written.
TEST_F(SwdJobTest, APageThatFailsInARunStopsTheRunThere)
{
    std::vector<uint8_t> image = pattern(0xC00, 7);
    for (uint32_t page = 3; page < 6; ++page)
        image[page * 0x200 + 8] &= ~0x4; // a bit the stuck one cannot take
    job.images = {{0, image.data(), uint32_t(image.size()), "app.bin"}};
    job.eraseMode = job::NoErase;
    job.verify = false;
    for (const uint32_t failing : {3u, 4u, 5u}) { // the first, middle and last of the second run
        SCOPED_TRACE(failing);
        probe().reset();
        probe().device().target().addStuckBits(Bank::Aprom, failing * 0x200 + 8, 0x4);
        const SwdResult r = runSwdJob(dev, job, {});
        EXPECT_EQ(r.code, SwdAlgorithmFailed);
        EXPECT_EQ(r.message.toStdString(),
                  "QB48x_Flash_AP failed: ProgramPage(" + hex8(failing * 0x200).toStdString()
                      + ") returned 1");
        const uint32_t at = failing * 0x200;
        EXPECT_EQ(flash(Bank::Aprom, 0, at),
                  std::vector<uint8_t>(image.begin(), image.begin() + at));
        EXPECT_EQ(flash(Bank::Aprom, at + 0x200, 0xC00 - at - 0x200),
                  std::vector<uint8_t>(0xC00 - at - 0x200, 0xFF));
    }
}

} // namespace
