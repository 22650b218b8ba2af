// Jobs through the virtual CMSIS-DAP probe: the core really runs the QB48x algorithms, and the
// simulated flash is checked byte for byte; every fault ends with its code and message.
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

namespace {

using vprobe::CmsisDapProbe;
constexpr uint32_t kLdrom = quorvel::qb48Geometry.ldrom.base;

TEST_F(SwdJobTest, HexAndBinLandByteExactInApromAndLdrom)
{
    // Application as Intel HEX at 0x100 (a partial first page), LDROM image as raw binary.
    QByteArray hex = ":10010000000102030405060708090A0B0C0D0E0F77\n"
                     ":0401100011121314A1\n:00000001FF\n";
    QBuffer buffer(&hex);
    buffer.open(QIODevice::ReadOnly);
    HexFileReader reader;
    ASSERT_EQ(reader.readDevice(buffer), 0);
    const std::vector<uint8_t> ldrom = pattern(0x600, 3);
    job.images = {{reader.start, reader.image(), uint32_t(reader.length), "app.hex"},
                  {kLdrom + 0x200, ldrom.data(), uint32_t(ldrom.size()), "boot.bin"}};
    job.resetAndRun = true;
    std::vector<QString> phases;
    const SwdResult r = runSwdJob(dev, job, [&](const QString &phase, int percent) {
        if (percent == 100 && (phases.empty() || phases.back() != phase))
            phases.push_back(phase);
    });
    ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
    EXPECT_EQ(flash(TargetModel::Bank::Aprom, 0xFC, 0x1C),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0,    1,    2,    3,   4,  5,
                                    6,    7,    8,    9,    10,   11,   12,   13,  14, 15,
                                    0x11, 0x12, 0x13, 0x14, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(flash(TargetModel::Bank::Ldrom, 0x200, 0x600), ldrom);
    EXPECT_EQ(flash(TargetModel::Bank::Ldrom, 0x1FC, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(phases, (std::vector<QString>{"connect", "erase", "program", "verify", "reset"}));
    EXPECT_FALSE(probe().device().core().halted()); // left running the application
    EXPECT_TRUE(probe().device().target().faults().empty());
}

TEST_F(SwdJobTest, PagePipelineEdgesLeaveExactlyTheImage)
{
    // One word, one page, a page and a word, unaligned spans, and enough pages to wrap the three
    // buffers more than once; with one buffer in the probe, and with a flash slower than the
    // next page's data: a few running reads the probe's match retries absorb, more reach the
    // host's own wait.
    const struct
    {
        uint32_t address, length;
        uint8_t packets;
        unsigned slowReads;
    } cases[] = {{0x0, 4, 4, 0},          {0x200, 0x200, 4, 0},   {0x1FC, 0x204, 4, 0},
                 {0x1F0, 0x3FD, 4, 0},    {0x3000, 0x1C00, 4, 0}, {0x1FC, 0x608, 1, 0},
                 {0x3000, 0x1C00, 2, 0},  {0x1F0, 0x3FD, 4, 150}, {0x3000, 0x1C00, 1, 2},
                 {0x3000, 0x1C00, 4, 102}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.address << " " << int(c.packets) << " " << c.slowReads);
        probe().setPacketCount(c.packets);
        probe().reset();
        probe().device().core().setSlowReads(c.slowReads);
        const std::vector<uint8_t> image = pattern(c.length, uint8_t(c.length));
        job.images = {{c.address, image.data(), c.length, "app.bin"}};
        job.eraseMode = job::NoErase;
        const SwdResult r = runSwdJob(dev, job, {});
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        const uint32_t from = c.address & ~0x1FFu, to = (c.address + c.length + 0x3FF) & ~0x1FFu;
        std::vector<uint8_t> expected(to - from, 0xFF);
        std::copy(image.begin(), image.end(), expected.begin() + (c.address - from));
        EXPECT_EQ(flash(TargetModel::Bank::Aprom, from, to - from), expected);
    }
    probe().setPacketCount(4);
}

TEST_F(SwdJobTest, VerifyNamesTheByteThatDiffersAndEraseBlanksBothBanks)
{
    const std::vector<uint8_t> aprom = pattern(0x300, 1), ldrom = pattern(0x100, 2);
    job.images = {{0x1000, aprom.data(), uint32_t(aprom.size()), "a.bin"},
                  {kLdrom, ldrom.data(), uint32_t(ldrom.size()), "b.bin"}};
    ASSERT_TRUE(runSwdJob(dev, job, {}).ok());
    // One flipped bit in the middle of the LDROM image, which a sum over words could miss; the
    // CRC finds the sector and the read-back of it the byte.
    probe().device().target().addStuckBits(TargetModel::Bank::Ldrom, 0x80, 0x200);
    for (int mode : {SwdVerifyCrc, SwdVerifyReadback}) {
        SCOPED_TRACE(mode);
        job.verifyMode = mode;
        const SwdResult changed = verifyJob(dev, job, {});
        EXPECT_EQ(changed.code, SwdVerifyMismatch);
        EXPECT_EQ(changed.message.toStdString(),
                  "verify failed at 0x10000081: read 0x8b, expected 0x89");
    }

    const SwdResult erased = eraseChip(dev, job.flmDir, {});
    ASSERT_TRUE(erased.ok()) << erased.message.toStdString();
    EXPECT_EQ(erased.sectors.erased, 240 + 16);
    EXPECT_EQ(flash(TargetModel::Bank::Aprom, 0x1000, 0x300), std::vector<uint8_t>(0x300, 0xFF));
    EXPECT_EQ(flash(TargetModel::Bank::Ldrom, 0, 0x80), std::vector<uint8_t>(0x80, 0xFF));

    const ProbeCaps caps = probeCapabilities(dev);
    EXPECT_TRUE(caps.ok);
    EXPECT_EQ(caps.vendor + "|" + caps.product + "|" + caps.serial + "|" + caps.firmware,
              "Quorvel|Quorvel Virtual CMSIS-DAP|QVP00000001|1.0");
    EXPECT_EQ(caps.packetCount, 4);
    EXPECT_EQ(caps.packetSize, 64);
    EXPECT_TRUE(caps.swd);
}

TEST_F(SwdJobTest, SectorEraseTakesExactlyTheSectorsTheImagesTouch)
{
    const std::vector<uint8_t> bytes(0x220, 0x3C);
    job.images = {{0x1F0, bytes.data(), 0x220, "a.bin"},
                  {kLdrom + 0x1E00, bytes.data(), 0x10, "b.bin"}};
    job.eraseMode = job::SectorErase;
    ASSERT_TRUE(runSwdJob(dev, job, {}).ok());
    using E = TargetModel::Erase;
    // Boot from APROM (configuration 0): the LDROM algorithm sets bit 28, the APROM one not.
    EXPECT_EQ(probe().device().target().erases(),
              (std::vector<E>{{TargetModel::Bank::Aprom, 0},
                              {TargetModel::Bank::Aprom, 1},
                              {TargetModel::Bank::Aprom, 2},
                              {TargetModel::Bank::Ldrom, 0x1000000F}}));
}

TEST_F(SwdJobTest, ProbesThatCannotServeAreRefused)
{
    const struct
    {
        uint16_t packetSize;
        bool swd;
        const char *message;
    } cases[] = {
        {512, true, "probe packet size 512 is not usable over HID"},
        {8, true, "probe packet size 8 is not usable over HID"},
        {64, false, "probe could not connect in SWD mode"},
    };
    const std::vector<uint8_t> bytes(0x10, 0);
    job.images = {{0, bytes.data(), 0x10, "a.bin"}};
    for (const auto &c : cases) {
        probe().reset();
        probe().device().setPacketSize(c.packetSize);
        probe().device().setSwdCapable(c.swd);
        const SwdResult r = runSwdJob(dev, job, {});
        EXPECT_EQ(r.code, SwdNotSwd);
        EXPECT_EQ(r.message.toStdString(), c.message);
        const ProbeCaps caps = probeCapabilities(dev);
        EXPECT_EQ(caps.ok, c.packetSize == 64);
        EXPECT_EQ(caps.swd, c.swd);
    }
}

TEST_F(SwdJobTest, ImagesOutsideTheBanksAndMissingAlgorithmsAreRefused)
{
    const std::vector<uint8_t> bytes(0x10, 0);
    job.images = {{kLdrom + 0x1FF8, bytes.data(), 0x10, "boot.bin"}};
    SwdResult r = runSwdJob(dev, job, {});
    EXPECT_EQ(r.code, SwdBadJob);
    EXPECT_EQ(r.message.toStdString(),
              "boot.bin (16 bytes at 0x10001ff8) is outside QB48x_Flash_LD");
    job.images[0].address = 0;
    job.flmDir = "/nonexistent";
    r = runSwdJob(dev, job, {});
    EXPECT_EQ(r.code, SwdAlgorithmMissing);
    EXPECT_EQ(r.message.toStdString(), "CRC routine /nonexistent/Quorvel_Crc32.FLM not found");
}

struct FaultCase
{
    const char *name;
    std::function<void(CmsisDapProbe &)> inject;
    int eraseMode;
    int code;
    const char *message;
};

TEST_F(SwdJobTest, FaultsEndWithTheirCodeAndNothingReportedDone)
{
    const std::vector<uint8_t> image = pattern(0x400, 9);
    const FaultCase cases[] = {
        {"algorithm returns 1",
         [](CmsisDapProbe &p) {
             p.device().target().addStuckBits(TargetModel::Bank::Aprom, 0x208, 0x4);
         },
         job::SectorErase, SwdAlgorithmFailed,
         "QB48x_Flash_AP failed: ProgramPage(0x00000200) returned 1"},
        {"algorithm returns 1 on a slow flash",
         [](CmsisDapProbe &p) {
             p.device().target().addStuckBits(TargetModel::Bank::Aprom, 0x208, 0x4);
             p.device().core().setSlowReads(120);
         },
         job::SectorErase, SwdAlgorithmFailed,
         "QB48x_Flash_AP failed: ProgramPage(0x00000200) returned 1"},
        {"WAIT storm", [](CmsisDapProbe &p) { p.device().waitStorm(1000000); }, job::SectorErase,
         SwdWait, "at 0x00000000: target kept answering WAIT after 0 of 1 transfers"},
        {"FAULT in the page buffer: the failed word is named",
         [](CmsisDapProbe &p) { p.device().faultAt(0x20001010); }, job::SectorErase, SwdFault,
         "at 0x20001010: target answered FAULT after 6 of 12 transfers"},
        {"core never halts", [](CmsisDapProbe &p) { p.device().target().setStalled(true); },
         job::SectorErase, SwdNoHalt,
         "core did not halt within 1000 ms (EraseSector(0x00000000) to EraseSector(0x00000200))"},
        {"probe hangs", [](CmsisDapProbe &p) { p.silentAfterReports(12); }, job::FullErase,
         SwdProbeTimeout, "probe did not answer command 0x05 within 1000 ms"},
        {"probe unplugged", [](CmsisDapProbe &p) { p.unplugAfterReports(30); }, job::FullErase,
         SwdProbeLost, "probe disconnected (write failed)"},
    };
    for (const FaultCase &c : cases) {
        SCOPED_TRACE(c.name);
        probe().reset();
        c.inject(probe());
        job.images = {{0, image.data(), uint32_t(image.size()), "app.bin"}};
        job.eraseMode = c.eraseMode;
        int verified = 0;
        const SwdResult r = runSwdJob(dev, job, [&](const QString &phase, int percent) {
            verified += phase == "verify" && percent == 100;
        });
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.message.toStdString(), c.message);
        EXPECT_EQ(verified, 0);
    }
}

TEST_F(SwdJobTest, CrcRoutineOnTheCoreMatchesTheHostCrc)
{
    const std::vector<uint8_t> bytes = pattern(TargetModel::kApromSize, 11);
    probe().device().target().setFlash(TargetModel::Bank::Aprom, bytes);
    QString error;
    const auto routine = CrcRoutine::load(QDir(job.flmDir).filePath("Quorvel_Crc32.FLM"), error);
    ASSERT_TRUE(routine) << error.toStdString();
    const auto plan = RamPlan::make(quorvel::qb48Geometry.ram, 0x400, 0x200,
                                    uint32_t(routine->blob().size()), error);
    ASSERT_TRUE(plan) << error.toStdString();
    // Every length up to 2 KiB, each alignment meeting each length modulo 4, and a range ending
    // at the bank's last byte.
    std::vector<CrcRange> ranges;
    for (uint32_t length = 0; length <= 0x800; ++length)
        ranges.push_back({0x1000 + length * 8 + (length / 4) % 4, length});
    ranges.push_back({TargetModel::kApromSize - 7, 7});
    DapPipe link(dev);
    DebugPort port(link);
    TargetCrc crc(port, *routine, *plan);
    std::vector<uint32_t> crcs;
    ASSERT_TRUE(link.open() && port.connect(4000000) && port.halt(100) && crc.load()
                && crc.run(ranges, crcs))
        << link.error().message.toStdString();
    ASSERT_EQ(crcs.size(), ranges.size());
    for (size_t i = 0; i < ranges.size(); ++i)
        EXPECT_EQ(crcs[i], calcCrc32(bytes.data() + ranges[i].address, ranges[i].length))
            << ranges[i].address << " " << ranges[i].length;
    EXPECT_TRUE(probe().device().target().faults().empty());
}

// Each step runs the job on the chip as the steps before left it.
TEST_F(SwdJobTest, AutoEraseTouchesOnlySectorsThatDiffer)
{
    using E = TargetModel::Erase;
    const auto aprom = TargetModel::Bank::Aprom;
    std::vector<uint8_t> image = pattern(0x1123, 5); // 0x800..0x1923: nine sectors, last partial
    uint8_t outside = 0xFF; // at 0x1928, beside the image in its last sector
    const struct
    {
        const char *name;
        std::function<void()> change;
        int eraseMode;
        std::vector<E> erases;
        int erased, programmed, skipped;
    } steps[] = {
        {"blank chip: programmed without an erase", [] {}, job::AutoErase, {}, 0, 9, 0},
        {"same image: every sector skipped", [] {}, job::AutoErase, {}, 0, 0, 9},
        {"one byte changed: its sector alone",
         [&] { image[0x400] ^= 0xFF; },
         job::AutoErase,
         {{aprom, 6}},
         1,
         1,
         8},
        {"byte outside the image in its last sector: kept, the sector skipped",
         [&] {
             std::vector<uint8_t> all = probe().device().target().flash(aprom);
             all[0x1928] = 0x00;
             probe().device().target().setFlash(aprom, all);
             outside = 0x00;
         },
         job::AutoErase,
         {},
         0,
         0,
         9},
        {"and kept when its sector is written",
         [&] { image[0x1100] ^= 0xFF; },
         job::AutoErase,
         {{aprom, 12}},
         1,
         1,
         8},
        {"sector erase skips alike", [] {}, job::SectorErase, {}, 0, 0, 9},
    };
    job.images = {{0x800, image.data(), uint32_t(image.size()), "app.bin"}};
    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        probe().device().target().clearLogs();
        job.eraseMode = step.eraseMode;
        int lastProgram = -1;
        const SwdResult r = runSwdJob(dev, job, [&](const QString &phase, int percent) {
            if (phase == "program")
                lastProgram = percent;
        });
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        EXPECT_EQ(probe().device().target().erases(), step.erases);
        EXPECT_EQ(r.sectors.erased, step.erased);
        EXPECT_EQ(r.sectors.programmed, step.programmed);
        EXPECT_EQ(r.sectors.skipped, step.skipped);
        EXPECT_EQ(lastProgram, 100);
        std::vector<uint8_t> expected(0x1A00 - 0x800, 0xFF);
        std::copy(image.begin(), image.end(), expected.begin());
        expected[0x1928 - 0x800] = outside;
        EXPECT_EQ(flash(aprom, 0x800, 0x1200), expected);
        EXPECT_EQ(flash(aprom, 0, 0x800), std::vector<uint8_t>(0x800, 0xFF));
    }
}

TEST_F(SwdJobTest, FullEraseBlanksBothBanksForAnApromJob)
{
    // The chip not configured for 120 KiB: the algorithm's EraseChip would stop at 64 KiB, and
    // the second image land on old bytes.
    probe().device().target().setFlash(TargetModel::Bank::Aprom,
                                       pattern(TargetModel::kApromSize, 6));
    probe().device().target().setFlash(TargetModel::Bank::Ldrom, pattern(0x2000, 4));
    const std::vector<uint8_t> image = pattern(0x200, 8), high = pattern(0x300, 9);
    job.images = {{0, image.data(), 0x200, "s.bin"}, {0x1D000, high.data(), 0x300, "p.bin"}};
    job.eraseMode = job::FullErase;
    const SwdResult r = runSwdJob(dev, job, {});
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(flash(TargetModel::Bank::Ldrom, 0, 0x2000), std::vector<uint8_t>(0x2000, 0xFF));
    std::vector<uint8_t> expected(TargetModel::kApromSize, 0xFF);
    std::copy(image.begin(), image.end(), expected.begin());
    std::copy(high.begin(), high.end(), expected.begin() + 0x1D000);
    EXPECT_EQ(flash(TargetModel::Bank::Aprom, 0, TargetModel::kApromSize), expected);
    EXPECT_EQ(r.sectors.erased, 240 + 16);
    EXPECT_EQ(r.sectors.programmed, 3);
    // Each sector once: the untouched ones first, the three programmed ones before their pages.
    std::vector<TargetModel::Erase> erases = probe().device().target().erases();
    EXPECT_EQ(erases.size(), 240u + 16u);
    std::sort(erases.begin(), erases.end(), [](const auto &a, const auto &b) {
        return std::make_pair(a.bank, a.sectorValue) < std::make_pair(b.bank, b.sectorValue);
    });
    EXPECT_EQ(std::unique(erases.begin(), erases.end()), erases.end());
}

TEST_F(SwdJobTest, ACrcRoutineThatFailsNeverPassesForAChecksum)
{
    // The routine's first instructions replaced: a loop, a return of 0, an undefined instruction
    // (a fault the core does not come back from).
    QTemporaryDir dir;
    for (const char *name : {"QB48x_Flash_AP.FLM", "QB48x_Flash_LD.FLM"})
        ASSERT_TRUE(QFile::copy(QDir(job.flmDir).filePath(name), dir.filePath(name)));
    const QString original = QDir(job.flmDir).filePath("Quorvel_Crc32.FLM");
    std::string why;
    const auto elf = ElfImage::load(original.toStdString(), why);
    ASSERT_TRUE(elf && elf->section("PrgCode"));
    const uint32_t at = elf->section("PrgCode")->offset;
    const struct
    {
        uint32_t code;
        int result;
        const char *message;
    } cases[] = {
        {0xE7FEE7FE, SwdNoHalt,
         "core did not halt within 248 ms (Crc32Ranges(10 ranges from 0x00000800))"},
        {0x47702000, SwdAlgorithmFailed,
         "CRC routine failed: Crc32Ranges(10 ranges from 0x00000800) stopped at 0x20000000 with 0"},
        {0xDE00DE00, SwdNoHalt,
         "core did not halt within 248 ms (Crc32Ranges(10 ranges from 0x00000800))"},
    };
    const std::vector<uint8_t> image = pattern(0x1123, 5);
    job.images = {{0x800, image.data(), uint32_t(image.size()), "app.bin"}};
    job.flmDir = dir.path();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        QFile in(original);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        for (int i = 0; i < 4; ++i)
            bytes[int(at) + i] = char(c.code >> (8 * i));
        QFile out(dir.filePath("Quorvel_Crc32.FLM"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        out.close();
        probe().reset();
        const SwdResult r = runSwdJob(dev, job, {});
        EXPECT_EQ(r.code, c.result);
        EXPECT_EQ(r.message.toStdString(), c.message);
        EXPECT_TRUE(probe().device().target().erases().empty());
        EXPECT_EQ(flash(TargetModel::Bank::Aprom, 0x800, 0x10), std::vector<uint8_t>(0x10, 0xFF));
    }
}

} // namespace

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
        SwdSectorCounts counts;
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
