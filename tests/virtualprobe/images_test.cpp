// Image transfer into the simulated flash: blocks reassembled into pages, every field of a data
// block checked, MD5 and verification at image end, offline decryption and NOR programming.
#include "probekit.h"

#include <functional>

using namespace kit;

namespace {

Bytes pattern(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(seed + i * 7);
    return b;
}

class Images : public ProbeTest
{ };

TEST_F(Images, GoldenFiveByteImageLandsAtItsAddress)
{
    startJob(Job{}, {{0x2000, 5}});
    Report start = report(0x97, {0});
    start[61] = 0x97;
    EXPECT_EQ(exchange(start, 200), reply64({0x97, 0x00}));
    Report block = report(0x98, {5, 0, 0, 1, 0, 1, 2, 3, 4, 5});
    block[63] = 0x98 + 5 + 1 + 1 + 2 + 3 + 4 + 5;
    EXPECT_EQ(exchange(block), reply64({0x98, 0x00}));
    // MD5 of 01..05: 7cfdd07889b3295d6a550914ab35e068
    Report end = report(0x99,
                        {0x00, 0x00, 0x00, 0x7c, 0xfd, 0xd0, 0x78, 0x89, 0xb3, 0x29, 0x5d, 0x6a,
                         0x55, 0x09, 0x14, 0xab, 0x35, 0xe0, 0x68});
    EXPECT_EQ(exchange(sealStandard(end), 200), reply64({0x99, 0x00})) << probe().lastRefusal();
    EXPECT_EQ(probe().readFlash(0x1FFF, 7), (Bytes{0xFF, 1, 2, 3, 4, 5, 0xFF}));
}

TEST_F(Images, WholeJobProgramsEveryImageAcrossPages)
{
    const Bytes a = pattern(3000, 1), b = pattern(1024, 9), empty;
    Job job;
    job.fileCount = 3;
    startJob(job, {{0x0, 3000}, {0x10000000, 1024}, {0x8000, 0}});
    EXPECT_EQ(dataBlocks(b, job).size(), 22u);
    EXPECT_EQ(dataBlocks(b, job).back()[2], 16); // 21 x 48 bytes, then the page's last 16
    EXPECT_EQ(dataBlocks(b, job).back()[6], 252);
    EXPECT_EQ(sendImage(0, a, job), 0) << probe().lastRefusal();
    EXPECT_EQ(sendImage(1, b, job), 0) << probe().lastRefusal();
    EXPECT_EQ(sendImage(2, empty, job), 0) << probe().lastRefusal();
    EXPECT_EQ(finish().at(1), 0xAA);
    EXPECT_EQ(probe().readFlash(0, 3000), a);
    EXPECT_EQ(probe().readFlash(3000, 1), Bytes{0xFF});
    EXPECT_EQ(probe().readFlash(0x10000000, 1024), b);
}

TEST_F(Images, EveryFieldOfADataBlockIsChecked)
{
    struct Case
    {
        const char *name;
        std::function<void(Report &)> spoil;
        uint8_t status;
    };
    const Case cases[] = {
        {"checksum", [](Report &r) { r[63] ^= 1; }, vprobe::BadChecksum},
        {"block number", [](Report &r) { r[3] += 1, sealBlock(r); }, vprobe::BadLayout},
        {"page flag", [](Report &r) { r[5] = 1, sealBlock(r); }, vprobe::BadLayout},
        {"word offset", [](Report &r) { r[6] += 1, sealBlock(r); }, vprobe::BadLayout},
        {"length", [](Report &r) { r[2] = 47, sealBlock(r); }, vprobe::BadLayout},
        {"padding", [](Report &r) { r[58] = 1, sealBlock(r); }, vprobe::BadLayout},
        {"bytes 61..62", [](Report &r) { r[61] = 1, sealBlock(r); }, vprobe::BadChecksum},
    };
    const Bytes image = pattern(200, 3);
    for (const Case &c : cases) {
        probe().reset();
        startJob(Job{}, {{0x4000, 200}});
        std::vector<Report> blocks = dataBlocks(image, Job{});
        Report start = report(0x97, {0});
        ASSERT_EQ(status(sealStandard(start)), 0);
        ASSERT_EQ(status(blocks[0]), 0);
        c.spoil(blocks[1]);
        EXPECT_EQ(status(blocks[1]), c.status) << c.name;
        EXPECT_EQ(status(blocks[2]), vprobe::OutOfOrder) << c.name << ": the job is dropped";
    }
}

TEST_F(Images, ImageEndChecksCompletenessBlockNumberAndMd5)
{
    struct Case
    {
        const char *name;
        size_t blocksSent;
        uint16_t lastBlock;
        Bytes digestOf;
        uint8_t status;
    };
    const Bytes image = pattern(100, 5);
    Bytes other = image;
    other[99] ^= 0x01;
    const Case cases[] = {
        {"md5", 3, 2, other, vprobe::DigestMismatch},
        {"block number", 3, 1, image, vprobe::BadLayout},
        {"early end", 2, 1, image, vprobe::BadLayout},
        {"good", 3, 2, image, 0},
    };
    for (const Case &c : cases) {
        probe().reset();
        startJob(Job{}, {{0x4000, 100}});
        Report start = report(0x97, {0});
        ASSERT_EQ(status(sealStandard(start)), 0);
        const std::vector<Report> blocks = dataBlocks(image, Job{});
        ASSERT_EQ(blocks.size(), 3u);
        for (size_t i = 0; i < c.blocksSent; ++i)
            ASSERT_EQ(status(blocks[i]), 0);
        EXPECT_EQ(status(imageEnd(c.lastBlock, c.digestOf)), c.status) << c.name;
    }
}

TEST_F(Images, ImagesMustComeInOrderAndOnlyInsideAnImage)
{
    Job job;
    job.fileCount = 2;
    startJob(job, {{0x0, 4}, {0x100, 4}});
    EXPECT_EQ(status(dataBlocks(Bytes(4, 1), job)[0]), vprobe::OutOfOrder);
    startJob(job, {{0x0, 4}, {0x100, 4}});
    Report second = report(0x97, {1});
    EXPECT_EQ(status(sealStandard(second)), vprobe::BadLayout);
}

TEST_F(Images, FullEraseTellsNoAddressForAnEighthImage)
{
    std::vector<Region> regions;
    for (uint32_t i = 0; i < 8; ++i)
        regions.push_back({0x1000 * i, 4});
    Job job;
    job.fileCount = 8;
    startJob(job, regions);
    for (int i = 0; i < 7; ++i)
        ASSERT_EQ(sendImage(i, Bytes(4, uint8_t(i)), job), 0);
    EXPECT_EQ(sendImage(7, Bytes(4, 7), job), vprobe::BadLayout);
    EXPECT_EQ(probe().lastRefusal(), "0x97: image start: no region was given for this image");
}

TEST_F(Images, OfflineBlocksAreDecryptedAlongOneChainPerImage)
{
    Job job;
    job.offline = true;
    job.fileCount = 2;
    const Bytes a = pattern(1100, 2), b = pattern(5, 40);
    startJob(job, {{0x0, 1100}, {0x800, 5}});
    const std::vector<Report> blocks = dataBlocks(b, job);
    EXPECT_EQ(blocks[0][2], 5);
    EXPECT_NE(Bytes(blocks[0].begin() + 7, blocks[0].begin() + 12), b) << "sent encrypted";
    EXPECT_NE(Bytes(blocks[0].begin() + 12, blocks[0].begin() + 23), Bytes(11, 0))
        << "16 bytes of cipher text for 5 bytes of data";
    EXPECT_EQ(sendImage(0, a, job), 0) << probe().lastRefusal();
    EXPECT_EQ(sendImage(1, b, job), 0) << probe().lastRefusal();
    EXPECT_EQ(finish().at(1), 0xAA);
    EXPECT_EQ(probe().readFlash(0x0, 1100), a);
    EXPECT_EQ(probe().readFlash(0x800, 5), b);
    EXPECT_TRUE(probe().storedJob().offlineJobStored);

    Job wrongKey = job;
    wrongKey.timestamp ^= 1; // blocks keyed from another settings report
    startJob(job, {{0x0, 1100}, {0x800, 5}});
    EXPECT_NE(sendImage(0, a, wrongKey), 0);
}

TEST_F(Images, ProgrammingWithoutEraseOnlyClearsBitsAndVerifyCatchesIt)
{
    for (bool verify : {false, true}) {
        probe().reset();
        probe().writeFlash(0x100, Bytes(4, 0x0F));
        Job job;
        job.eraseMode = 2;
        job.verify = verify;
        startJob(job, {{0x100, 4}});
        EXPECT_EQ(sendImage(0, Bytes(4, 0xF0), job), verify ? vprobe::VerifyFailed : 0);
        EXPECT_EQ(probe().readFlash(0x100, 4), Bytes(4, 0x00));
    }
}

} // namespace

