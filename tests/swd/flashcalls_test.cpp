// Routine calls of a job on the QS64, whose controller obeys an erase only in an erase session and
// a write only in a program session: every routine under its own Init, stopped at its return
// breakpoint with nothing but 0 in R0, and counts of a failed run that say only what was done.
#include "swd/flash/elfimage.h"
#include "swd/flash/flashalgorithm.h"
#include "swd/flash/ramplan.h"
#include "swd/flash/targetcrc.h"
#include "swdjobfixture.h"

#include <QDir>

#include <cstring>

namespace {

class FlashCallsTest : public SwdJobTest
{
protected:
    void SetUp() override
    {
        SwdJobTest::SetUp();
        QString error;
        ASSERT_TRUE(swdLoadTarget("qs64", job.target, error,
                                  QFileInfo(QStringLiteral(QUORVEL_QS64_PACK)).absolutePath()))
            << error.toStdString();
        probe().device().selectPart(vprobe::SimulatedPart::Qs64);
        part = probe().device().qs64();
    }
    void TearDown() override
    {
        probe().device().selectPart(vprobe::SimulatedPart::Qb48);
        SwdJobTest::TearDown();
    }
    std::vector<uint8_t> flashAt(uint32_t at, uint32_t n) const
    {
        return std::vector<uint8_t>(part->flash().begin() + at, part->flash().begin() + at + n);
    }
    // Where the host runs the pack's algorithm: its plan is the RAM plan of these sizes.
    uint32_t algorithmBase() const
    {
        QString error;
        const pack::FlashAlgorithmRef &ref = job.target.algorithms.front();
        const auto algorithm = FlashAlgorithm::parse(
            std::vector<uint8_t>(ref.image.begin(), ref.image.end()), "qs64", error);
        const auto crc = CrcRoutine::load(QDir(job.flmDir).filePath("Quorvel_Crc32.FLM"), error);
        const auto plan =
            RamPlan::make({"RAM", *ref.ramStart, *ref.ramSize}, uint32_t(algorithm->blob().size()),
                          algorithm->pageSize(), uint32_t(crc->blob().size()), error);
        return plan->algorithm;
    }
    // The routine's offset in the blob, after its first instructions were replaced by `code`.
    uint32_t patchRoutine(const char *name, const std::vector<uint16_t> &code)
    {
        QByteArray &flm = job.target.algorithms[0].image;
        std::string why;
        const auto elf = ElfImage::parse(std::vector<uint8_t>(flm.begin(), flm.end()), why);
        EXPECT_TRUE(elf) << why;
        const ElfSection &prg = *elf->section("PrgCode");
        const uint32_t entry = (elf->symbol(name)->value & ~1u) - prg.addr;
        for (size_t i = 0; i < code.size(); ++i)
            std::memcpy(flm.data() + prg.offset + entry + 2 * i, &code[i], 2);
        return entry;
    }

    Qs64Flash *part = nullptr;
};

// A part that holds other data everywhere: each erase runs in an erase session, each page in a
// program session, and the bytes land whatever the erase mode.
TEST_F(FlashCallsTest, EveryRoutineRunsUnderItsOwnInit)
{
    const std::vector<uint8_t> image = pattern(0x100, 3);
    job.images = {{0x08000810, image.data(), uint32_t(image.size()), "fw.bin"}};
    const struct
    {
        int eraseMode;
        std::vector<std::string> operations;
        SectorCounts counts = SectorCounts::none();
    } runs[] = {
        {job::SectorErase, {"erase 0x08000800 in 1", "program 0x08000800 in 2"}, {1, 1, 0}},
        {job::AutoErase, {"erase 0x08000800 in 1", "program 0x08000800 in 2"}, {1, 1, 0}},
        // The algorithm's EraseChip: one mass erase, in its own erase session.
        {job::FullErase, {"mass erase 0x08000000 in 1", "program 0x08000800 in 2"}, {11, 1, 0}},
    };
    for (const auto &run : runs) {
        SCOPED_TRACE(run.eraseMode);
        probe().device().selectPart(vprobe::SimulatedPart::Qs64);
        part = probe().device().qs64();
        part->fill(0x5A);
        job.eraseMode = run.eraseMode;
        const SwdResult r = runSwdJob(dev, job, {});
        ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
        EXPECT_EQ(flashAt(0x810, 0x100), image);
        EXPECT_EQ(part->operations(), run.operations);
        EXPECT_EQ(std::vector<int>({r.sectors.erased, r.sectors.programmed, r.sectors.skipped}),
                  std::vector<int>({run.counts.erased, run.counts.programmed, run.counts.skipped}));
        EXPECT_TRUE(part->faults().empty()) << part->faults().front();
        EXPECT_EQ(part->session(), Qs64Flash::kSessionNone);
    }
}

// Each routine replaced by one that halts without returning, or returns a value with its low bits
// clear: the run fails with 12 naming the call, Init shows the pack's clock (16 MHz), and the
// counts hold only the erases that happened.
TEST_F(FlashCallsTest, ARoutineThatDoesNotReturnZeroAtItsBreakpointFails)
{
    constexpr uint16_t kMovsR0Zero = 0x2000, kMovsR0One = 0x2001, kLsls24 = 0x0600, kBxLr = 0x4770,
                       kBkpt = 0xBE00;
    const struct
    {
        const char *routine;
        std::vector<uint16_t> code;
        const char *call;
        bool stops; // at the BKPT after the first instruction, else returns
        SectorCounts counts = SectorCounts::none();
    } cases[] = {
        {"Init",
         {kMovsR0Zero, kBkpt},
         "Init(0x08000000, 0x00F42400, 0x00000003)",
         true,
         SectorCounts::none()},
        {"EraseSector",
         {kMovsR0Zero, kBkpt},
         "EraseSector(0x08000800)",
         true,
         SectorCounts::none()},
        {"UnInit", {kMovsR0Zero, kBkpt}, "UnInit(0x00000003)", true, SectorCounts::none()},
        {"ProgramPage", {kMovsR0Zero, kBkpt}, "ProgramPage(0x08000800)", true, {1, 0, 0}},
        {"ProgramPage", {kMovsR0One, kLsls24, kBxLr}, "ProgramPage(0x08000800)", false, {1, 0, 0}},
        {"EraseSector",
         {kMovsR0One, kLsls24, kBxLr},
         "EraseSector(0x08000800)",
         false,
         SectorCounts::none()},
    };
    const std::vector<uint8_t> image = pattern(0x100, 3);
    job.images = {{0x08000810, image.data(), uint32_t(image.size()), "fw.bin"}};
    job.eraseMode = job::SectorErase;
    job.verify = false;
    const QByteArray original = job.target.algorithms[0].image;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.routine);
        job.target.algorithms[0].image = original;
        const uint32_t entry = patchRoutine(c.routine, c.code);
        probe().device().selectPart(vprobe::SimulatedPart::Qs64);
        part = probe().device().qs64();
        part->fill(0x5A);
        const SwdResult r = runSwdJob(dev, job, {});
        EXPECT_EQ(r.code, SwdAlgorithmFailed);
        const std::string how = c.stops ? "stopped at "
                + hex8(algorithmBase() + entry + 2).toStdString() + " instead of returning"
                                        : std::string("returned 16777216");
        EXPECT_EQ(r.message.toStdString(), std::string("QS64_Flash failed: ") + c.call + " " + how);
        EXPECT_EQ(std::vector<int>({r.sectors.erased, r.sectors.programmed, r.sectors.skipped}),
                  std::vector<int>({c.counts.erased, c.counts.programmed, c.counts.skipped}));
        EXPECT_NE(flashAt(0x810, 0x100), image);
    }
}

