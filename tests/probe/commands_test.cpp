// The vendor commands of a programming run against the virtual probe: replies accepted and
// refused, read time-outs and extra reads, and erase waiting.
#include "probe/commandsfixture.h"

#include <QDateTime>
#include <cstring>
#include <map>

using namespace commandstest;
using vprobe::ReplyFault;

TEST_F(Commands, EachCommandWaitsItsOwnTime)
{
    addImage(0x0, 100);
    d.rollingCodeAddress = 0x1D000;
    d.rollingCodeValue = 0x100;
    d.rollingCodeStep = 1;
    EXPECT_EQ(d.detectChip(), 0);
    EXPECT_EQ(d.checkChip(), 0);
    EXPECT_EQ(d.sendSettings(), 0);
    EXPECT_EQ(d.eraseFlash(), 0);
    EXPECT_EQ(d.programImage(0), 0);
    EXPECT_EQ(d.writeRollingCode(), 0);
    EXPECT_EQ(d.finishJob(), 0);

    const std::map<uint8_t, std::vector<int>> expected = {
        {0x94, {200}}, {0x95, {2000}},  {0x9E, {2400}},
        {0x96, {400}}, {0x97, {200}},   {0x98, {1000, 1000, 1000}},
        {0x99, {200}}, {0x9A, {16000}}, {0x9F, {3000}},
    };
    for (const auto &[command, timeouts] : expected)
        EXPECT_EQ(readTimeouts(command), timeouts) << std::hex << int(command);
    EXPECT_EQ(probe().readFlash(0x0, 100), image(0));
    EXPECT_EQ(chip.deviceId, probe().chip().deviceId);
}

// The chip check names the record's model; the probe's answer alone cannot show that.
TEST_F(Commands, ChipCheckSendsTheSelectedModel)
{
    for (int32_t model : {1, 3, 5}) {
        chip.model = model;
        ASSERT_EQ(d.detectChip(), 0);
        EXPECT_EQ(d.checkChip(), 3) << model; // the chip found is still a QB48
        EXPECT_EQ(written(0x95).back()[2], model);
    }
}

TEST_F(Commands, SettingsReachTheProbe)
{
    addImage(0x0, 16);
    d.eraseMode = 1;
    d.verifyEnabled = 1;
    d.readProtectLevel = 2;
    d.watchdogOption = 0x55;
    d.offlineMaxProgramCount_flag = 1;
    d.offlineMaxProgramCount = 0x01020304;
    d.offlineAutoProgramTime = 0x0A0B0C0D;
    ASSERT_EQ(d.detectChip(), 0);
    ASSERT_EQ(d.checkChip(), 0);
    const uint32_t before = uint32_t(QDateTime::currentSecsSinceEpoch());
    ASSERT_EQ(d.sendSettings(), 0);
    const uint32_t after = uint32_t(QDateTime::currentSecsSinceEpoch());
    EXPECT_GE(d.timestamp, before);
    EXPECT_LE(d.timestamp, after);

    const auto job = probe().storedJob();
    ASSERT_TRUE(job.valid);
    Bytes plain = {1,    2,    1, 1, 1, 0, 0, 1,    0, 0, 0x04, 0x03, 0x02, 0x01, 0x0D, 0x0C,
                   0x0B, 0x0A, 0, 0, 0, 0, 2, 0x55, 0, 1, 0,    0,    0,    0,    0,    0};
    std::memcpy(plain.data() + 18, &d.timestamp, 4); // little-endian host
    EXPECT_EQ(Bytes(job.plainSettings.begin(), job.plainSettings.end()), plain);
}

