// Golden bytes of every request layout, written out from the layout tables rather than from the
// encoder, plus the AES-192-CBC and MD5 the layouts rely on.
#include "probe/reports.h"
#include "probe/settingskey.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include <wolfssl/wolfcrypt/md5.h>

using namespace probe;

namespace {

using Report = std::array<uint8_t, reportSize>;
using Bytes = std::vector<uint8_t>;

// A 65-byte report that is zero except for the runs given as {first byte, bytes}.
Report golden(std::initializer_list<std::pair<int, Bytes>> runs)
{
    Report r{};
    for (const auto &[at, bytes] : runs)
        std::memcpy(r.data() + at, bytes.data(), bytes.size());
    return r;
}

Bytes le32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes cbcDecrypt(const uint8_t *key24, const uint8_t *iv16, const uint8_t *cipher, size_t n)
{
    Aes aes;
    wc_AesInit(&aes, nullptr, INVALID_DEVID);
    EXPECT_EQ(wc_AesSetKey(&aes, key24, 24, iv16, AES_DECRYPTION), 0);
    Bytes plain(n);
    EXPECT_EQ(wc_AesCbcDecrypt(&aes, plain.data(), cipher, n), 0);
    wc_AesFree(&aes);
    return plain;
}

uint32_t sumOf(const Report &r, int first, int last)
{
    uint32_t s = 0;
    for (int k = first; k <= last; ++k)
        s += r[k];
    return s;
}

const Bytes emptyMd5 = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                        0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};

} // namespace

TEST(WolfCrypt, Aes192CbcMatchesNistSp800_38aF23)
{
    const uint8_t key[24] = {0x8e, 0x73, 0xb0, 0xf7, 0xda, 0x0e, 0x64, 0x52,
                             0xc8, 0x10, 0xf3, 0x2b, 0x80, 0x90, 0x79, 0xe5,
                             0x62, 0xf8, 0xea, 0xd2, 0x52, 0x2c, 0x6b, 0x7b};
    const uint8_t iv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const Bytes plain = {0x6b, 0xc1, 0xbe, 0xe2, 0x2e, 0x40, 0x9f, 0x96, 0xe9, 0x3d, 0x7e,
                         0x11, 0x73, 0x93, 0x17, 0x2a, 0xae, 0x2d, 0x8a, 0x57, 0x1e, 0x03,
                         0xac, 0x9c, 0x9e, 0xb7, 0x6f, 0xac, 0x45, 0xaf, 0x8e, 0x51};
    const Bytes cipher = {0x4f, 0x02, 0x1d, 0xb2, 0x43, 0xbc, 0x63, 0x3d, 0x71, 0x78, 0x18,
                          0x3a, 0x9f, 0xa0, 0x71, 0xe8, 0xb4, 0xd9, 0xad, 0xa9, 0xad, 0x7d,
                          0xed, 0xf4, 0xe5, 0xe7, 0x38, 0x76, 0x3f, 0x69, 0x14, 0x5a};
    Aes aes;
    std::memset(&aes, 0, sizeof aes);
    ASSERT_EQ(wc_AesSetKey(&aes, key, 24, iv, AES_ENCRYPTION), 0);
    Bytes out(plain.size());
    // Two calls: the chain must carry over, as it does across an image's data blocks.
    ASSERT_EQ(wc_AesCbcEncrypt(&aes, out.data(), plain.data(), 16), 0);
    ASSERT_EQ(wc_AesCbcEncrypt(&aes, out.data() + 16, plain.data() + 16, 16), 0);
    EXPECT_EQ(out, cipher);
}

TEST(WolfCrypt, Md5CheckValues)
{
    uint8_t digest[16];
    ASSERT_TRUE(computeMd5(nullptr, 0, digest));
    EXPECT_EQ(Bytes(digest, digest + 16), emptyMd5);
    ASSERT_TRUE(computeMd5(reinterpret_cast<const uint8_t *>("abc"), 3, digest));
    EXPECT_EQ(Bytes(digest, digest + 16),
              (Bytes{0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0, 0xd6, 0x96, 0x3f, 0x7d, 0x28,
                     0xe1, 0x7f, 0x72}));
}