// On a part full of other data: the bytes of a touched sector that no image covers survive
// sector erase, a pack range that starts above DevAdr programs each byte at its own address, a
// shorter range bounds the full erase, and two images in one page program it once.
TEST_F(FlashCallsTest, EachByteLandsAtItsAddressAndNothingElseChanges)
{
    const std::vector<uint8_t> a = pattern(0x20, 1), b = pattern(0x20, 2);
    const struct
    {
        const char *name;
        uint32_t packStart, packSize;
        int eraseMode;
        std::vector<SwdImage> images;
        std::vector<std::string> operations;
    } cases[] = {
        {"sector erase keeps the sector's other bytes",
         0x08000000,
         0x10000,
         job::SectorErase,
         {{0x08000810, a.data(), 0x20, "a.bin"}},
         {"erase 0x08000800 in 1", "program 0x08000800 in 2"}},
        {"a range above DevAdr",
         0x08004000,
         0xC000,
         job::SectorErase,
         {{0x08004010, a.data(), 0x20, "a.bin"}},
         {"erase 0x08004000 in 1", "program 0x08004000 in 2"}},
        {"a shorter range bounds the full erase",
         0x08000000,
         0x8000,
         job::FullErase,
         {{0x08000810, a.data(), 0x20, "a.bin"}},
         {"erase 0x08000000 in 1", "erase 0x08000800 in 1", "erase 0x08001000 in 1",
          "erase 0x08001800 in 1", "erase 0x08002000 in 1", "erase 0x08002800 in 1",
          "erase 0x08003000 in 1", "erase 0x08003800 in 1", "erase 0x08004000 in 1",
          "program 0x08000800 in 2"}},
        {"two images in one page without erase",
         0x08000000,
         0x10000,
         job::NoErase,
         {{0x08000810, a.data(), 0x20, "a.bin"}, {0x08000840, b.data(), 0x20, "b.bin"}},
         {"program 0x08000800 in 2"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        probe().device().selectPart(vprobe::SimulatedPart::Qs64);
        part = probe().device().qs64();
        // Erased where the images go without an erase, other data everywhere else.
        part->fill(0x5A);
        std::vector<uint8_t> expected = part->flash();
        for (const SwdImage &image : c.images) {
            if (c.eraseMode == job::NoErase)
                part->fill(0xFF, image.address - Qs64Flash::kFlashBase, image.length);
        }
        if (c.eraseMode == job::FullErase)
            std::fill(expected.begin(), expected.begin() + c.packSize, 0xFF);
        for (const SwdImage &image : c.images)
            std::copy_n(image.data, image.length,
                        expected.begin() + (image.address - Qs64Flash::kFlashBase));
        job.target.algorithms[0].start = c.packStart;
        job.target.algorithms[0].size = c.packSize;
        job.images = c.images;
        job.eraseMode = c.eraseMode;
        const SwdResult r = runSwdJob(dev, job, {});
        ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
        EXPECT_EQ(part->flash(), expected);
        EXPECT_EQ(part->operations(), c.operations);
        EXPECT_TRUE(part->faults().empty()) << part->faults().front();
    }
}

} // namespace