TEST_F(Commands, ChipCheckFindings)
{
    struct Case
    {
        const char *name;
        int probeModel;
        bool detectionError;
        bool readProtected;
        uint8_t bootSource;
        int32_t model;
        int32_t eraseMode;
        uint32_t address;
        uint32_t length;
        int32_t result;
    };
    const Case cases[] = {
        {"plain", 2, false, false, 2, 2, 0, 0x0, 0x10000, 0},
        {"other model", 3, false, false, 2, 2, 0, 0x0, 0x100, 3},
        {"detection error", 2, true, false, 2, 2, 0, 0x0, 0x100, 7},
        {"protected, full erase", 2, false, true, 2, 2, 0, 0x0, 0x100, 0},
        {"protected, sector erase", 2, false, true, 2, 2, 1, 0x0, 0x100, 4},
        {"protected, no erase", 2, false, true, 2, 2, 2, 0x0, 0x100, 4},
        {"LDROM boot, low image fits", 2, false, false, 1, 2, 0, 0x0, 0x2000, 0},
        {"LDROM boot, low image too long", 2, false, false, 1, 2, 0, 0x0, 0x2001, 5},
        {"LDROM boot, high image", 2, false, false, 1, 2, 0, 0x10000000, 0x3000, 0},
        {"APROM boot, LDROM image fits", 2, false, false, 2, 2, 0, 0x10000000, 0x2000, 0},
        {"APROM boot, LDROM image too long", 2, false, false, 2, 2, 0, 0x10000000, 0x2001, 6},
        {"boot finding before protection", 2, false, true, 1, 2, 1, 0x0, 0x2001, 5},
        {"other models skip boot checks", 1, false, false, 1, 1, 0, 0x0, 0x3000, 0},
    };
    for (const Case &c : cases) {
        vprobe::ChipState s = probe().chip();
        s.model = c.probeModel;
        s.detectionError = c.detectionError;
        s.readProtected = c.readProtected;
        s.bootSource = c.bootSource;
        probe().setChip(s);
        chip.model = c.model;
        d.eraseMode = c.eraseMode;
        d.fileCount = 0;
        buffers.clear();
        addImage(0x0, 0x10);
        addImage(c.address, c.length);
        ASSERT_EQ(d.detectChip(), 0) << c.name;
        EXPECT_EQ(d.checkChip(), c.result) << c.name;
    }
}

TEST_F(Commands, DetectReadsDeviceId)
{
    d.offlineForceProgram_flag = 1;
    EXPECT_EQ(d.detectChip(), 0);
    EXPECT_EQ(chip.deviceId, 0x00484B48u);
    Bytes request(65, 0);
    request[1] = 0x94;
    request[2] = 1;
    EXPECT_EQ(written(0x94), std::vector<Bytes>{request});

    setChip([](vprobe::ChipState &s) { s.deviceId = 0; });
    EXPECT_EQ(d.detectChip(), -3);
    EXPECT_EQ(chip.deviceId, 0u);
}

TEST_F(Commands, DetectExtraRead)
{
    const struct
    {
        const char *name;
        Bytes first;
        Bytes second; // empty: none comes
        int32_t result;
        uint32_t deviceId;
    } cases[] = {
        {"accepted at once", reply({0x94, 0x04, 0x78, 0x56, 0x34, 0x12}), {}, 0, 0x12345678},
        {"reconnect request", reply({0x94, 0x00}), reply({0x05, 0x04, 1, 2, 3, 4}), -2, 0},
        {"second reply taken whatever its status", reply({0x94, 0x07}),
         reply({0x33, 0x99, 0x44, 0x33, 0x22, 0x11}), 0, 0x11223344},
        {"second reply with id 0", reply({0x04, 0x04, 1}), reply({0x94, 0x04}), -3, 0},
        {"no second reply", reply({0x94, 0x03, 1}), {}, -1, 0},
    };
    for (const auto &c : cases) {
        chip.deviceId = 0;
        probe().clearTrace();
        probe().queueReply(0x94, c.first);
        if (!c.second.empty())
            probe().queueReply(0x94, c.second);
        EXPECT_EQ(d.detectChip(), c.result) << c.name;
        EXPECT_EQ(chip.deviceId, c.deviceId) << c.name;
        const std::vector<int> timeouts = c.first[0] == 0x94 && c.first[1] == 4
            ? std::vector<int>{200}
            : std::vector<int>{200, 200};
        EXPECT_EQ(readTimeouts(0x94), timeouts) << c.name;
    }
}

