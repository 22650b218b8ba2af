// The switch between erase and program sessions in one run on the core: a call that fails inside
// it ends the job as the same call on its own does, and on the strict parts every erase still
// runs in an erase session and every page in a program session.
#include "swd/flash/elfimage.h"
#include "swd/flash/flashalgorithm.h"
#include "swd/flash/ramplan.h"
#include "swd/flash/sessionchain.h"
#include "swd/flash/targetcrc.h"
#include "swdjobfixture.h"

#include "cmsisdap/parts/nrf51part.h"

#include <QDir>

#include <cstring>

namespace {

// The job's plan for its first algorithm with `ramSize` bytes of RAM from the pack's RAMstart.
RamPlan planFor(const SwdJob &job, uint32_t ramSize)
{
    QString error;
    const pack::FlashAlgorithmRef &ref = job.target.algorithms.front();
    const auto algorithm = FlashAlgorithm::parse(
        std::vector<uint8_t>(ref.image.begin(), ref.image.end()), "chain", error);
    const auto crc = CrcRoutine::load(QDir(job.flmDir).filePath("Quorvel_Crc32.FLM"), error);
    EXPECT_TRUE(algorithm && crc) << error.toStdString();
    const auto plan =
        RamPlan::make({"RAM", *ref.ramStart, ramSize}, uint32_t(algorithm->blob().size()),
                      algorithm->pageSize(), uint32_t(crc->blob().size()), error);
    EXPECT_TRUE(plan) << error.toStdString();
    return plan ? *plan : RamPlan();
}

// The first word of the chain, as the host writes it.
uint32_t chainWord(CmsisDapProbe &probe, uint32_t at)
{
    uint32_t word = 0;
    EXPECT_TRUE(probe.device().core().read(at, word));
    return word;
}

constexpr uint32_t kChainStart = 0x617E2601; // MOVS R6, #1; STR R6, [R7, #20]

class ChainQs64Test : public SwdJobTest
{
protected:
    void SetUp() override
    {
        SwdJobTest::SetUp();
        QString error;
        ASSERT_TRUE(swdLoadTarget("qs64", job.target, error,
                                  QFileInfo(QStringLiteral(QUORVEL_QS64_PACK)).absolutePath()))
            << error.toStdString();
    }
    void TearDown() override
    {
        probe().device().selectPart(vprobe::SimulatedPart::Qb48);
        SwdJobTest::TearDown();
    }
    // The routine's first halfwords replaced by `code`.
    void patchRoutine(const char *name, const std::vector<uint16_t> &code)
    {
        QByteArray &flm = job.target.algorithms[0].image;
        std::string why;
        const auto elf = ElfImage::parse(std::vector<uint8_t>(flm.begin(), flm.end()), why);
        ASSERT_TRUE(elf) << why;
        const ElfSection &prg = *elf->section("PrgCode");
        const uint32_t entry = (elf->symbol(name)->value & ~1u) - prg.addr;
        for (size_t i = 0; i < code.size(); ++i)
            std::memcpy(flm.data() + prg.offset + entry + 2 * i, &code[i], 2);
    }
};

// Each step of the chain failing in turn, over two sectors of other data: with room for the chain
// and without (where the calls go one by one as they always did), the run fails with 12
// and the same message naming the call, and counts only the erases that were done. The patches
// fit the QS64 algorithm's code: Init's range check is where the one function code is refused,
// the other routines are replaced whole (their work does not matter once the job fails).
TEST_F(ChainQs64Test, AFailingStepEndsTheRunAsItsOwnCallDoes)
{
    const struct
    {
        const char *name;
        const char *routine;
        std::vector<uint16_t> code;
        const char *message;
        int erased;
    } cases[] = {
        {"Init erase",
         "Init",
         {0x2A01, 0xD000, 0xE001}, // CMP R2, #1; BEQ refuse; B on
         "Init(0x08000000, 0x00F42400, 0x00000001) returned 1",
         0},
        {"the second sector",
         "EraseSector",
         {0x0400, 0x0F00, 0x4770}, // R0 = bits 12..15 of the address: 1 at 0x08001000
         "EraseSector(0x08001000) returned 1",
         0},
        {"a sector that stops",
         "EraseSector",
         {0x2000, 0xBE00}, // MOVS R0, #0; BKPT
         "EraseSector(0x08000800) to EraseSector(0x08001000) stopped at %1 instead of returning",
         0},
        {"UnInit erase",
         "UnInit",
         {0x2801, 0xD001, 0x2000, 0x4770, 0x4770}, // 1 for UnInit(1), else 0
         "UnInit(0x00000001) returned 1",
         0},
        {"Init program",
         "Init",
         {0x2A02, 0xD000, 0xE001},
         "Init(0x08000000, 0x00F42400, 0x00000002) returned 1",
         2},
    };
    const std::vector<uint8_t> image = pattern(0xC00, 4);
    job.images = {{0x08000A00, image.data(), uint32_t(image.size()), "fw.bin"}};
    job.eraseMode = job::SectorErase;
    job.verify = false;
    const pack::FlashAlgorithmRef original = job.target.algorithms.front();
    // The pack's 4 KiB area holds two buffers and the long CRC batches, not the chain; the
    // part's whole RAM holds it.
    constexpr uint32_t kChainRam = 0x2000;
    const RamPlan chained = planFor(job, kChainRam);
    const RamPlan separate = planFor(job, *original.ramSize);
    ASSERT_NE(chained.chain, 0u);
    ASSERT_EQ(separate.chain, 0u);
    ASSERT_EQ(separate.bufferCount, 2u);
    for (const auto &c : cases) {
        for (const bool chain : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (chain ? " chained" : " call by call"));
            pack::FlashAlgorithmRef ref = original;
            ref.ramSize = chain ? kChainRam : *original.ramSize;
            job.target.algorithms = {ref};
            patchRoutine(c.routine, c.code);
            probe().device().selectPart(vprobe::SimulatedPart::Qs64);
            probe().device().qs64()->fill(0x5A);
            const SwdResult r = runSwdJob(dev, job, {});
            EXPECT_EQ(r.code, SwdAlgorithmFailed);
            const RamPlan &plan = chain ? chained : separate;
            QString message = QString::fromLatin1(c.message);
            if (message.contains(QLatin1String("%1")))
                message = message.arg(hex8(plan.algorithm + 0xA6 + 2)); // EraseSector's BKPT
            EXPECT_EQ(r.message.toStdString(), ("QS64_Flash failed: " + message).toStdString());
            EXPECT_EQ(std::vector<int>({r.sectors.erased, r.sectors.programmed, r.sectors.skipped}),
                      std::vector<int>({c.erased, 0, 0}));
            EXPECT_EQ(chainWord(probe(), chained.chain) == kChainStart, chain);
        }
    }
}

