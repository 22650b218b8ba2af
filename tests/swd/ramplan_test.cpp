// The RAM plan of a flash algorithm area: what fits beside the QB48x algorithm as the area shrinks,
// and what a run on the QS64 with a small area falls back to and says it used.
#include "swd/flash/flashalgorithm.h"
#include "swd/flash/ramplan.h"
#include "swd/flash/sessionchain.h"
#include "swd/flash/targetcrc.h"
#include "swdjobfixture.h"

#include <QDir>
#include <QFile>

namespace {

TEST(RamPlan, ShrinksToOneBufferAndNoCrcRoutineBeforeRefusing)
{
    const QString dir = QFileInfo(QStringLiteral(QUORVEL_FLM_AP)).absolutePath();
    QFile f(QDir(dir).filePath("QB48x_Flash_AP.FLM"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QString error;
    const auto algo =
        FlashAlgorithm::parse(std::vector<uint8_t>(bytes.begin(), bytes.end()), "qb48", error);
    const auto crc = CrcRoutine::load(QDir(dir).filePath("Quorvel_Crc32.FLM"), error);
    ASSERT_TRUE(algo && crc) << error.toStdString();
    const struct
    {
        uint32_t ramSize;
        uint32_t buffers, crcBatch, bufferAt;
        uint32_t chainAt; // 0: the calls around an erase go one by one
        const char *error; // nullptr: a plan
    } cases[] = {
        {0x4000, 16, 64, 0x20001000, 0x20003040, nullptr},
        {0x1000, 2, 8, 0x200007B0, 0, nullptr},
        {0x800, 1, 0, 0x20000290, 0x200004A0, nullptr},
        {0x600, 0, 0, 0, 0,
         "the flash algorithm, one page buffer and the stack need 1684 bytes of the 1536 of RAM"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ramSize);
        const auto plan =
            RamPlan::make({"RAM", 0x20000000, c.ramSize}, uint32_t(algo->blob().size()),
                          algo->pageSize(), uint32_t(crc->blob().size()), error);
        if (c.error) {
            ASSERT_FALSE(plan);
            EXPECT_EQ(error.toStdString(), c.error);
            continue;
        }
        ASSERT_TRUE(plan) << error.toStdString();
        EXPECT_EQ(plan->bufferCount, c.buffers);
        EXPECT_EQ(plan->withCrc, c.crcBatch != 0);
        EXPECT_EQ(plan->crcBatch, c.crcBatch);
        EXPECT_EQ(plan->buffers, c.bufferAt);
        EXPECT_EQ(plan->chain, c.chainAt);
        // Nothing overlaps: the buffers end below the stack's least depth.
        const uint32_t least = c.buffers == 1 ? RamPlan::kLeastStack : RamPlan::kMinStack;
        EXPECT_LE(plan->buffers + c.buffers * (algo->pageSize() + 4) + least, plan->stackTop);
        EXPECT_LE(plan->algorithm + algo->blob().size(), plan->pageStubs);
        if (c.chainAt) {
            EXPECT_LE(plan->buffers + c.buffers * (algo->pageSize() + 4), plan->chain);
            EXPECT_LE(plan->chain + sessionchain::kSize + least, plan->stackTop);
        }
    }
}

class SmallRamTest : public SwdJobTest
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
    }
    void TearDown() override
    {
        probe().device().selectPart(vprobe::SimulatedPart::Qb48);
        SwdJobTest::TearDown();
    }
};

// The pack's 4 KiB area, then 2, 1.5 and 1 KiB: every mode programs what the CRC routine would
// have decided, verify falls back to reading back, and the result says which way it went.
TEST_F(SmallRamTest, ProgramsWithWhatFitsAndSaysWhichItUsed)
{
    const std::vector<uint8_t> image = pattern(0x2300, 9);
    job.images = {{0x08000900, image.data(), uint32_t(image.size()), "fw.bin"}};
    job.verify = true;
    job.verifyMode = SwdVerifyCrc;
    const struct
    {
        uint32_t ramSize;
        int eraseMode;
        int code, buffers;
        bool crc;
        SectorCounts counts;
    } cases[] = {
        {0x1000, job::AutoErase, SwdOk, 2, true, {0, 5, 0}},
        {0x1000, job::AutoErase, SwdOk, 2, true, {0, 0, 5}}, // the same again: all skipped
        {0x800, job::AutoErase, SwdOk, 1, false, {5, 5, 0}}, // nothing to compare with
        {0x800, job::FullErase, SwdOk, 1, false, {11, 5, 0}},
        {0x600, job::SectorErase, SwdOk, 1, false, {5, 5, 0}},
        {0x400, job::SectorErase, SwdAlgorithmInvalid, 0, false, {0, 0, 0}},
    };
    probe().device().qs64()->fill(0xFF);
    ASSERT_EQ(job.target.algorithms.size(), 1);
    const pack::FlashAlgorithmRef packs = job.target.algorithms.front();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ramSize);
        pack::FlashAlgorithmRef small = packs;
        small.ramSize = c.ramSize;
        job.target.algorithms = {small};
        job.eraseMode = c.eraseMode;
        const SwdResult r = runSwdJob(dev, job, {});
        ASSERT_EQ(r.code, c.code) << r.message.toStdString();
        if (!r.ok()) {
            EXPECT_EQ(r.message.toStdString(),
                      "the flash algorithm, one page buffer and the "
                      "stack need 1300 bytes of the 1024 of RAM");
        }
        EXPECT_EQ(r.pageBuffers, c.buffers);
        EXPECT_EQ(r.crcRoutine, c.crc);
        EXPECT_EQ(std::vector<int>({r.sectors.erased, r.sectors.programmed, r.sectors.skipped}),
                  std::vector<int>({c.counts.erased, c.counts.programmed, c.counts.skipped}));
        const Qs64Flash &part = *probe().device().qs64();
        if (r.ok()) {
            EXPECT_EQ(std::vector<uint8_t>(part.flash().begin() + 0x900,
                                           part.flash().begin() + 0x900 + long(image.size())),
                      image);
            EXPECT_TRUE(part.faults().empty());
        }
    }
}

} // namespace
