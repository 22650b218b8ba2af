// The rolling code merged into an SWD job: which image carries it, with which bytes, and when it
// is refused. Nothing beyond the value is added: the run keeps the rest of its sector.
#include "swd/rollingpatch.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char *name;
    int eraseMode;
    uint32_t address;
    // The job's image: 8 bytes 0x11.. at 0x1000.
    uint32_t expectAddress; // of the image that carries the value
    std::vector<uint8_t> expectBytes;
    const char *error; // empty: accepted
};

TEST(RollingPatch, PlacesTheValueInTheImageThatHoldsItOrInItsOwn)
{
    const std::vector<uint8_t> file{0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18};
    using B = std::vector<uint8_t>;
    const B value{0x78, 0x56, 0x34, 0x12};
    const Case cases[] = {
        {"inside the image", job::SectorErase, 0x1004, 0x1000,
         B{0x11, 0x12, 0x13, 0x14, 0x78, 0x56, 0x34, 0x12}, ""},
        // No gap filled: the bytes between the image and the value stay as they are.
        {"after the image, same sector, no erase", job::NoErase, 0x100C, 0x100C, value, ""},
        {"just before the image, the sector below", job::FullErase, 0x0FFC, 0x0FFC, value, ""},
        {"sector no image touches", job::SectorErase, 0x1404, 0x1404, value, ""},
        {"sector no image touches without erase", job::NoErase, 0x1404, 0, B{},
         "不擦除时不能把滚码写入没有文件数据的扇区（地址0x00001404）"},
        {"not word-aligned", job::SectorErase, 0x1002, 0, B{}, "滚码地址0x00001002不能写入"},
        {"outside its sector", job::SectorErase, 0x1200, 0, B{}, "滚码地址0x00001200不能写入"},
    };
    for (const Case &c : cases) {
        SwdJob job;
        job.eraseMode = c.eraseMode;
        job.images.push_back({0x1000, file.data(), uint32_t(file.size()), "a.bin"});
        std::deque<std::vector<uint8_t>> storage;
        const uint32_t sector = c.address == 0x1200 ? 0x1000 : c.address & ~0x1FFu;
        const SwdResult result =
            patchRollingCode(job, c.address, 0x12345678, {sector, 0x200, 0xFF}, storage);
        const bool ok = result.ok();
        EXPECT_EQ(result.message.toStdString(), c.error) << c.name;
        EXPECT_EQ(result.code, ok ? int(SwdOk) : int(SwdBadJob)) << c.name;
        EXPECT_EQ(ok, !*c.error) << c.name;
        EXPECT_EQ(file[4], 0x15) << c.name; // the loaded file itself is never changed
        if (!ok) {
            ASSERT_EQ(job.images.size(), 1u) << c.name;
            EXPECT_EQ(job.images[0].data, file.data()) << c.name;
            continue;
        }
        const SwdImage &carrier = job.images.back();
        EXPECT_EQ(job.images.size(), c.expectAddress == 0x1000 ? 1u : 2u) << c.name;
        EXPECT_EQ(carrier.address, c.expectAddress) << c.name;
        const B got(carrier.data,
                    carrier.data + std::min<size_t>(carrier.length, c.expectBytes.size()));
        EXPECT_EQ(got, c.expectBytes) << c.name;
        EXPECT_EQ(carrier.length, c.expectAddress == 0x1000 ? 8u : 4u) << c.name;
    }
}

} // namespace
