// The algorithm copied into RAM is read back before its first call: RAM that loses a write is
// named with the word, and the flash is never touched.
#include "swd/flash/flashalgorithm.h"
#include "swdjobfixture.h"

namespace {

TEST_F(SwdJobTest, AnAlgorithmThatDidNotLoadIsCaughtBeforeItsFirstCall)
{
    const std::vector<uint8_t> app = pattern(0x200, 1);
    job.images = {{0x0, app.data(), uint32_t(app.size()), "app.bin"}};
    // The algorithm sits after the breakpoint word and the three page stubs, at 0x200000D0; its
    // second word is what RAM should read at 0x200000D4.
    QString error;
    const auto algorithm = FlashAlgorithm::load(QStringLiteral(QUORVEL_FLM_AP), error);
    ASSERT_TRUE(algorithm) << error.toStdString();
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i)
        word |= uint32_t(algorithm->blob()[size_t(4 + i)]) << (8 * i);
    const std::string message = "the flash algorithm did not load: RAM at 0x200000D4 reads "
                                "0x00000000, not "
        + hex8(word).toStdString();
    const struct
    {
        uint32_t dropped;
    } cases[] = {{0x200000D4}, {0x200000D6}}; // the second: a byte of the same word
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dropped);
        probe().reset();
        probe().device().dropWritesAt(c.dropped);
        const SwdResult r = runSwdJob(dev, job, {});
        EXPECT_EQ(r.code, SwdAlgorithmFailed);
        EXPECT_EQ(r.message.toStdString(), message);
        EXPECT_EQ(flash(TargetModel::Bank::Aprom, 0, 0x200), std::vector<uint8_t>(0x200, 0xFF));
        EXPECT_TRUE(probe().device().target().erases().empty());
    }
}

} // namespace
