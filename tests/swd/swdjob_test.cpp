// Jobs through the virtual CMSIS-DAP probe: the core really runs the QB48x algorithms, and the
// simulated flash is checked byte for byte; every fault ends with its code and message.
#include "cmsisdap/cmsisdapprobe.h"
#include "images/hexfilereader.h"
#include "swd/swdprogrammer.h"
#include "virtualprobe.h"

#include <QBuffer>
#include <QFileInfo>

#include <functional>
#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

namespace {

using vprobe::CmsisDapProbe;
constexpr uint32_t kLdrom = quorvel::qb48Geometry.ldrom.base;

class SwdJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vprobe::VirtualProbe::instance().reset();
        probe().reset();
        probe().setEnabled(true);
        dev = hid_open(0x0D28, 0x0204, nullptr);
        ASSERT_NE(dev, nullptr);
        job.flmDir = QFileInfo(QStringLiteral(QUORVEL_FLM_AP)).absolutePath();
    }
    void TearDown() override
    {
        hid_close(dev);
        probe().setEnabled(false);
    }
    static CmsisDapProbe &probe() { return CmsisDapProbe::instance(); }
    std::vector<uint8_t> flash(TargetModel::Bank bank, uint32_t at, uint32_t n)
    {
        const std::vector<uint8_t> &all = probe().device().target().flash(bank);
        return std::vector<uint8_t>(all.begin() + at, all.begin() + at + n);
    }

    hid_device *dev = nullptr;
    SwdJob job;
};

std::vector<uint8_t> pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
    return bytes;
}

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

TEST_F(SwdJobTest, VerifyComparesEveryByteAndEraseBlanksBothBanks)
{
    const std::vector<uint8_t> aprom = pattern(0x300, 1), ldrom = pattern(0x100, 2);
    job.images = {{0x1000, aprom.data(), uint32_t(aprom.size()), "a.bin"},
                  {kLdrom, ldrom.data(), uint32_t(ldrom.size()), "b.bin"}};
    ASSERT_TRUE(runSwdJob(dev, job, {}).ok());
    EXPECT_TRUE(verifyJob(dev, job, {}).ok());

    // One flipped bit in the middle of the LDROM image, which a sum over words could miss.
    probe().device().target().addStuckBits(TargetModel::Bank::Ldrom, 0x80, 0x200);
    const SwdResult changed = verifyJob(dev, job, {});
    EXPECT_EQ(changed.code, SwdVerifyMismatch);
    EXPECT_EQ(changed.message.toStdString(),
              "verify failed at 0x10000081: read 0x8b, expected 0x89");

    const SwdResult erased = eraseChip(dev, job.flmDir, {});
    ASSERT_TRUE(erased.ok()) << erased.message.toStdString();
    EXPECT_EQ(flash(TargetModel::Bank::Aprom, 0x1000, 0x300), std::vector<uint8_t>(0x300, 0xFF));
    EXPECT_EQ(flash(TargetModel::Bank::Ldrom, 0, 0x80), std::vector<uint8_t>(0x80, 0xFF));

    const ProbeCaps caps = probeCapabilities(dev);
    EXPECT_TRUE(caps.ok);
    EXPECT_EQ(caps.vendor + "|" + caps.product + "|" + caps.serial + "|" + caps.firmware,
              "Quorvel|Quorvel Virtual CMSIS-DAP|QV0001|1.0");
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
    EXPECT_EQ(r.message.toStdString(), "flash algorithm /nonexistent/QB48x_Flash_AP.FLM not found");
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
         [](CmsisDapProbe &p) { p.device().faultAt(0x200009A0); },
         job::SectorErase, SwdFault, "at 0x200009A0: target answered FAULT after 6 of 12 transfers"},
        {"core never halts", [](CmsisDapProbe &p) { p.device().target().setStalled(true); },
         job::SectorErase, SwdNoHalt, "core did not halt within 500 ms (EraseSector(0x00000000))"},
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

} // namespace