TEST(Reports, FixedLayouts)
{
    Report out;
    const uint8_t abcMd5[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    out.fill(0xEE); // every unlisted byte must come out 0
    buildDapInfo(out.data(), 0xA1);
    EXPECT_EQ(out, golden({{1, {0x00, 0xA1}}}));

    out.fill(0xEE);
    buildChipDetect(out.data(), 1);
    EXPECT_EQ(out, golden({{1, {0x94, 0x01}}}));

    out.fill(0xEE);
    buildChipCheck(out.data(), 2);
    EXPECT_EQ(out, golden({{1, {0x95, 0x02}}}));

    buildImageStart(out.data(), 3);
    EXPECT_EQ(out, golden({{1, {0x97, 0x03}}, {61, {0x9A, 0, 0, 0}}}));

    buildRollingCode(out.data(), 0x0001D000, 0x12345678, 0x10);
    EXPECT_EQ(out,
              golden({{1, {0x9A}},
                      {5, {0x00, 0xD0, 0x01, 0x00, 0x78, 0x56, 0x34, 0x12, 0x10}},
                      {61, {0x8F, 0x02, 0, 0}}}));

    buildFinish(out.data());
    EXPECT_EQ(out, golden({{1, {0x9F}}, {61, {0x9F, 0, 0, 0}}}));

    buildVerify(out.data(), 2, 0x00000800, 0x1234, abcMd5);
    EXPECT_EQ(out,
              golden({{1, {0x93, 0x02, 0x00, 0x08, 0x00, 0x00, 0x34, 0x12, 0x00, 0x00}},
                      {11, Bytes(abcMd5, abcMd5 + 16)},
                      {61, {0x8B, 0x08, 0, 0}}}));

    buildFlashDigestRequest(out.data(), 0x91, 2, 0x100, 0x10000);
    EXPECT_EQ(out,
              golden({{1, {0x91, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}},
                      {61, {0x95, 0, 0, 0}}}));
}

TEST(Reports, OfflineEraseIsFixed)
{
    Report expected;
    for (int k = 0; k < reportSize; ++k)
        expected[k] = uint8_t(k);
    expected[1] = 0x92;
    expected[61] = 0xB7;
    expected[62] = 0x07;
    expected[63] = 0x00;
    expected[64] = 0x00;
    Report out{};
    buildOfflineErase(out.data());
    EXPECT_EQ(out, expected);
}

TEST(Reports, SettingsDecryptToTheJob)
{
    SettingsFields f;
    f.fileCount = 3;
    f.model = 2;
    f.eraseMode = 1;
    f.programEnabled = 1;
    f.verifyEnabled = 1;
    f.offline = 1;
    f.maxProgramCountFlag = 1;
    f.maxProgramCount = 0x100;
    f.autoProgramTime = 1000;
    f.timestamp = 0x65A1B2C3;
    f.readProtectLevel = 1;
    f.watchdogOption = 0xA8;
    f.machineFlag = 1;
    f.settingsFlag = 1;
    Report out;
    out.fill(0xEE);
    Aes aes;
    std::memset(&aes, 0, sizeof aes);
    ASSERT_TRUE(
        buildSettings(out.data(), f, aes, quorvel::settingsKeyBytes, quorvel::settingsIvBytes));

    const Bytes plain = {0x03, 0x02, 0x01, 0x01, 0x01, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00,
                         0x01, 0x00, 0x00, 0xE8, 0x03, 0x00, 0x00, 0xC3, 0xB2, 0xA1, 0x65,
                         0x01, 0xA8, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0x9E);
    EXPECT_EQ(cbcDecrypt(quorvel::settingsKeyBytes, quorvel::settingsIvBytes, &out[2], 32), plain);
    for (int k = 34; k <= 60; ++k)
        EXPECT_EQ(out[k], 0) << "byte " << k;
    const uint32_t sum = sumOf(out, 1, 60); // over the cipher text
    EXPECT_EQ(Bytes(out.begin() + 61, out.end()), le32(sum));

    // Keyed anew each time: the same job encrypts to the same bytes again.
    Report again{};
    ASSERT_TRUE(
        buildSettings(again.data(), f, aes, quorvel::settingsKeyBytes, quorvel::settingsIvBytes));
    EXPECT_EQ(again, out);
}

TEST(Reports, BlockSplitsFollowPages)
{
    struct Case
    {
        uint32_t length;
        std::vector<BlockStep> blocks;
    };
    std::vector<BlockStep> page(21, BlockStep{48, 0});
    page.push_back({16, 1});
    std::vector<BlockStep> pagePlusOne = page;
    pagePlusOne.push_back({1, 1});
    std::vector<BlockStep> nearlyPage(21, BlockStep{48, 0});
    nearlyPage.push_back({15, 1});
    const Case cases[] = {
        {1, {{1, 1}}},      {48, {{48, 1}}}, {49, {{48, 0}, {1, 1}}}, {96, {{48, 0}, {48, 1}}},
        {1023, nearlyPage}, {1024, page},    {1025, pagePlusOne},
    };
    for (const Case &c : cases) {
        std::vector<BlockStep> got;
        uint32_t remaining = c.length;
        uint32_t fill = 0;
        while (remaining > 0 && got.size() < 100) {
            const BlockStep s = nextBlock(remaining, fill);
            got.push_back(s);
            remaining -= s.length;
            fill = (fill + s.length) % 1024;
        }
        ASSERT_EQ(got.size(), c.blocks.size()) << "length " << c.length;
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].length, c.blocks[k].length) << c.length << " block " << k;
            EXPECT_EQ(got[k].pageEnd, c.blocks[k].pageEnd) << c.length << " block " << k;
        }
        EXPECT_EQ(blockCount(c.length), c.blocks.size()) << "length " << c.length;
    }
    // 2978 pages of 22 blocks plus 20 blocks of 48 bytes: the last length whose block number fits.
    EXPECT_EQ(blockCount(2978 * 1024 + 960), 65536u);
    EXPECT_EQ(blockCount(2978 * 1024 + 961), 65537u);
    EXPECT_EQ(blockCount(0), 0u);
}