// The chip has flash only at 0..0x1E000 (APROM) and 0x10000000..0x10002000 (LDROM): a page
// elsewhere is refused and not written, the pages before it stay.
TEST_F(Images, PagesOutsideTheChipsFlashAreRefused)
{
    struct Case
    {
        const char *name;
        uint32_t address;
        uint32_t length;
        uint8_t status;
        uint32_t writtenUpTo; // bytes of the image the flash holds afterwards
    };
    const Case cases[] = {
        {"128 KiB at 0 on 120 KiB of APROM", 0x0, 0x20000, vprobe::OutsideFlash, 0x1E000},
        {"last APROM page", 0x1DC00, 1024, 0, 1024},
        {"first byte past APROM", 0x1E000, 4, vprobe::OutsideFlash, 0},
        {"whole LDROM", 0x10000000, 0x2000, 0, 0x2000},
        {"last LDROM page runs over", 0x10001E00, 1024, vprobe::OutsideFlash, 0},
        {"between the two", 0x08000000, 16, vprobe::OutsideFlash, 0},
    };
    for (const Case &c : cases) {
        probe().reset();
        startJob(Job{}, {{c.address, c.length}});
        const Bytes image = pattern(c.length, 11);
        EXPECT_EQ(sendImage(0, image, Job{}), c.status) << c.name;
        EXPECT_EQ(probe().readFlash(c.address, c.writtenUpTo),
                  Bytes(image.begin(), image.begin() + c.writtenUpTo))
            << c.name;
        EXPECT_EQ(probe().readFlash(c.address + c.writtenUpTo, 4), Bytes(4, 0xFF)) << c.name;
    }
}