TEST_F(Commands, CheckExtraRead)
{
    ASSERT_EQ(d.detectChip(), 0);
    probe().clearTrace();
    probe().queueReply(0x95, reply({0x95, 0x00, 2, 2, 0}));
    probe().queueReply(0x95, reply({0x95, 0x01, 2, 2, 0}));
    EXPECT_EQ(d.checkChip(), 0);
    EXPECT_EQ(readTimeouts(0x95), (std::vector<int>{2000, 200}));

    probe().queueReply(0x95, reply({0x95, 0x00, 2, 2, 0}));
    probe().queueReply(0x95, reply({0x94, 0x01, 2, 2, 0}));
    EXPECT_EQ(d.checkChip(), -1) << "the extra reply must be an echo too";
    probe().failNext(0x95, ReplyFault::Withhold, 1);
    EXPECT_EQ(d.checkChip(), 0) << "a late reply is taken by the extra read";
}

TEST_F(Commands, EraseGivesUpAfterItsBudget)
{
    struct Case
    {
        const char *name;
        int model;
        int32_t eraseMode;
        int32_t offline;
        int reads;
    };
    const Case cases[] = {
        {"sector erase", 2, 1, 0, 21},      {"full erase", 2, 0, 0, 21},
        {"offline job", 2, 1, 1, 101},      {"QD52 full erase", 4, 0, 0, 101},
        {"QD52 sector erase", 4, 1, 0, 21},
    };
    for (const Case &c : cases) {
        vprobe::ChipState s = probe().chip();
        s.model = c.model;
        probe().setChip(s);
        chip.model = c.model;
        d.eraseMode = c.eraseMode;
        d.offline_flag = c.offline;
        if (d.fileCount == 0)
            addImage(0x0, 0x100);
        ASSERT_EQ(d.detectChip(), 0) << c.name;
        ASSERT_EQ(d.checkChip(), 0) << c.name;
        ASSERT_EQ(d.sendSettings(), 0) << c.name;
        probe().clearTrace();
        progress.clear();
        probe().failNext(0x96, ReplyFault::Withhold, -1);
        EXPECT_EQ(d.eraseFlash(), -1) << c.name;
        EXPECT_EQ(readTimeouts(0x96), std::vector<int>(size_t(c.reads), 400)) << c.name;
        std::vector<int> expected{0};
        for (int k = 1; k <= c.reads; ++k)
            expected.push_back(k);
        EXPECT_EQ(progress, expected) << c.name;
    }
}

TEST_F(Commands, SlowEraseStillSucceeds)
{
    addImage(0x0, 0x100);
    ASSERT_EQ(d.detectChip(), 0);
    ASSERT_EQ(d.checkChip(), 0);
    ASSERT_EQ(d.sendSettings(), 0);
    progress.clear();
    probe().failNext(0x96, ReplyFault::Withhold, 20);
    EXPECT_EQ(d.eraseFlash(), 0);
    std::vector<int> expected;
    for (int k = 0; k <= 20; ++k)
        expected.push_back(k);
    EXPECT_EQ(progress, expected);
    EXPECT_EQ(readTimeouts(0x96).size(), 21u);
}

TEST_F(Commands, EraseOfEightImages)
{
    for (int j = 0; j < 8; ++j)
        addImage(0x1000 * j, 0x100);
    for (int32_t mode : {1, 0}) {
        d.eraseMode = mode;
        ASSERT_EQ(d.detectChip(), 0);
        ASSERT_EQ(d.checkChip(), 0);
        ASSERT_EQ(d.sendSettings(), 0);
        probe().clearTrace();
        progress.clear();
        EXPECT_EQ(d.eraseFlash(), 0) << mode;
        const auto reports = written(0x96);
        if (mode == 1) {
            ASSERT_EQ(reports.size(), 2u);
            EXPECT_EQ(Bytes(reports[0].begin() + 2, reports[0].begin() + 5), (Bytes{1, 7, 0xAA}));
            EXPECT_EQ(Bytes(reports[1].begin() + 2, reports[1].begin() + 5), (Bytes{1, 1, 0x55}));
            EXPECT_EQ(progress, (std::vector<int>{0, 100}));
        } else {
            ASSERT_EQ(reports.size(), 1u);
            EXPECT_EQ(Bytes(reports[0].begin() + 2, reports[0].begin() + 5), (Bytes{0, 7, 0xAA}));
            EXPECT_EQ(progress, std::vector<int>{0});
        }
    }
}
