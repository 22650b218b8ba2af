// The QS64 of the test pack through the SWD job: a part the host knows nothing of but its pack.
#include "images/crc32.h"
#include "images/hexfilereader.h"
#include "swd/flash/elfimage.h"
#include "swd/flash/flashalgorithm.h"
#include "swd/flash/targetcrc.h"
#include "swd/swdprogrammer.h"
#include "swdjobfixture.h"
#include "virtualprobe.h"
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

using vprobe::CmsisDapProbe;

// The QS64 from its test pack, with nothing of it in the host: flash at 0x08000000 (its DevAdr),
// 2 KiB then 16 KiB sectors, 256-byte pages, the algorithm's RAM only 4 KiB of the 8.
TEST_F(SwdJobTest, Qs64FromItsPackProgramsVerifiesAndErases)
{
    QString error;
    ASSERT_TRUE(swdLoadTarget("qs64", job.target, error,
                              QFileInfo(QStringLiteral(QUORVEL_QS64_PACK)).absolutePath()))
        << error.toStdString();
    ASSERT_EQ(job.target.algorithms.size(), 1);
    EXPECT_TRUE(job.target.algorithms[0].fullErase);
    // One the pack does not mark default (option bytes, say): a full erase leaves it alone.
    pack::FlashAlgorithmRef option = job.target.algorithms[0];
    option.path = "Flash/QS64_OPT.FLM";
    option.isDefault = option.fullErase = false;
    job.target.algorithms.append(option);
    probe().device().selectPart(vprobe::SimulatedPart::Qs64);
    const Qs64Flash &part = *probe().device().qs64();
    auto flashAt = [&part](uint32_t at, uint32_t n) {
        return std::vector<uint8_t>(part.flash().begin() + at, part.flash().begin() + at + n);
    };
    // From the middle of the last 2 KiB sector into the second 16 KiB one.
    const std::vector<uint8_t> image = pattern(0x4000 + 0x500, 5);
    job.images = {{0x08003C10, image.data(), uint32_t(image.size()), "fw.bin"}};
    const struct
    {
        int eraseMode, verifyMode;
        SectorCounts counts = SectorCounts::none();
    } runs[] = {{job::AutoErase, SwdVerifyCrc, {0, 3, 0}},
                {job::AutoErase, SwdVerifyReadback, {0, 0, 3}},
                {job::SectorErase, SwdVerifyCrc, {0, 0, 3}},
                {job::FullErase, SwdVerifyReadback, {11, 3, 0}}};
    for (const auto &run : runs) {
        SCOPED_TRACE(run.eraseMode);
        job.eraseMode = run.eraseMode;
        job.verifyMode = run.verifyMode;
        const SwdResult r = runSwdJob(dev, job, {});
        ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
        EXPECT_EQ(flashAt(0x3C10, uint32_t(image.size())), image);
        EXPECT_EQ(flashAt(0x3C00, 0x10), std::vector<uint8_t>(0x10, 0xFF));
        EXPECT_EQ(flashAt(0x3C10 + uint32_t(image.size()), 0x10), std::vector<uint8_t>(0x10, 0xFF));
        EXPECT_EQ(std::vector<int>({r.sectors.erased, r.sectors.programmed, r.sectors.skipped}),
                  std::vector<int>({run.counts.erased, run.counts.programmed, run.counts.skipped}));
    }
    job.verifyMode = SwdVerifyReadback;
    EXPECT_EQ(verifyJob(dev, job, {}).code, SwdOk);
    ASSERT_EQ(eraseDevice(dev, job, {}).code, SwdOk);
    EXPECT_EQ(part.flash(), std::vector<uint8_t>(0x10000, 0xFF));
    const SwdResult r = verifyJob(dev, job, {});
    EXPECT_EQ(r.code, SwdVerifyMismatch);
    EXPECT_EQ(r.message.toStdString(), "verify failed at 0x08003C10: read 0xff, expected 0x05");
    job.images[0].address = 0x0800FFF0;
    EXPECT_EQ(runSwdJob(dev, job, {}).message.toStdString(),
              "fw.bin (17664 bytes at 0x0800fff0) is outside QS64_Flash");
    EXPECT_TRUE(part.faults().empty());
    probe().device().selectPart(vprobe::SimulatedPart::Qb48);
}

// The QS64's algorithm rewritten the way other toolchains lay one out: PrgData 16 bytes after the
// code, and an erased value of 0x00. The gap is loaded as zeros with R9 at the data; the part
// (which erases to 0xFF) does not look blank to the host, so the sector is read, erased and
// programmed back with the image: its other bytes keep their 0xFF.
TEST_F(SwdJobTest, Qs64AlgorithmWithGapBeforeDataAndErasedValueZero)
{
    QString error;
    ASSERT_TRUE(swdLoadTarget("qs64", job.target, error,
                              QFileInfo(QStringLiteral(QUORVEL_QS64_PACK)).absolutePath()));
    QByteArray &flm = job.target.algorithms[0].image;
    std::string why;
    const std::vector<uint8_t> bytes(flm.begin(), flm.end());
    const auto elf = ElfImage::parse(bytes, why);
    ASSERT_TRUE(elf) << why;
    const ElfSection &code = *elf->section("PrgCode"), &data = *elf->section("PrgData"),
                     &dscr = *elf->section("DevDscr");
    auto word = [&flm](uint32_t at) {
        uint32_t v = 0;
        memcpy(&v, flm.constData() + at, 4);
        return v;
    };
    const uint32_t shoff = word(0x20), shnum = word(0x30) & 0xFFFF;
    for (uint32_t i = 0; i < shnum; ++i) {
        const uint32_t header = shoff + i * 40;
        if (word(header + 0x10) == data.offset && word(header + 0xC) == data.addr) {
            const uint32_t moved = data.addr + 0x10;
            memcpy(flm.data() + header + 0xC, &moved, 4);
        }
    }
    flm[int(dscr.offset + elf->symbol("FlashDevice")->value - dscr.addr + 148)] = 0;
    const auto algorithm =
        FlashAlgorithm::parse(std::vector<uint8_t>(flm.begin(), flm.end()), "patched", error);
    ASSERT_TRUE(algorithm) << error.toStdString();
    EXPECT_EQ(algorithm->dataOffset(), code.size + 0x10);
    EXPECT_EQ(algorithm->erasedValue(), 0);
    EXPECT_EQ(std::vector<uint8_t>(algorithm->blob().begin() + code.size,
                                   algorithm->blob().begin() + code.size + 0x10),
              std::vector<uint8_t>(0x10, 0));

    job.target.algorithms[0].ramSize = 0x2000; // the 4 KiB leave too little stack now
    probe().device().selectPart(vprobe::SimulatedPart::Qs64);
    const std::vector<uint8_t> image = pattern(0x20, 9);
    job.images = {{0x08000810, image.data(), uint32_t(image.size()), "fw.bin"}};
    const SwdResult r = runSwdJob(dev, job, {});
    const std::vector<uint8_t> &part = probe().device().qs64()->flash();
    ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
    EXPECT_EQ(std::vector<uint8_t>(part.begin() + 0x800, part.begin() + 0x810),
              std::vector<uint8_t>(0x10, 0xFF));
    EXPECT_EQ(std::vector<uint8_t>(part.begin() + 0x810, part.begin() + 0x830), image);
    EXPECT_EQ(std::vector<uint8_t>(part.begin() + 0x830, part.begin() + 0x1000),
              std::vector<uint8_t>(0x1000 - 0x830, 0xFF));
    EXPECT_EQ(r.sectors.erased, 1);
    probe().device().selectPart(vprobe::SimulatedPart::Qb48);
}
