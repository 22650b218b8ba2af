// Which algorithms a job uses and what full erase touches, and where an image may lie.
#include "pack/jobalgorithms.h"

#include <gtest/gtest.h>

using namespace pack;

namespace {

FlashAlgorithmRef algorithm(const char *path, uint32_t start, uint32_t size, bool isDefault,
                            const char *style = "")
{
    FlashAlgorithmRef a;
    a.path = path;
    a.start = start;
    a.size = size;
    a.isDefault = isDefault;
    a.style = style;
    a.line = 7;
    return a;
}

// A part like many: main flash in two defaults of one range (two board variants), option bytes
// and OTP on request, an external loader in another tool's style, and a non-secure alias.
TargetDescription part()
{
    TargetDescription d;
    d.device = "P1";
    d.descriptionFile = "p.pdsc";
    d.memories = {{"FLASH", 0x08000000, 0x20000, "rx", true, true, {}, {}, 1, {}},
                  {"FLASH_NS", 0x0C000000, 0x20000, "rx", false, false, {}, "FLASH", 2, {}},
                  {"OPT", 0x1FFF7800, 0x10, "rx", false, false, {}, {}, 3, {}},
                  {"OTP", 0x1FFF7000, 0x400, "rx", false, false, {}, {}, 4, {}},
                  {"QSPI", 0x90000000, 0x1000000, "rx", false, false, {}, {}, 5, {}}};
    d.algorithms = {algorithm("Flash/MAIN.FLM", 0x08000000, 0x20000, true),
                    algorithm("Flash/MAIN_B.FLM", 0x08000000, 0x20000, true),
                    algorithm("Flash/MAIN_NS.FLM", 0x0C000000, 0x20000, true),
                    algorithm("Flash/OPT.FLM", 0x1FFF7800, 0x10, false),
                    algorithm("Flash/OTP.FLM", 0x1FFF7000, 0x400, false),
                    algorithm("Flash/QSPI.out", 0x90000000, 0x1000000, false, "IAR")};
    return d;
}

QString roles(const QVector<AlgorithmUse> &uses)
{
    QStringList parts;
    for (const AlgorithmUse &u : uses)
        parts << QString::number(int(u.role));
    return parts.join(' ');
}

} // namespace

TEST(JobAlgorithms, DefaultsProgramOthersOnlyWhenAnImageOrTheUserAsks)
{
    // Roles: 0 default, 1 named, 2 image, 3 unused; indices as part() lists them.
    const struct
    {
        const char *what;
        QVector<ImageSpan> images;
        QStringList named;
        const char *roles, *error, *fullErase;
    } rows[] = {
        {"no job: one default per range, the alias's not again",
         {},
         {},
         "0 3 3 3 3 3",
         "",
         "MAIN.FLM"},
        {"image in the option bytes",
         {{0x1FFF7800, 4, "opt.bin"}},
         {},
         "0 3 3 2 3 3",
         "",
         "MAIN.FLM"},
        {"named by file name and stem, any case",
         {},
         {"otp", "MAIN_B.flm"},
         "3 1 3 3 1 3",
         "",
         "MAIN_B.FLM OTP.FLM"},
        {"unknown name",
         {},
         {"UICR"},
         "",
         "P1没有烧写算法UICR（有：MAIN.FLM, MAIN_B.FLM, "
         "MAIN_NS.FLM, OPT.FLM, OTP.FLM, QSPI.out）",
         ""},
        {"image for the IAR loader",
         {{0x90000000, 4, "ext.bin"}},
         {},
         "",
         "p.pdsc 第7行 "
         "<algorithm>：Flash/QSPI.out：IAR格式的算法无法运行",
         ""},
        {"IAR loader named",
         {},
         {"QSPI"},
         "",
         "p.pdsc 第7行 <algorithm>：Flash/QSPI.out："
         "IAR格式的算法无法运行",
         ""},
        {"two views of one flash",
         {{0x08000000, 16, "a.bin"}, {0x0C000008, 16, "b.bin"}},
         {},
         "0 3 2 3 3 3",
         "b.bin与a.bin是同一块闪存（别名），地址重叠",
         ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        QVector<AlgorithmUse> uses;
        QString error;
        const bool planned = planAlgorithms(part(), row.images, row.named, uses, error);
        EXPECT_EQ(planned ? roles(uses) : QString(), planned ? QString(row.roles) : QString());
        TargetDescription d = part();
        const bool selected = selectAlgorithms(d, row.images, row.named, error);
        EXPECT_EQ(error, QString::fromUtf8(row.error));
        if (!selected)
            continue;
        QStringList erased;
        for (const FlashAlgorithmRef &a : d.algorithms)
            if (a.fullErase)
                erased << algorithmName(a);
        EXPECT_EQ(erased.join(' '), row.fullErase);
    }
}

TEST(JobAlgorithms, AnImageLiesInAMemoryTheRangeAndSzDev)
{
    TargetDescription d = part();
    d.memories[0].size = 0x1F000; // the flash ends before the algorithm's range does
    FlashAlgorithmRef a = d.algorithms[0];
    a.deviceSize = 0x10000;
    const struct
    {
        ImageSpan image;
        uint32_t deviceSize;
        const char *problem;
    } rows[] = {
        {{0x08000000, 0x100, "a.bin"}, 0x10000, ""},
        {{0x0800FF00, 0x100, "a.bin"}, 0x10000, ""},
        {{0x0800FF00, 0x101, "a.bin"},
         0x10000,
         "a.bin（257字节，位于0x0800ff00）超出烧写算法MAIN.FLM的范围0x08000000-0x0800ffff"},
        {{0x0801F000, 0x10, "b.bin"}, 0, "b.bin（16字节，位于0x0801f000）不在P1的任何存储区内"},
        {{0x0801EFF0, 0x10, "b.bin"}, 0, ""},
        {{0x07FFFFF0, 0x20, "c.bin"}, 0, "c.bin（32字节，位于0x07fffff0）不在P1的任何存储区内"},
    };
    for (const auto &row : rows) {
        a.deviceSize = row.deviceSize;
        EXPECT_EQ(imageBoundsProblem(d, a, row.image), QString::fromUtf8(row.problem))
            << row.image.start;
    }
    // A loader whose range no <memory> describes is bounded by its range alone.
    const FlashAlgorithmRef loader = algorithm("Flash/EXT.FLM", 0xA0000000, 0x1000, false);
    EXPECT_EQ(imageBoundsProblem(d, loader, {0xA0000F00, 0x100, "x.bin"}), "");
    EXPECT_EQ(imageBoundsProblem(d, loader, {0xA0000F00, 0x101, "x.bin"}),
              "x.bin（257字节，位于0xa0000f00）超出烧写算法EXT.FLM的范围0xa0000000-0xa0000fff");
}
