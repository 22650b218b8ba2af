// The job frame as a strict probe enforces it: the crypto it relies on, encrypted settings, erase
// regions and modes, command order, rolling code and read protection at finish.
#include "probecrypto.h"
#include "probekit.h"

#include <functional>

using namespace kit;

namespace {

Bytes hex(const char *text)
{
    Bytes out;
    for (size_t i = 0; text[i] && text[i + 1]; i += 2)
        out.push_back(uint8_t(std::stoi(std::string(text + i, 2), nullptr, 16)));
    return out;
}

TEST(ProbeCrypto, MatchesPublishedVectors)
{
    // NIST SP 800-38A F.2.3/F.2.4, CBC-AES192, both directions.
    const Bytes key = hex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b");
    const Bytes iv = hex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain = hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                            "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const Bytes cipher = hex("4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
                             "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd");
    // The test kit encrypts with the same calls the host uses.
    Aes encryptor;
    wc_AesInit(&encryptor, nullptr, INVALID_DEVID);
    wc_AesSetKey(&encryptor, key.data(), 24, iv.data(), AES_ENCRYPTION);
    Bytes encrypted(64);
    wc_AesCbcEncrypt(&encryptor, encrypted.data(), plain.data(), 64);
    wc_AesFree(&encryptor);
    EXPECT_EQ(encrypted, cipher);

    vprobe::CbcDecryptor aes;
    ASSERT_TRUE(aes.start(key.data(), iv.data()));
    Bytes out(64);
    ASSERT_TRUE(aes.decrypt(cipher.data(), out.data(), 32)); // two calls: the chain carries on
    ASSERT_TRUE(aes.decrypt(cipher.data() + 32, out.data() + 32, 32));
    EXPECT_EQ(out, plain);

    const uint8_t check[] = "123456789";
    EXPECT_EQ(vprobe::crc32Update(0, check, 9), 0xCBF43926u);
    vprobe::Md5 md5;
    md5.update(reinterpret_cast<const uint8_t *>("abc"), 3);
    const vprobe::Md5Digest d = md5.final();
    EXPECT_EQ(Bytes(d.begin(), d.end()), hex("900150983cd24fb0d6963f7d28e17f72"));
}

class JobFrame : public ProbeTest
{ };

TEST_F(JobFrame, SettingsAreDecryptedIntoTheStoredJob)
{
    Job job;
    job.protectLevel = 2;
    startJob(job, {{0x1000, 0x100}});
    const auto stored = probe().storedJob();
    EXPECT_TRUE(stored.valid);
    EXPECT_EQ(stored.plainSettings, plainSettings(job));
}

TEST_F(JobFrame, SettingsThatTheFirmwareWouldNotTakeAreRefused)
{
    struct Case
    {
        const char *name;
        std::function<void(std::array<uint8_t, 32> &)> plain;
        std::function<void(Report &)> report;
        uint8_t status;
    };
    const auto none = [](auto &) {};
    const Case cases[] = {
        {"checksum", none, [](Report &r) { r[61] ^= 1; }, vprobe::BadChecksum},
        {"erase mode 3", [](auto &p) { p[2] = 3; }, none, vprobe::BadLayout},
        {"protect level 3", [](auto &p) { p[22] = 3; }, none, vprobe::BadLayout},
        {"eleven files", [](auto &p) { p[0] = 11; }, none, vprobe::BadLayout},
        {"watchdog 0x11", [](auto &p) { p[23] = 0x11; }, none, vprobe::BadLayout},
        {"settings flag 0", [](auto &p) { p[25] = 0; }, none, vprobe::BadLayout},
        {"plain padding", [](auto &p) { p[30] = 1; }, none, vprobe::BadLayout},
        {"report padding", none, [](Report &r) { r[40] = 1, sealStandard(r); }, vprobe::BadLayout},
    };
    for (const Case &c : cases) {
        probe().reset();
        exchange(report(0x94));
        auto plain = plainSettings(Job{});
        c.plain(plain);
        Report r = encryptSettings(plain);
        c.report(r);
        EXPECT_EQ(status(r), c.status) << c.name;
        EXPECT_FALSE(probe().storedJob().valid) << c.name;
        EXPECT_NE(probe().lastRefusal(), "") << c.name;
    }
}

TEST_F(JobFrame, CommandsOutOfOrderAreRefused)
{
    EXPECT_EQ(status(settingsReport(Job{})), vprobe::OutOfOrder) << "settings before detect";
    exchange(report(0x94));
    EXPECT_EQ(status(eraseReport(0, 1, 0xAA, {{0, 4}})), vprobe::OutOfOrder) << "erase first";
    startJob(Job{}, {{0x1000, 4}});
    EXPECT_EQ(finish()[1], vprobe::OutOfOrder) << "finish before the image";
    // The refusal dropped the job: even the image start that was due is now out of order.
    Report start = report(0x97, {0});
    EXPECT_EQ(status(sealStandard(start)), vprobe::OutOfOrder);
}

TEST_F(JobFrame, EraseModesTouchExactlyTheirSectors)
{
    struct Case
    {
        int mode;
        Bytes at1FF, at200, at3FF, at400;
    };
    const Case cases[] = {
        {0, {0xFF}, {0xFF}, {0xFF}, {0xFF}},
        {1, {0x11}, {0xFF}, {0xFF}, {0x11}},
        {2, {0x11}, {0x11}, {0x11}, {0x11}},
    };
    for (const Case &c : cases) {
        probe().reset();
        probe().writeFlash(0x1FF, Bytes(0x202, 0x11));
        Job job;
        job.eraseMode = c.mode;
        job.program = false;
        startJob(job, {{0x204, 8}});
        EXPECT_EQ(probe().readFlash(0x1FF, 1), c.at1FF) << c.mode;
        EXPECT_EQ(probe().readFlash(0x200, 1), c.at200) << c.mode;
        EXPECT_EQ(probe().readFlash(0x3FF, 1), c.at3FF) << c.mode;
        EXPECT_EQ(probe().readFlash(0x400, 1), c.at400) << c.mode;
        EXPECT_EQ(finish(), reply64({0x9F, 0xAA, 0x00})) << c.mode;
    }
}

