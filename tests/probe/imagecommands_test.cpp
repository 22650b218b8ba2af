// Images as the virtual probe receives them: blocks, progress, per-run encryption of offline
// images, a failing block, the block limit, and the rolling code's and finish's replies.
#include "probe/commandsfixture.h"
#include "probe/settingskey.h"

#include <wolfssl/wolfcrypt/cryptocb.h>

#include <cstring>

using namespace commandstest;
using vprobe::ReplyFault;

TEST_F(Commands, EmptyImageSendsNoBlocks)
{
    addImage(0x0, 0);
    prepare();
    ASSERT_EQ(d.programImage(0), 0);
    EXPECT_EQ(commands(), (Bytes{0x97, 0x99}));
    const Bytes end = written(0x99).at(0);
    EXPECT_EQ(Bytes(end.begin() + 2, end.begin() + 5), (Bytes{0xFF, 0xFF, 0x00}));
    EXPECT_EQ(Bytes(end.begin() + 5, end.begin() + 21), emptyMd5);
    EXPECT_EQ(progress, (std::vector<int>{0, 100}));
}

TEST_F(Commands, ProgressPerBlock)
{
    addImage(0x0, 96);
    prepare();
    ASSERT_EQ(d.programImage(0), 0);
    EXPECT_EQ(progress, (std::vector<int>{0, 50, 100, 100}));
}

TEST_F(Commands, OfflineImageIsEncryptedPerRun)
{
    d.offline_flag = 1;
    addImage(0x800, 53);
    prepare();
    ASSERT_EQ(d.programImage(0), 0);
    const auto blocks = written(0x98);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1][2], 5);
    const Bytes data = image(0);
    EXPECT_NE(Bytes(blocks[1].begin() + 7, blocks[1].begin() + 12),
              Bytes(data.begin() + 48, data.end()));
    for (int k = 23; k <= 62; ++k)
        EXPECT_EQ(blocks[1][k], 0) << k;
    Bytes key(quorvel::settingsKeyBytes, quorvel::settingsKeyBytes + 24);
    std::memcpy(key.data(), &d.timestamp, 4);
    EXPECT_EQ(Bytes(d.dataKey, d.dataKey + 24), key);
    ASSERT_EQ(d.finishJob(), 0);
    EXPECT_EQ(probe().readFlash(0x800, 53), image(0)) << "the probe decrypted the chain";
}

// A crypto device under id 0, the id of a zeroed context, that claims the work and does none: the
// probe would refuse the settings and the data if the context were handed to it.
TEST_F(Commands, CipherContextIsInitialisedForSoftware)
{
    struct Device
    {
        Device()
        {
            wc_CryptoCb_RegisterDevice(
                0, [](int, wc_CryptoInfo *, void *) { return 0; }, nullptr);
        }
        ~Device() { wc_CryptoCb_UnRegisterDevice(0); }
    } device;
    d.offline_flag = 1;
    addImage(0x800, 53);
    prepare();
    ASSERT_EQ(d.programImage(0), 0);
    ASSERT_EQ(d.finishJob(), 0);
    EXPECT_EQ(probe().readFlash(0x800, 53), image(0));
}

TEST_F(Commands, FailingBlockStopsTheImage)
{
    addImage(0x0, 200);
    prepare();
    probe().failNext(0x98, ReplyFault::Status, 1, 0x01);
    EXPECT_EQ(d.programImage(0), -1);
    EXPECT_EQ(commands(), (Bytes{0x97, 0x98}));
}

// Block numbers are 16 bits: a longer image would wrap them and overwrite its own start.
TEST_F(Commands, ImageOverBlockLimitIsRefusedBeforeTraffic)
{
    addImage(0x0, 2978 * 1024 + 961);
    prepare();
    EXPECT_EQ(d.programImage(0), -1);
    EXPECT_TRUE(commands().empty());
    EXPECT_TRUE(progress.empty());

    d.imageLength[0] = 2978 * 1024 + 960; // exactly 65536 blocks still goes out
    probe().failNext(0x97, ReplyFault::Status, 1, 0x01);
    EXPECT_EQ(d.programImage(0), -1);
    EXPECT_EQ(commands(), Bytes{0x97});
}

TEST_F(Commands, RollingCodeAndFinishReplies)
{
    addImage(0x0, 4);
    d.programEnabled = 0;
    d.rollingCodeAddress = 0x1D000;
    d.rollingCodeValue = 0x12345678;
    d.rollingCodeStep = 2;
    prepare();
    probe().failNext(0x9A, ReplyFault::Status, 1, 0x00);
    EXPECT_EQ(d.writeRollingCode(), -1) << "only 0xBB is success";

    probe().queueReply(0x9F, reply({0x9F, 0xAA, 0x01}));
    EXPECT_EQ(d.finishJob(), -1);
    probe().queueReply(0x9F, reply({0x9F, 0xAB, 0x00}));
    EXPECT_EQ(d.finishJob(), -1);
    probe().queueReply(0x9F, reply({0x9E, 0xAA, 0x00}));
    EXPECT_EQ(d.finishJob(), -1);
    probe().queueReply(0x9F, reply({0x9F, 0xAA, 0x00}));
    EXPECT_EQ(d.finishJob(), 0);
}
