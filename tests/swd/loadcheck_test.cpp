// The algorithm copied into RAM is read back before its first call: RAM that loses a write is
// named with the word, and the flash is never touched.
#include "swdjobfixture.h"

namespace {

TEST_F(SwdJobTest, AnAlgorithmThatDidNotLoadIsCaughtBeforeItsFirstCall)
{
    const std::vector<uint8_t> app = pattern(0x200, 1);
    job.images = {{0x0, app.data(), uint32_t(app.size()), "app.bin"}};
    const struct
    {
        uint32_t dropped;
        const char *message;
    } cases[] = {
        {0x20000400, "@@"}, {0x20000402, "@@"}, // the word it lies in
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dropped);
        probe().reset();
        probe().device().dropWritesAt(c.dropped);
        const SwdResult r = runSwdJob(dev, job, {});
        EXPECT_EQ(r.code, SwdAlgorithmFailed);
        EXPECT_EQ(r.message.toStdString(), c.message);
        EXPECT_EQ(flash(TargetModel::Bank::Aprom, 0, 0x200), std::vector<uint8_t>(0x200, 0xFF));
        EXPECT_TRUE(probe().device().target().erases().empty());
    }
}

} // namespace
