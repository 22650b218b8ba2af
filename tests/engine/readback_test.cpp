// Offline erase, verify and the MD5 / CRC-32 read-backs against the virtual probe: requests,
// time-outs, reply checks and the fields left alone on failure.
#include "probe/linkfixture.h"

#include <cstring>

#include <wolfssl/options.h>
#include <wolfssl/wolfcrypt/md5.h>
#include <zlib.h>

using vprobe::ReplyFault;

namespace {

LinkTest::Bytes md5Of(const LinkTest::Bytes &data)
{
    wc_Md5 md5;
    wc_InitMd5(&md5);
    wc_Md5Update(&md5, data.data(), uint32_t(data.size()));
    LinkTest::Bytes digest(16);
    wc_Md5Final(&md5, digest.data());
    return digest;
}

LinkTest::Bytes reply(std::initializer_list<uint8_t> head)
{
    LinkTest::Bytes r(head);
    r.resize(64, 0);
    return r;
}

void putLe32(LinkTest::Bytes &r, size_t at, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        r[at + k] = uint8_t(v >> (8 * k));
}

uint32_t sum(const LinkTest::Bytes &r, size_t count)
{
    uint32_t s = 0;
    for (size_t k = 0; k < count; ++k)
        s += r[k];
    return s;
}

} // namespace

class ReadBack : public LinkTest
{
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        open();
    }

    void setChip(void (*change)(vprobe::ChipState &))
    {
        vprobe::ChipState c = probe().chip();
        change(c);
        probe().setChip(c);
    }

    // Puts image i into the simulated flash as if it had been programmed.
    void flashImage(int i) { probe().writeFlash(d.imageAddress[i], image(i)); }
};

TEST_F(ReadBack, OfflineEraseSendsItsFixedReport)
{
    d.eraseMode = 1;
    d.fileCount = 3;
    d.offline_flag = 1;
    Bytes expected(65);
    for (int k = 0; k < 65; ++k)
        expected[k] = uint8_t(k);
    expected[1] = 0x92;
    expected[61] = 0xB7;
    expected[62] = 0x07;
    expected[63] = 0x00;
    expected[64] = 0x00;
    EXPECT_EQ(d.offlineErase(), 0);
    EXPECT_EQ(written(0x92), std::vector<Bytes>{expected});
    EXPECT_EQ(readTimeouts(0x92), std::vector<int>{600});

    probe().failNext(0x92, ReplyFault::Status, 1, 0x00);
    EXPECT_EQ(d.offlineErase(), -1);
    probe().failNext(0x92, ReplyFault::Withhold, -1);
    EXPECT_EQ(d.offlineErase(), -1);

    ASSERT_EQ(d.toggleConnection(), 0);
    probe().clearTrace();
    EXPECT_EQ(d.offlineErase(), 1);
    EXPECT_TRUE(commands().empty());
}

TEST_F(ReadBack, Md5WaitsPerStarted4K)
{
    const struct
    {
        uint32_t size;
        int timeoutMs;
    } cases[] = {{0, 200}, {0x1000, 400}, {0x10000, 3400}};
    addImage(0x2000, 0x10000);
    flashImage(0);
    const Bytes data = image(0);
    for (const auto &c : cases) {
        probe().clearTrace();
        d.md5Address = 0x2000;
        d.md5Size = c.size;
        ASSERT_EQ(d.readMd5(), 0) << c.size;
        EXPECT_EQ(readTimeouts(0x91), std::vector<int>{c.timeoutMs}) << c.size;
        EXPECT_EQ(Bytes(d.md5Digest, d.md5Digest + 16),
                  md5Of(Bytes(data.begin(), data.begin() + c.size)));
        EXPECT_EQ(commands(), (Bytes{0x94, 0x95, 0x91}));
    }
    const Bytes request = written(0x91).at(0);
    EXPECT_EQ(Bytes(request.begin() + 1, request.begin() + 11),
              (Bytes{0x91, 0x02, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}));
}

