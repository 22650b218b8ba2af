// The RAM plan of a flash algorithm area: what fits beside the QB48x algorithm as the area shrinks,
// and what a run on the QS64 with a small area falls back to and says it used.
#include "swd/flash/flashalgorithm.h"
#include "swd/flash/ramplan.h"
#include "swd/flash/sessionchain.h"
#include "swd/flash/targetcrc.h"
#include "swdjobfixture.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

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
        {0x4000, 19, 64, 0x20001000, 0x20003600, nullptr},
        {0x1000, 2, 8, 0x200007C0, 0, nullptr},
        {0x800, 1, 0, 0x200002A0, 0x200004A0, nullptr},
        {0x600, 0, 0, 0, 0,
         "the flash algorithm, one page buffer and the stack need 1696 bytes of the 1536 of RAM"},
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
        EXPECT_LE(plan->buffers + c.buffers * algo->pageSize() + least, plan->stackTop);
        EXPECT_LE(plan->algorithm + algo->blob().size(), plan->pageStubs);
        if (c.chainAt) {
            EXPECT_LE(plan->buffers + c.buffers * algo->pageSize(), plan->chain);
            EXPECT_LE(plan->chain + sessionchain::kSize + least, plan->stackTop);
        }
    }
}

// The QS64 read from a pack of its own whose algorithm's RAMsize is the case's, so the area comes
// through the pack reader as any device's does.
class SmallRamTest : public SwdJobTest
{
protected:
    void SetUp() override
    {
        SwdJobTest::SetUp();
        probe().device().selectPart(vprobe::SimulatedPart::Qs64);
    }
    void TearDown() override
    {
        probe().device().selectPart(vprobe::SimulatedPart::Qb48);
        SwdJobTest::TearDown();
    }
    // The test pack with RAMsize `ramSize`, in a folder of its own, its device loaded into job.
    void loadPackWithRam(const QTemporaryDir &dir, uint32_t ramSize)
    {
        ASSERT_NO_FATAL_FAILURE(
            writeEditedPack(QStringLiteral(QUORVEL_QS64_PACK), dir.path(), "Quorvel.QS64.pdsc",
                            {"Flash/QS64_Flash.FLM"}, "RAMsize=\"0x00001000\"",
                            "RAMsize=\"0x" + QByteArray::number(ramSize, 16) + "\""));
        QString error;
        job.target = {};
        ASSERT_TRUE(swdLoadTarget("qs64", job.target, error, dir.path())) << error.toStdString();
        ASSERT_EQ(job.target.algorithms.size(), 1);
        ASSERT_EQ(job.target.algorithms[0].ramSize, ramSize);
    }
};

// Packs with a 4 KiB area, then 2, 1.5 and 1 KiB: every mode programs what the CRC routine would
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
        const char *fullErase; // how the bank was erased, empty: not by a full erase
    } cases[] = {
        {0x1000, job::AutoErase, SwdOk, 2, true, {0, 5, 0}, ""},
        {0x1000, job::AutoErase, SwdOk, 2, true, {0, 0, 5}, ""}, // the same again: all skipped
        {0x800, job::AutoErase, SwdOk, 1, false, {5, 5, 0}, ""}, // nothing to compare with
        // EraseChip, then the bank read back to be sure it is blank.
        {0x800, job::FullErase, SwdOk, 1, false, {11, 5, 0}, "QS64_Flash.FLM chip 0"},
        {0x1000, job::FullErase, SwdOk, 2, true, {11, 5, 0}, "QS64_Flash.FLM chip 0"},
        {0x600, job::SectorErase, SwdOk, 1, false, {5, 5, 0}, ""},
        {0x400, job::SectorErase, SwdAlgorithmInvalid, 0, false, {0, 0, 0}, ""},
    };
    probe().device().qs64()->fill(0xFF);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ramSize);
        QTemporaryDir dir;
        ASSERT_NO_FATAL_FAILURE(loadPackWithRam(dir, c.ramSize));
        job.eraseMode = c.eraseMode;
        const SwdResult r = runSwdJob(dev, job, {});
        ASSERT_EQ(r.code, c.code) << r.message.toStdString();
        if (!r.ok()) {
            EXPECT_EQ(r.message.toStdString(),
                      "the flash algorithm, one page buffer and the "
                      "stack need 1312 bytes of the 1024 of RAM");
        }
        EXPECT_EQ(r.pageBuffers, c.buffers);
        EXPECT_EQ(r.crcRoutine, c.crc);
        EXPECT_EQ(std::vector<int>({r.sectors.erased, r.sectors.programmed, r.sectors.skipped}),
                  std::vector<int>({c.counts.erased, c.counts.programmed, c.counts.skipped}));
        QStringList erased;
        for (const BankErase &b : r.fullErase)
            erased << QStringLiteral("%1 %2 %3").arg(b.algorithm, b.by).arg(b.sectors);
        EXPECT_EQ(erased.join("; ").toStdString(), c.fullErase);
        const Qs64Flash &part = *probe().device().qs64();
        if (r.ok()) {
            std::vector<uint8_t> expected(Qs64Flash::kFlashSize, 0xFF);
            std::copy(image.begin(), image.end(), expected.begin() + 0x900);
            EXPECT_EQ(part.flash(), expected);
            EXPECT_TRUE(part.faults().empty());
        }
    }
}

} // namespace
