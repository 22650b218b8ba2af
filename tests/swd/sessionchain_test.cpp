// The switch between erase and program sessions in one run on the core, on the nRF51, whose
// controller erases only under CONFIG=EEN and writes only under CONFIG=WEN.
#include "swd/flash/flashalgorithm.h"
#include "swd/flash/ramplan.h"
#include "swd/flash/targetcrc.h"
#include "swdjobfixture.h"

#include "cmsisdap/parts/nrf51part.h"

#include <QDir>

namespace {

#ifdef QUORVEL_NRF51_PACK
class ChainNrf51Test : public SwdJobTest
{
protected:
    void TearDown() override
    {
        probe().device().selectPart(vprobe::SimulatedPart::Qb48);
        SwdJobTest::TearDown();
    }
};

// 48 pages over other data, so that a second switch closes a program session first: the flash
// holds exactly the image where it goes and the other data (sector erase) or the erased value
// (full erase) everywhere else, and the controller ignored nothing.
TEST_F(ChainNrf51Test, ProgramsOverOtherDataUnderTheRightSessions)
{
    QString error;
    ASSERT_TRUE(swdLoadTarget("nRF51822_xxAA", job.target, error,
                              QFileInfo(QStringLiteral(QUORVEL_NRF51_PACK)).absolutePath()))
        << error.toStdString();
    // The switch runs as one routine there: the plan of the pack's area holds it.
    const pack::FlashAlgorithmRef &ref = job.target.algorithms.front();
    const auto algorithm = FlashAlgorithm::parse({ref.image.begin(), ref.image.end()}, "", error);
    const auto crc = CrcRoutine::load(QDir(job.flmDir).filePath("Quorvel_Crc32.FLM"), error);
    ASSERT_TRUE(algorithm && crc) << error.toStdString();
    const auto plan =
        RamPlan::make({"RAM", *ref.ramStart, *ref.ramSize}, uint32_t(algorithm->blob().size()),
                      algorithm->pageSize(), uint32_t(crc->blob().size()), error);
    ASSERT_TRUE(plan && plan->chain != 0) << error.toStdString();
    const std::vector<uint8_t> image = pattern(48 * 1024, 6), old = pattern(256 * 1024, 2);
    job.images = {{0, image.data(), uint32_t(image.size()), "fw.bin"}};
    const struct
    {
        int eraseMode;
        uint8_t elsewhere; // 0: the old data stays
        int erased;
    } runs[] = {{job::SectorErase, 0, 48}, {job::FullErase, 0xFF, 256}};
    for (const auto &run : runs) {
        SCOPED_TRACE(run.eraseMode);
        probe().device().selectPart(vprobe::SimulatedPart::Nrf51822);
        auto &part = static_cast<vprobe::Nrf51Part &>(*probe().device().board());
        part.flash() = old;
        std::vector<uint8_t> expected(old.size(), run.elsewhere);
        if (!run.elsewhere)
            expected = old;
        std::copy(image.begin(), image.end(), expected.begin());
        job.eraseMode = run.eraseMode;
        const SwdResult r = runSwdJob(dev, job, {});
        ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
        EXPECT_EQ(part.flash(), expected);
        EXPECT_EQ(std::vector<int>({r.sectors.erased, r.sectors.programmed, r.sectors.skipped}),
                  std::vector<int>({run.erased, 48, 0}));
        for (const std::string &line : part.log())
            EXPECT_EQ(line.find("ignored"), std::string::npos) << line;
    }
}
#endif

} // namespace