TEST_F(ReadBack, Crc32MatchesTheProgrammedImage)
{
    addImage(0x0, 0x3000, 9);
    d.eraseMode = 0;
    d.programEnabled = 1;
    ASSERT_EQ(d.runProgramming(), 0);
    d.crcAddress = 0x0;
    d.crcSize = 0x3000;
    probe().clearTrace();
    ASSERT_EQ(d.readCrc32(), 0);
    const Bytes data = image(0);
    EXPECT_EQ(d.crcValue, uint32_t(crc32(0, data.data(), uInt(data.size()))));
    EXPECT_EQ(readTimeouts(0x8F), std::vector<int>{800});
}

TEST_F(ReadBack, DigestReplyChecks)
{
    Bytes goodCrc = reply({0x8F, 0x00});
    putLe32(goodCrc, 4, 0xDEADBEEF);
    putLe32(goodCrc, 8, sum(goodCrc, 8));
    Bytes badSumCrc = goodCrc;
    badSumCrc[8] ^= 1;
    Bytes protectedCrc = badSumCrc;
    protectedCrc[1] = 0xCC;
    Bytes readErrorCrc = badSumCrc;
    readErrorCrc[1] = 0xFF;
    Bytes noEcho = goodCrc;
    noEcho[0] = 0x90;

    const struct
    {
        const char *name;
        Bytes reply;
        int32_t result;
    } cases[] = {
        {"good", goodCrc, 0},
        {"read-protected, checksum wrong", protectedCrc, 3},
        {"read error", readErrorCrc, 4},
        {"status 0, checksum wrong", badSumCrc, -1},
        {"no echo", noEcho, -1},
    };
    for (const auto &c : cases) {
        d.crcValue = 0x5A5A5A5A;
        probe().queueReply(0x8F, c.reply);
        EXPECT_EQ(d.readCrc32(), c.result) << c.name;
        EXPECT_EQ(d.crcValue, c.result == 0 ? 0xDEADBEEF : 0x5A5A5A5A) << c.name;
    }

    Bytes goodMd5 = reply({0x91, 0x00});
    for (int k = 0; k < 16; ++k)
        goodMd5[4 + k] = uint8_t(0x10 + k);
    putLe32(goodMd5, 20, sum(goodMd5, 20));
    Bytes badMd5 = goodMd5;
    badMd5[23] = 0x01;
    std::memset(d.md5Digest, 0x77, 16);
    probe().queueReply(0x91, badMd5);
    EXPECT_EQ(d.readMd5(), -1);
    EXPECT_EQ(Bytes(d.md5Digest, d.md5Digest + 16), Bytes(16, 0x77));
    probe().queueReply(0x91, goodMd5);
    EXPECT_EQ(d.readMd5(), 0);
    EXPECT_EQ(Bytes(d.md5Digest, d.md5Digest + 16),
              Bytes(goodMd5.begin() + 4, goodMd5.begin() + 20));
}

TEST_F(ReadBack, DigestChipGates)
{
    const struct
    {
        const char *name;
        int chipModel; // 0: none selected
        int probeModel;
        uint32_t deviceId;
        bool readProtected;
        int32_t eraseMode;
        int32_t result;
        Bytes commands;
    } cases[] = {
        {"no model", 0, 2, 0x00484B48, false, 0, 1, {}},
        {"no chip", 2, 2, 0, false, 0, 2, {0x94}},
        {"other model", 2, 3, 0x00484B48, false, 0, 5, {0x94, 0x95}},
        {"protected, sector erase", 2, 2, 0x00484B48, true, 1, 3, {0x94, 0x95}},
        {"protected, full erase", 2, 2, 0x00484B48, true, 0, 3, {0x94, 0x95, 0x8F}},
    };
    for (const auto &c : cases) {
        vprobe::ChipState s = probe().chip();
        s.model = c.probeModel;
        s.deviceId = c.deviceId;
        s.readProtected = c.readProtected;
        probe().setChip(s);
        chip.model = c.chipModel;
        d.eraseMode = c.eraseMode;
        d.crcValue = 0x5A5A5A5A;
        d.crcSize = 0x100;
        probe().clearTrace();
        EXPECT_EQ(d.readCrc32(), c.result) << c.name;
        EXPECT_EQ(commands(), c.commands) << c.name;
        EXPECT_EQ(d.crcValue, 0x5A5A5A5Au) << c.name;
    }
    d.chip = nullptr;
    EXPECT_EQ(d.readMd5(), 1);
}

