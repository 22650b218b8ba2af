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
    QString error;
    const auto routine = CrcRoutine::load(QDir(job.flmDir).filePath("Quorvel_Crc32.FLM"), error);
    ASSERT_TRUE(routine) << error.toStdString();
    // The chip's RAM, whose long range list goes in two halves, and a 5 KiB area, whose short
    // one goes whole; a range the core cannot read in the fourth batch names that batch, and the
    // three before it have come back whole.
    const quorvel::MemoryArea small{"RAM", quorvel::qb48Geometry.ram.base, 0x1400};
    const struct
    {
        quorvel::MemoryArea ram;
        uint32_t perCall;
        const char *fourthFails;
    } cases[] = {
        {quorvel::qb48Geometry.ram, 32,
         "core did not halt within 234 ms (Crc32Ranges(32 ranges from 0x00001300))"},
        {small, 8, "core did not halt within 201 ms (Crc32Ranges(8 ranges from 0x000010C2))"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.perCall);
        probe().reset();
        probe().device().target().setFlash(TargetModel::Bank::Aprom, bytes);
        const auto plan =
            RamPlan::make(c.ram, 0x400, 0x200, uint32_t(routine->blob().size()), error);
        ASSERT_TRUE(plan && plan->withCrc) << error.toStdString();
        // Every length up to 2 KiB, each alignment meeting each length modulo 4, and a range
        // ending at the bank's last byte.
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
        ranges.resize(4 * c.perCall + 3);
        ranges[3 * c.perCall + 5] = {0x30000000, 4};
        EXPECT_FALSE(crc.run(ranges, crcs));
        EXPECT_EQ(link.error().code, SwdNoHalt);
        EXPECT_EQ(link.error().message.toStdString(), c.fourthFails);
        for (size_t i = 0; i < 3 * c.perCall; ++i)
            EXPECT_EQ(crcs[i], calcCrc32(bytes.data() + ranges[i].address, ranges[i].length)) << i;
    }
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

} // namespace
