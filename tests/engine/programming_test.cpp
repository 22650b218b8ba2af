// Whole programming runs against the virtual probe: the commands on the wire, in order, and the
// result code of each run.
#include "probe/linkfixture.h"

using vprobe::ReplyFault;

namespace {

LinkTest::Bytes seq(std::initializer_list<uint8_t> commands)
{
    return LinkTest::Bytes(commands);
}

} // namespace

class Programming : public LinkTest
{
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        open();
    }

    int32_t run()
    {
        probe().clearTrace();
        progress.clear();
        const int32_t code = d.runProgramming();
        EXPECT_EQ(d.result, code);
        return code;
    }

    void setChip(void (*change)(vprobe::ChipState &))
    {
        vprobe::ChipState c = probe().chip();
        change(c);
        probe().setChip(c);
    }

    // One 48-byte image: exactly one data block.
    void oneBlockImages(int count)
    {
        for (int j = 0; j < count; ++j)
            addImage(0x1000 * j, 48, uint8_t(j));
    }
};

TEST_F(Programming, FullJobOrderAndFlash)
{
    d.eraseMode = 0;
    d.programEnabled = 1;
    addImage(0x0, 100, 1);
    addImage(0x400, 1024, 2);
    addImage(0x10000000, 0x200, 3);
    d.rollingCodeAddress = 0x1D000;
    d.rollingCodeValue = 0x1000;
    d.rollingCodeStep = 4;
    EXPECT_EQ(run(), 0);

    Bytes expected = seq({0x94, 0x95, 0x9E, 0x96, 0x97, 0x98, 0x98, 0x98, 0x99, 0x97});
    expected.insert(expected.end(), 22, 0x98);
    expected.insert(expected.end(), {0x99, 0x97});
    expected.insert(expected.end(), 11, 0x98);
    expected.insert(expected.end(), {0x99, 0x9A, 0x9F});
    EXPECT_EQ(commands(), expected);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(probe().readFlash(d.imageAddress[i], d.imageLength[i]), image(i)) << i;
    EXPECT_EQ(probe().readFlash(0x1D000, 4), (Bytes{0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(Programming, ChecksBeforeTraffic)
{
    struct Case
    {
        const char *name;
        int32_t eraseMode;
        int32_t programEnabled;
        uint32_t rollingCodeAddress;
        int files;
        int32_t result;
    };
    const Case cases[] = {
        {"nothing to do, files listed", 2, 0, 0, 2, 0},
        {"nothing to do, no files", 2, 0, 0, 0, 0},
        {"full erase, program, no files", 0, 1, 0, 0, 4},
        {"sector erase, program, no files, rolling code", 1, 1, 0x1D000, 0, 4},
        {"sector erase, no files, no rolling code", 1, 0, 0, 0, 4},
        {"no erase, program, no files", 2, 1, 0, 0, 4},
        {"full erase, program, eight files", 0, 1, 0, 8, 14},
        {"no erase, program, eight files", 2, 1, 0x1D000, 8, 14},
    };
    for (const Case &c : cases) {
        d.eraseMode = c.eraseMode;
        d.programEnabled = c.programEnabled;
        d.rollingCodeAddress = c.rollingCodeAddress;
        d.fileCount = 0;
        buffers.clear();
        for (int j = 0; j < c.files; ++j)
            addImage(0x1000 * j, 64);
        EXPECT_EQ(run(), c.result) << c.name;
        EXPECT_TRUE(commands().empty()) << c.name;
    }
}

TEST_F(Programming, NotConnected)
{
    d.eraseMode = 0;
    ASSERT_EQ(d.toggleConnection(), 0);
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(commands().empty());
}

TEST_F(Programming, JobsWithoutImages)
{
    struct Case
    {
        const char *name;
        int32_t eraseMode;
        int32_t programEnabled;
        uint32_t rollingCodeAddress;
        int files;
        LinkTest::Bytes commands;
        int32_t result;
    };
    const Case cases[] = {
        {"full erase only", 0, 0, 0, 0, seq({0x94, 0x95, 0x9E, 0x96, 0x9F}), 5},
        {"full erase only, files listed", 0, 0, 0, 2, seq({0x94, 0x95, 0x9E, 0x96, 0x9F}), 5},
        {"full erase and rolling code", 0, 0, 0x1D000, 0, seq({0x94, 0x95, 0x9E, 0x96, 0x9A, 0x9F}),
         0},
        {"sector erase, rolling code", 1, 0, 0x1D000, 0, seq({0x94, 0x95, 0x9E, 0x9A, 0x9F}), 0},
        {"sector erase, files, no program", 1, 0, 0, 2, seq({0x94, 0x95, 0x9E, 0x96, 0x9F}), 0},
        {"no erase, files, rolling code", 2, 0, 0x1D000, 1,
         seq({0x94, 0x95, 0x9E, 0x96, 0x9A, 0x9F}), 0},
        {"no erase, no files, rolling code", 2, 0, 0x1D000, 0, seq({0x94, 0x95, 0x9E, 0x9A, 0x9F}),
         0},
    };
    for (const Case &c : cases) {
        d.eraseMode = c.eraseMode;
        d.programEnabled = c.programEnabled;
        d.rollingCodeAddress = c.rollingCodeAddress;
        d.fileCount = 0;
        buffers.clear();
        for (int j = 0; j < c.files; ++j)
            addImage(0x1000 * j, 64);
        EXPECT_EQ(run(), c.result) << c.name;
        EXPECT_EQ(commands(), c.commands) << c.name;
    }
    // The erase report of a full erase carries the listed regions.
    d.eraseMode = 0;
    d.programEnabled = 0;
    d.rollingCodeAddress = 0;
    d.fileCount = 0;
    addImage(0x0, 64);
    addImage(0x1000, 64);
    EXPECT_EQ(run(), 5);
    EXPECT_EQ(written(0x96).at(0)[3], 2);
}

TEST_F(Programming, ChipIdZero)
{
    d.eraseMode = 0;
    d.programEnabled = 1;
    addImage(0x0, 48);
    setChip([](vprobe::ChipState &s) { s.deviceId = 0; });
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(commands(), seq({0x94}));

    d.offlineForceProgram_flag = 1;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(commands(), seq({0x94, 0x9E, 0x96, 0x97, 0x98, 0x99, 0x9F}));
}

TEST_F(Programming, ReadProtectedChip)
{
    setChip([](vprobe::ChipState &s) { s.readProtected = true; });
    d.programEnabled = 1;
    addImage(0x0, 48);
    for (int32_t mode : {1, 2}) {
        d.eraseMode = mode;
        EXPECT_EQ(run(), 10) << mode;
        EXPECT_EQ(commands(), seq({0x94, 0x95})) << mode;
    }
    d.eraseMode = 0;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(commands(), seq({0x94, 0x95, 0x9E, 0x96, 0x97, 0x98, 0x99, 0x9F}));
}

TEST_F(Programming, SecondOfThreeImagesFails)
{
    d.eraseMode = 0;
    d.programEnabled = 1;
    d.rollingCodeAddress = 0x1D000;
    oneBlockImages(3);
    // The eighth report is the second image's start; its reply never comes.
    probe().clearTrace();
    probe().unplugAfterReports(8);
    EXPECT_EQ(d.runProgramming(), 8);
    EXPECT_EQ(commands(), seq({0x94, 0x95, 0x9E, 0x96, 0x97, 0x98, 0x99, 0x97}));
}

// The simulated chip has 120 KiB of main flash: an image of 128 KiB at 0 fails in its last
// eight pages and the run ends with "programming failed", nothing sent after the refusal.
TEST_F(Programming, ImagePastTheMainFlashFailsTheRun)
{
    d.eraseMode = 0;
    d.programEnabled = 1;
    d.rollingCodeAddress = 0x1D000;
    addImage(0x0, 0x20000, 1);
    EXPECT_EQ(run(), 8);
    EXPECT_EQ(probe().lastRefusal(),
              "0x98: data block: page lies outside the main flash and LDROM");
    EXPECT_EQ(commands().back(), 0x98);
    EXPECT_EQ(probe().readFlash(0x1DFFC, 8),
              (Bytes{image(0)[0x1DFFC], image(0)[0x1DFFD], image(0)[0x1DFFE], image(0)[0x1DFFF],
                     0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(Programming, FailuresMapToResultCodes)
{
    struct Case
    {
        const char *name;
        void (*inject)(vprobe::VirtualProbe &);
        LinkTest::Bytes commands;
        int32_t result;
    };
    const Case cases[] = {
        {"chip detect silent",
         [](vprobe::VirtualProbe &p) { p.failNext(0x94, ReplyFault::Withhold, -1); }, seq({0x94}),
         2},
        {"chip check refused",
         [](vprobe::VirtualProbe &p) { p.failNext(0x95, ReplyFault::Status, 1, 0x00); },
         seq({0x94, 0x95}), 2},
        {"settings refused",
         [](vprobe::VirtualProbe &p) { p.failNext(0x9E, ReplyFault::Status, 1, 0x01); },
         seq({0x94, 0x95, 0x9E}), 2},
        {"other model",
         [](vprobe::VirtualProbe &p) {
             auto c = p.chip();
             c.model = 3;
             p.setChip(c);
         },
         seq({0x94, 0x95}), 3},
        {"erase refused",
         [](vprobe::VirtualProbe &p) { p.failNext(0x96, ReplyFault::Status, 1, 0x01); },
         seq({0x94, 0x95, 0x9E, 0x96}), 7},
        {"image end refused",
         [](vprobe::VirtualProbe &p) { p.failNext(0x99, ReplyFault::WrongEcho); },
         seq({0x94, 0x95, 0x9E, 0x96, 0x97, 0x98, 0x99}), 8},
        {"rolling code refused",
         [](vprobe::VirtualProbe &p) { p.failNext(0x9A, ReplyFault::Status, 1, 0x00); },
         seq({0x94, 0x95, 0x9E, 0x96, 0x97, 0x98, 0x99, 0x9A}), 9},
        {"finish refused", [](vprobe::VirtualProbe &p) { p.failNext(0x9F, ReplyFault::Short); },
         seq({0x94, 0x95, 0x9E, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9F}), 8},
        {"boots from LDROM",
         [](vprobe::VirtualProbe &p) {
             auto c = p.chip();
             c.bootSource = 1;
             p.setChip(c);
         },
         seq({0x94, 0x95}), 11},
        {"boots from APROM", [](vprobe::VirtualProbe &) {}, seq({0x94, 0x95}), 12},
        {"detection error",
         [](vprobe::VirtualProbe &p) {
             auto c = p.chip();
             c.detectionError = true;
             p.setChip(c);
         },
         seq({0x94, 0x95}), 13},
    };
    d.eraseMode = 0;
    d.programEnabled = 1;
    d.rollingCodeAddress = 0x1D000;
    addImage(0x0, 0x2100); // past 8 KB: only an LDROM boot objects
    d.imageLength[0] = 48;
    for (const Case &c : cases) {
        ASSERT_EQ(d.toggleConnection(), 0);
        probe().reset();
        ASSERT_EQ(d.toggleConnection(), 1);
        c.inject(probe());
        d.imageAddress[0] = c.result == 12 ? 0x10000000 : 0x0;
        d.imageLength[0] = c.result == 11 || c.result == 12 ? 0x2100 : 48;
        EXPECT_EQ(run(), c.result) << c.name;
        EXPECT_EQ(commands(), c.commands) << c.name;
    }
}

TEST_F(Programming, ProbeAsksForReconnect)
{
    d.eraseMode = 0;
    d.programEnabled = 1;
    addImage(0x0, 48);
    LinkTest::Bytes refused(64, 0);
    refused[0] = 0x94;
    LinkTest::Bytes marker(64, 0);
    marker[0] = 0x05;
    probe().queueReply(0x94, refused);
    probe().queueReply(0x94, marker);
    EXPECT_EQ(run(), 6);
    EXPECT_EQ(commands(), seq({0x94}));
}

TEST_F(Programming, SectorEraseOfEightImages)
{
    d.eraseMode = 1;
    d.programEnabled = 1;
    oneBlockImages(8);
    EXPECT_EQ(run(), 0);
    Bytes expected = seq({0x94, 0x95, 0x9E, 0x96, 0x96});
    for (int j = 0; j < 8; ++j)
        expected.insert(expected.end(), {0x97, 0x98, 0x99});
    expected.push_back(0x9F);
    EXPECT_EQ(commands(), expected);
}

TEST_F(Programming, SevenImagesNeedNoSectorErase)
{
    d.programEnabled = 1;
    oneBlockImages(7);
    for (int32_t mode : {0, 2}) {
        d.eraseMode = mode;
        EXPECT_EQ(run(), 0) << mode;
        EXPECT_EQ(written(0x97).size(), 7u) << mode;
        EXPECT_EQ(probe().readFlash(0x6000, 48), image(6)) << mode;
    }
}