TEST_F(ReadBack, VerifyComparesEachImage)
{
    addImage(0x0, 0x500, 1);
    addImage(0x1000, 0x30, 2);
    addImage(0x2000, 0x40, 3);
    for (int i = 0; i < 3; ++i)
        flashImage(i);
    EXPECT_EQ(d.verifyImages(), 0);
    EXPECT_EQ(commands(), (Bytes{0x94, 0x95, 0x93, 0x93, 0x93}));
    EXPECT_EQ(readTimeouts(0x93), (std::vector<int>{1000, 1000, 1000}));
    Bytes expected(65, 0);
    expected[1] = 0x93;
    expected[2] = 2;
    putLe32(expected, 3, 0x1000);
    putLe32(expected, 7, 0x30);
    const Bytes digest = md5Of(image(1));
    std::copy(digest.begin(), digest.end(), expected.begin() + 11);
    putLe32(expected, 61, sum(Bytes(expected.begin() + 1, expected.begin() + 61), 60));
    EXPECT_EQ(written(0x93).at(1), expected);

    // The second image differs: the third is not compared.
    probe().writeFlash(0x1010, {0x00});
    probe().clearTrace();
    EXPECT_EQ(d.verifyImages(), 4);
    EXPECT_EQ(commands(), (Bytes{0x94, 0x95, 0x93, 0x93}));
}

TEST_F(ReadBack, VerifyGoesOnPastBootAndDetectionFindings)
{
    const struct
    {
        const char *name;
        uint8_t bootSource;
        bool detectionError;
        uint32_t address;
        int checkResult;
    } cases[] = {
        {"LDROM boot, long low image", 1, false, 0x0, 5},
        {"APROM boot, long LDROM image", 2, false, 0x10000000, 6},
        {"detection error", 2, true, 0x0, 7},
    };
    for (const auto &c : cases) {
        vprobe::ChipState s = probe().chip();
        s.bootSource = c.bootSource;
        s.detectionError = c.detectionError;
        probe().setChip(s);
        d.fileCount = 0;
        buffers.clear();
        addImage(c.address, 0x2100);
        flashImage(0);
        ASSERT_EQ(d.detectChip(), 0);
        ASSERT_EQ(d.checkChip(), c.checkResult) << c.name;
        probe().clearTrace();
        EXPECT_EQ(d.verifyImages(), 0) << c.name;
        EXPECT_EQ(commands(), (Bytes{0x94, 0x95, 0x93})) << c.name;
    }
}

TEST_F(ReadBack, VerifyRefusals)
{
    addImage(0x0, 0x40);
    flashImage(0);
    setChip([](vprobe::ChipState &s) { s.readProtected = true; });
    d.eraseMode = 0; // full erase selected: the check passes, the probe refuses per image
    EXPECT_EQ(d.verifyImages(), 5);
    EXPECT_EQ(commands(), (Bytes{0x94, 0x95, 0x93}));
    d.eraseMode = 1;
    probe().clearTrace();
    EXPECT_EQ(d.verifyImages(), 5);
    EXPECT_EQ(commands(), (Bytes{0x94, 0x95}));

    setChip([](vprobe::ChipState &s) {
        s.readProtected = false;
        s.model = 3;
    });
    EXPECT_EQ(d.verifyImages(), 6);
    setChip([](vprobe::ChipState &s) {
        s.model = 2;
        s.deviceId = 0;
    });
    EXPECT_EQ(d.verifyImages(), 3);
    setChip([](vprobe::ChipState &s) { s.deviceId = 1; });
    probe().failNext(0x93, ReplyFault::Short);
    EXPECT_EQ(d.verifyImages(), -1);

    d.fileCount = 0;
    probe().clearTrace();
    EXPECT_EQ(d.verifyImages(), 2);
    ASSERT_EQ(d.toggleConnection(), 0);
    EXPECT_EQ(d.verifyImages(), 1);
    EXPECT_TRUE(commands().empty());
}
