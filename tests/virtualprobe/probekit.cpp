// Test kit for the virtual probe: report encoder written from the layout tables, and the fixture.
#include "probekit.h"

#include "probe/settingskey.h"

#include <wolfssl/options.h>
#include <wolfssl/wolfcrypt/aes.h>
#include <wolfssl/wolfcrypt/md5.h>

#include <algorithm>

namespace kit {

Report report(uint8_t command, std::initializer_list<uint8_t> payload)
{
    Report r{};
    r[1] = command;
    std::copy(payload.begin(), payload.end(), r.begin() + 2);
    return r;
}

Bytes reply64(std::initializer_list<uint8_t> head)
{
    Bytes b(head);
    b.resize(64, 0);
    return b;
}

void put32(Report &r, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        r[at + size_t(i)] = uint8_t(v >> (8 * i));
}

Report &sealStandard(Report &r)
{
    uint32_t sum = 0;
    for (size_t i = 1; i <= 60; ++i)
        sum += r[i];
    put32(r, 61, sum);
    return r;
}

Report &sealBlock(Report &r)
{
    uint32_t sum = 0;
    for (size_t i = 1; i <= 62; ++i)
        sum += r[i];
    r[63] = uint8_t(sum);
    r[64] = uint8_t(sum >> 8);
    return r;
}

std::array<uint8_t, 32> plainSettings(const Job &job)
{
    std::array<uint8_t, 32> p{};
    p[0] = uint8_t(job.fileCount);
    p[1] = uint8_t(job.model);
    p[2] = uint8_t(job.eraseMode);
    p[3] = job.program;
    p[4] = job.verify;
    p[6] = job.offline;
    for (int i = 0; i < 4; ++i)
        p[18 + size_t(i)] = uint8_t(job.timestamp >> (8 * i));
    p[22] = uint8_t(job.protectLevel);
    p[25] = 1; // settings flag
    return p;
}

Report settingsReport(const Job &job)
{
    return encryptSettings(plainSettings(job));
}

Report encryptSettings(const std::array<uint8_t, 32> &plain)
{
    Report r = report(0x9E);
    Aes aes;
    wc_AesInit(&aes, nullptr, INVALID_DEVID);
    wc_AesSetKey(&aes, quorvel::settingsKeyBytes, 24, quorvel::settingsIvBytes, AES_ENCRYPTION);
    wc_AesCbcEncrypt(&aes, &r[2], plain.data(), 32);
    wc_AesFree(&aes);
    return sealStandard(r);
}

Report eraseReport(uint8_t b2, uint8_t b3, uint8_t mark, const std::vector<Region> &regions)
{
    Report r = report(0x96, {b2, b3, mark});
    for (size_t j = 0; j < regions.size(); ++j) {
        put32(r, 5 + 8 * j, regions[j].address);
        put32(r, 9 + 8 * j, regions[j].length);
    }
    return sealStandard(r);
}

std::vector<Report> dataBlocks(const Bytes &image, const Job &job)
{
    Aes aes;
    wc_AesInit(&aes, nullptr, INVALID_DEVID);
    if (job.offline) {
        uint8_t key[24], iv[16];
        std::copy_n(quorvel::settingsKeyBytes, 24, key);
        std::copy_n(quorvel::settingsIvBytes, 16, iv);
        for (int i = 0; i < 4; ++i) {
            key[i] = uint8_t(job.timestamp >> (8 * i));
            iv[4 + i] = uint8_t(job.timestamp >> (8 * i));
        }
        wc_AesSetKey(&aes, key, 24, iv, AES_ENCRYPTION);
    }
    std::vector<Report> blocks;
    uint32_t remaining = uint32_t(image.size()), offset = 0, fill = 0;
    uint16_t number = 0;
    while (remaining) {
        uint32_t n = remaining;
        uint8_t flag = 1;
        if (remaining > 48 && fill + 48 <= 1024) {
            n = 48;
            flag = 0;
        } else if (remaining > 48 && fill + 48 > 1024) {
            n = 1024 - fill;
        } else if (fill + remaining > 1024) {
            n = 1024 - fill;
        }
        Report r = report(
            0x98, {uint8_t(n), uint8_t(number), uint8_t(number >> 8), flag, uint8_t(fill / 4)});
        std::copy_n(image.begin() + offset, n, r.begin() + 7);
        if (job.offline) {
            const uint32_t padded = (n + 15) / 16 * 16;
            uint8_t cipher[48];
            wc_AesCbcEncrypt(&aes, cipher, &r[7], padded);
            std::copy_n(cipher, padded, r.begin() + 7);
        }
        blocks.push_back(sealBlock(r));
        offset += n;
        remaining -= n;
        fill = (fill + n) % 1024;
        if (remaining)
            ++number;
    }
    wc_AesFree(&aes);
    return blocks;
}

Bytes md5(const Bytes &data)
{
    Bytes digest(16);
    wc_Md5 ctx;
    wc_InitMd5(&ctx);
    wc_Md5Update(&ctx, data.data(), word32(data.size()));
    wc_Md5Final(&ctx, digest.data());
    return digest;
}

Report imageEnd(uint16_t lastBlock, const Bytes &image)
{
    Report r = report(0x99, {uint8_t(lastBlock), uint8_t(lastBlock >> 8)});
    const auto digest = md5(image);
    std::copy(digest.begin(), digest.end(), r.begin() + 5);
    return sealStandard(r);
}

void ProbeTest::SetUp()
{
    probe().reset();
    dev = hid_open(0x0D28, 0x0204, nullptr);
    ASSERT_NE(dev, nullptr);
}

void ProbeTest::TearDown()
{
    hid_close(dev);
}

Bytes ProbeTest::exchange(const Report &r, int timeoutMs)
{
    EXPECT_EQ(hid_write(dev, r.data(), r.size()), 65);
    uint8_t in[65] = {};
    const int n = hid_read_timeout(dev, in, sizeof in, timeoutMs);
    return n > 0 ? Bytes(in, in + n) : Bytes();
}

void ProbeTest::startJob(const Job &job, const std::vector<Region> &regions)
{
    EXPECT_EQ(status(report(0x94)), 4);
    EXPECT_EQ(status(report(0x95, {uint8_t(job.model)})), 1);
    EXPECT_EQ(status(settingsReport(job)), 0) << probe().lastRefusal();
    if (job.eraseMode != 0 && regions.empty())
        return;
    const size_t first = std::min<size_t>(regions.size(), 7);
    const std::vector<Region> head(regions.begin(), regions.begin() + long(first));
    EXPECT_EQ(status(eraseReport(uint8_t(job.eraseMode), uint8_t(first), 0xAA, head)), 0)
        << probe().lastRefusal();
    if (job.eraseMode == 1 && regions.size() > 7) {
        const std::vector<Region> tail(regions.begin() + 7, regions.end());
        EXPECT_EQ(status(eraseReport(uint8_t(tail.size()), 1, 0x55, tail)), 0);
    }
}

uint8_t ProbeTest::sendImage(int index, const Bytes &image, const Job &job)
{
    Report start = report(0x97, {uint8_t(index)});
    if (const uint8_t s = status(sealStandard(start)))
        return s;
    for (const Report &block : dataBlocks(image, job)) {
        if (const uint8_t s = status(block))
            return s;
    }
    const size_t blocks = dataBlocks(image, job).size();
    return status(imageEnd(blocks ? uint16_t(blocks - 1) : 0xFFFF, image));
}

Bytes ProbeTest::finish()
{
    Report r = report(0x9F);
    return exchange(sealStandard(r));
}

} // namespace kit
