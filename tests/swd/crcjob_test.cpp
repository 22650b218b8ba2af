// A CRC routine that does not do its job never lets a verify pass.
#include "images/crc32.h"
#include "images/hexfilereader.h"
#include "swd/flash/elfimage.h"
#include "swd/flash/flashalgorithm.h"
#include "swd/flash/targetcrc.h"
#include "swd/swdprogrammer.h"
#include "swdjobfixture.h"
#include "virtualprobe.h"
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

namespace {

using vprobe::CmsisDapProbe;

TEST_F(SwdJobTest, ACrcRoutineThatFailsNeverPassesForAChecksum)
{
    // The routine's first instructions replaced: a loop, a return of 0, an undefined instruction
    // (a fault the core does not come back from).
    QTemporaryDir dir;
    for (const char *name : {"QB48x_Flash_AP.FLM", "QB48x_Flash_LD.FLM"})
        ASSERT_TRUE(QFile::copy(QDir(job.flmDir).filePath(name), dir.filePath(name)));
    const QString original = QDir(job.flmDir).filePath("Quorvel_Crc32.FLM");
    std::string why;
    const auto elf = ElfImage::load(original.toStdString(), why);
    ASSERT_TRUE(elf && elf->section("PrgCode"));
    const uint32_t at = elf->section("PrgCode")->offset;
    const struct
    {
        uint32_t code;
        int result;
        const char *message;
    } cases[] = {
        {0xE7FEE7FE, SwdNoHalt,
         "core did not halt within 248 ms (Crc32Ranges(10 ranges from 0x00000800))"},
        {0x47702000, SwdAlgorithmFailed,
         "CRC routine failed: Crc32Ranges(10 ranges from 0x00000800) stopped at 0x20000000 with 0"},
        {0xDE00DE00, SwdNoHalt,
         "core did not halt within 248 ms (Crc32Ranges(10 ranges from 0x00000800))"},
    };
    const std::vector<uint8_t> image = pattern(0x1123, 5);
    job.images = {{0x800, image.data(), uint32_t(image.size()), "app.bin"}};
    job.flmDir = dir.path();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        QFile in(original);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        for (int i = 0; i < 4; ++i)
            bytes[int(at) + i] = char(c.code >> (8 * i));
        QFile out(dir.filePath("Quorvel_Crc32.FLM"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        out.close();
        probe().reset();
        const SwdResult r = runSwdJob(dev, job, {});
        EXPECT_EQ(r.code, c.result);
        EXPECT_EQ(r.message.toStdString(), c.message);
        EXPECT_TRUE(probe().device().target().erases().empty());
        EXPECT_EQ(flash(TargetModel::Bank::Aprom, 0x800, 0x10), std::vector<uint8_t>(0x10, 0xFF));
    }
}

} // namespace