#ifdef QUORVEL_NRF51_PACK
class ChainNrf51Test : public SwdJobTest
{
protected:
    void SetUp() override
    {
        SwdJobTest::SetUp();
        QString error;
        ASSERT_TRUE(swdLoadTarget("nRF51822_xxAA", job.target, error,
                                  QFileInfo(QStringLiteral(QUORVEL_NRF51_PACK)).absolutePath()))
            << error.toStdString();
        probe().device().selectPart(vprobe::SimulatedPart::Nrf51822);
    }
    void TearDown() override
    {
        probe().device().selectPart(vprobe::SimulatedPart::Qb48);
        SwdJobTest::TearDown();
    }
};

// 48 pages over an image of other data, so more than one chain runs and each but the first
// closes a program session: the flash holds exactly the new image where it goes, and the other
// data (sector erase) or the erased value (full erase) everywhere else, and the controller ignored
// nothing.
TEST_F(ChainNrf51Test, ProgramsOverOtherDataUnderTheRightSessions)
{
    constexpr uint32_t kFlash = 256 * 1024;
    const std::vector<uint8_t> image = pattern(48 * 1024, 6), old = pattern(kFlash, 2);
    job.images = {{0, image.data(), uint32_t(image.size()), "fw.bin"}};
    const struct
    {
        int eraseMode;
        uint8_t elsewhere; // 0: the old data stays
        SectorCounts counts;
    } runs[] = {
        {job::SectorErase, 0, {48, 48, 0}},
        {job::FullErase, 0xFF, {256, 48, 0}},
    };
    for (const auto &run : runs) {
        SCOPED_TRACE(run.eraseMode);
        probe().device().selectPart(vprobe::SimulatedPart::Nrf51822);
        auto &part = static_cast<vprobe::Nrf51Part &>(*probe().device().board());
        part.flash() = old;
        std::vector<uint8_t> expected = old;
        if (run.elsewhere)
            std::fill(expected.begin(), expected.end(), run.elsewhere);
        std::copy(image.begin(), image.end(), expected.begin());
        job.eraseMode = run.eraseMode;
        const SwdResult r = runSwdJob(dev, job, {});
        ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
        EXPECT_EQ(part.flash(), expected);
        EXPECT_EQ(std::vector<int>({r.sectors.erased, r.sectors.programmed, r.sectors.skipped}),
                  std::vector<int>({run.counts.erased, run.counts.programmed, run.counts.skipped}));
        for (const std::string &line : part.log())
            EXPECT_EQ(line.find("ignored"), std::string::npos) << line;
        const RamPlan plan = planFor(job, *job.target.algorithms.front().ramSize);
        ASSERT_NE(plan.chain, 0u);
        EXPECT_EQ(chainWord(probe(), plan.chain), kChainStart);
    }
}
#endif

} // namespace
