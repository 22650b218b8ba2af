// The algorithm copied into RAM is read back before its first call: RAM that loses a write is
// named with the word, and the flash is never touched.
#include "swd/flash/flashalgorithm.h"
#include "swd/memoryread.h"
#include "swdjobfixture.h"

namespace {

TEST_F(SwdJobTest, AnAlgorithmThatDidNotLoadIsCaughtBeforeItsFirstCall)
{
    const std::vector<uint8_t> app = pattern(0x200, 1);
    job.images = {{0x0, app.data(), uint32_t(app.size()), "app.bin"}};
    QString error;
    const auto algorithm = FlashAlgorithm::load(QStringLiteral(QUORVEL_FLM_AP), error);
    ASSERT_TRUE(algorithm) << error.toStdString();
    // Where the RAM plan puts the algorithm is found from a run that loads it: its first words.
    ASSERT_EQ(runSwdJob(dev, job, {}).code, SwdOk);
    pack::TargetDescription withRam = job.target; // the fixture's device lists its flash only
    pack::MemoryRegion sram;
    sram.name = QStringLiteral("IRAM1");
    sram.start = 0x20000000;
    sram.size = 0x800;
    sram.access = QStringLiteral("rwx");
    withRam.memories.push_back(sram);
    QByteArray ram;
    ASSERT_EQ(readMemory(dev, withRam, job.connect, job.clockHz, 0x20000000, 0x800, ram, {}).code,
              SwdOk);
    const int at =
        ram.indexOf(QByteArray(reinterpret_cast<const char *>(algorithm->blob().data()), 16));
    ASSERT_GE(at, 0);
    const uint32_t second = 0x20000000 + uint32_t(at) + 4;
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i)
        word |= uint32_t(algorithm->blob()[size_t(4 + i)]) << (8 * i);
    const std::string message = "the flash algorithm did not load: RAM at "
        + hex8(second).toStdString() + " reads 0x00000000, not " + hex8(word).toStdString();
    const struct
    {
        uint32_t dropped;
    } cases[] = {{second}, {second + 2}}; // the second: a byte of the same word
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