TEST(Reports, PlainDataBlock)
{
    Bytes data(16);
    for (int k = 0; k < 16; ++k)
        data[k] = uint8_t(k + 1);
    Report out;
    out.fill(0xEE);
    ASSERT_TRUE(buildDataBlock(out.data(), data.data(), 16, 0x0102, 1, 1008, nullptr));
    EXPECT_EQ(out,
              golden({{1, {0x98, 0x10, 0x02, 0x01, 0x01, 0xFC}}, {7, data}, {63, {0x30, 0x02}}}));
    EXPECT_FALSE(buildDataBlock(out.data(), data.data(), 49, 0, 0, 0, nullptr));
}

TEST(Reports, OfflineBlocksRunOneCbcChain)
{
    const uint32_t timestamp = 0x11223344;
    uint8_t key[24];
    uint8_t iv[16];
    deriveDataKey(quorvel::settingsKeyBytes, quorvel::settingsIvBytes, timestamp, key, iv);
    Bytes expectKey(quorvel::settingsKeyBytes, quorvel::settingsKeyBytes + 24);
    Bytes expectIv(quorvel::settingsIvBytes, quorvel::settingsIvBytes + 16);
    std::memcpy(expectKey.data(), "\x44\x33\x22\x11", 4);
    std::memcpy(expectIv.data() + 4, "\x44\x33\x22\x11", 4);
    ASSERT_EQ(Bytes(key, key + 24), expectKey);
    ASSERT_EQ(Bytes(iv, iv + 16), expectIv);

    Aes chain;
    std::memset(&chain, 0, sizeof chain);
    ASSERT_EQ(wc_AesSetKey(&chain, key, 24, iv, AES_ENCRYPTION), 0);
    Bytes image(53);
    for (size_t k = 0; k < image.size(); ++k)
        image[k] = uint8_t(0xA0 + k);
    Report first{};
    Report last{};
    ASSERT_TRUE(buildDataBlock(first.data(), image.data(), 48, 0, 0, 0, &chain));
    ASSERT_TRUE(buildDataBlock(last.data(), image.data() + 48, 5, 1, 1, 48, &chain));

    // The 5-byte block: length byte still 5, 16 cipher bytes, then zeros.
    EXPECT_EQ(Bytes(last.begin(), last.begin() + 7),
              (Bytes{0x00, 0x98, 0x05, 0x01, 0x00, 0x01, 0x0C}));
    for (int k = 23; k <= 62; ++k)
        EXPECT_EQ(last[k], 0) << "byte " << k;
    EXPECT_EQ(last[63] | last[64] << 8, uint16_t(sumOf(last, 1, 62)));

    Bytes cipher(first.begin() + 7, first.begin() + 55);
    cipher.insert(cipher.end(), last.begin() + 7, last.begin() + 23);
    Bytes plain = image;
    plain.resize(64, 0);
    EXPECT_EQ(cbcDecrypt(key, iv, cipher.data(), cipher.size()), plain);
}

TEST(Reports, EmptyImageEnd)
{
    uint8_t digest[16];
    ASSERT_TRUE(computeMd5(nullptr, 0, digest));
    Report out{};
    buildImageEnd(out.data(), noBlockSent, digest);
    EXPECT_EQ(out,
              golden({{1, {0x99, 0xFF, 0xFF, 0x00}}, {5, emptyMd5}, {61, {0xE0, 0x0A, 0, 0}}}));
}

TEST(Reports, EightImagesSectorErasePair)
{
    uint32_t addresses[8];
    uint32_t lengths[8];
    for (int j = 0; j < 8; ++j) {
        addresses[j] = 0x1000 * j;
        lengths[j] = 0x100 + j;
    }
    Report out{};
    buildEraseFirst(out.data(), 1, addresses, lengths, 8);
    EXPECT_EQ(out,
              golden({{1, {0x96, 0x01, 0x07, 0xAA}},
                      {5,
                       concat({le32(0x0000), le32(0x100), le32(0x1000), le32(0x101), le32(0x2000),
                               le32(0x102), le32(0x3000), le32(0x103), le32(0x4000), le32(0x104),
                               le32(0x5000), le32(0x105), le32(0x6000), le32(0x106)})},
                      {61, {0xB4, 0x02, 0, 0}}}));
    buildEraseSecond(out.data(), addresses + 7, lengths + 7, 1);
    EXPECT_EQ(out,
              golden({{1, {0x96, 0x01, 0x01, 0x55}},
                      {5, concat({le32(0x7000), le32(0x107)})},
                      {61, {0x65, 0x01, 0, 0}}}));
}

TEST(Reports, ReadBackTimeoutGrowsPer4K)
{
    EXPECT_EQ(flashDigestTimeoutMs(0), 200);
    EXPECT_EQ(flashDigestTimeoutMs(0xFFF), 200);
    EXPECT_EQ(flashDigestTimeoutMs(0x1000), 400);
    EXPECT_EQ(flashDigestTimeoutMs(0x10000), 3400);
    EXPECT_EQ(flashDigestTimeoutMs(0xFFFFFFFF), 209715200);
}