TEST_F(JobFrame, EraseHeaderMustMatchTheSettings)
{
    struct Case
    {
        const char *name;
        Report erase;
    };
    const Case cases[] = {
        {"mode", eraseReport(1, 1, 0xAA, {{0x1000, 4}})},
        {"count", eraseReport(0, 2, 0xAA, {{0x1000, 4}, {0x2000, 4}})},
        {"mark", eraseReport(0, 1, 0x55, {{0x1000, 4}})},
        {"unaligned", eraseReport(0, 1, 0xAA, {{0x1002, 4}})},
        {"wraps", eraseReport(0, 1, 0xAA, {{0xFFFFFFFC, 8}})},
    };
    for (const Case &c : cases) {
        probe().reset();
        exchange(report(0x94));
        exchange(settingsReport(Job{}));
        EXPECT_EQ(status(c.erase), vprobe::BadLayout) << c.name;
    }
}

TEST_F(JobFrame, EightImagesUnderSectorEraseNeedTheSecondReport)
{
    std::vector<Region> regions;
    for (uint32_t i = 0; i < 8; ++i)
        regions.push_back({0x1000 * i, 0x10});
    probe().writeFlash(0x7000, Bytes(4, 0));
    Job job;
    job.fileCount = 8;
    job.eraseMode = 1;
    exchange(report(0x94));
    exchange(settingsReport(job));
    ASSERT_EQ(status(eraseReport(1, 7, 0xAA, {regions.begin(), regions.begin() + 7})), 0);
    EXPECT_EQ(probe().readFlash(0x7000, 4), Bytes(4, 0)) << "eighth region not erased yet";
    Report second = eraseReport(1, 1, 0x55, {regions[7]});
    EXPECT_EQ(Bytes(second.begin() + 1, second.begin() + 5), (Bytes{0x96, 0x01, 0x01, 0x55}));
    ASSERT_EQ(status(second), 0);
    EXPECT_EQ(probe().readFlash(0x7000, 4), Bytes(4, 0xFF));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(sendImage(i, Bytes(0x10, uint8_t(i)), job), 0) << i;
    EXPECT_EQ(probe().readFlash(0x7000, 2), (Bytes{7, 7}));
}

TEST_F(JobFrame, RollingCodeSeriesAdvancesOnlyOverFinishedJobs)
{
    const auto run = [this](uint32_t value, bool finishIt) {
        Job job;
        job.fileCount = 0;
        job.eraseMode = 1;
        job.program = false;
        startJob(job, {});
        Report r = report(0x9A);
        put32(r, 5, 0x1000);
        put32(r, 9, value);
        put32(r, 13, 5);
        EXPECT_EQ(exchange(sealStandard(r), 16000).at(1), 0xBB);
        if (finishIt) {
            EXPECT_EQ(finish().at(1), 0xAA);
        }
        const Bytes code = probe().readFlash(0x1000, 4);
        return uint32_t(code[0] | code[1] << 8 | code[2] << 16 | code[3] << 24);
    };
    EXPECT_EQ(run(0x100, true), 0x100u);
    EXPECT_EQ(run(0x100, true), 0x105u);
    EXPECT_EQ(run(0x100, false), 0x10Au);
    EXPECT_EQ(run(0x100, true), 0x10Au) << "an unfinished job does not use up its code";
    EXPECT_EQ(run(0x200, true), 0x200u) << "a new first value starts a new series";
    EXPECT_EQ(probe().storedJob().rollingCodeNext, 0x205u);

    Report golden = report(0x9A, {0, 0, 0, 0x02, 0x10, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    golden[61] = 0x9A + 0x02 + 0x10 + 1 + 1;
    startJob(Job{0, 2, 1, false}, {});
    EXPECT_EQ(status(golden), vprobe::BadLayout) << "address 0x1002 is not word aligned";
}

TEST_F(JobFrame, FinishAppliesReadProtectionAndFullEraseLiftsLevelOneOnly)
{
    Job job;
    job.fileCount = 0;
    job.program = false;
    job.protectLevel = 1;
    startJob(job, {});
    Report golden = report(0x9F);
    golden[61] = 0x9F;
    EXPECT_EQ(exchange(golden), reply64({0x9F, 0xAA, 0x00}));
    EXPECT_TRUE(probe().chip().readProtected);
    EXPECT_EQ(probe().chip().appliedProtectLevel, 1);

    Job sector = job;
    sector.eraseMode = 1;
    exchange(report(0x94));
    EXPECT_EQ(exchange(report(0x95, {2}))[4], 1) << "check reports the protection";
    exchange(settingsReport(sector));
    EXPECT_EQ(status(eraseReport(1, 0, 0xAA, {})), vprobe::Protected);

    job.protectLevel = 2;
    startJob(job, {}); // full erase lifts level 1; finish applies level 2
    EXPECT_FALSE(probe().chip().readProtected) << "lifted by the erase until finish";
    finish();
    startJob(Job{}, {{0x1000, 4}});
    EXPECT_TRUE(probe().chip().readProtected) << "level 2 survives a full erase";
    Report start = report(0x97, {0});
    EXPECT_EQ(status(sealStandard(start)), vprobe::Protected);
}

} // namespace
