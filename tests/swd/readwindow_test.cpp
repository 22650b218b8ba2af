// A flash the chip shows only through a switched window is read there because its pack says so,
// whatever the device is called.
#include "pack/targetcatalog.h"
#include "swd/memoryread.h"
#include "swdjobfixture.h"

namespace {

TEST_F(SwdJobTest, TheLdromWindowComesFromThePackNotTheDeviceName)
{
    QString error;
    ASSERT_TRUE(swdLoadTarget(pack::defaultDeviceName(), job.target, error)) << error.toStdString();
    job.target.device = QStringLiteral("Board-7 main MCU");
    const std::vector<uint8_t> boot = pattern(0x40, 9), app = pattern(0x40, 4);
    job.images = {{0x10000100, boot.data(), uint32_t(boot.size()), "boot.bin"},
                  {0x100, app.data(), uint32_t(app.size()), "app.bin"}};
    const SwdResult r = runSwdJob(dev, job, {});
    ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
    EXPECT_EQ(flash(TargetModel::Bank::Ldrom, 0x100, 0x40), boot);

    const struct
    {
        uint32_t address, length;
        std::vector<uint8_t> expected;
    } reads[] = {
        {0x10000100, 0x40, boot}, // through the window
        {0x100, 0x40, app}, // the window shows the APROM again
        {0x100000FE, 4, {0xFF, 0xFF, boot[0], boot[1]}},
    };
    for (const auto &read : reads) {
        SCOPED_TRACE(read.address);
        QByteArray out;
        const SwdResult got = readMemory(dev, job.target, job.connect, job.clockHz, read.address,
                                         read.length, out, {});
        ASSERT_EQ(got.code, SwdOk) << got.message.toStdString();
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end()), read.expected);
    }
}

} // namespace
