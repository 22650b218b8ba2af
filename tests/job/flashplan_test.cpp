// The flash plan of a job: each problem rule on a table of jobs, the text map of one job exactly,
// and the SVG map as a well-formed document naming every file.
#include "download.h"
#include "flashplan.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace {

struct FileLayout
{
    uint32_t address;
    uint32_t length;
    const char *name = "f.bin";
};

// A job whose images all hold "123456789" repeated: CRC-32 0xCBF43926 for nine bytes.
class Job
{
public:
    Job(const std::vector<FileLayout> &files, int eraseMode = 1, uint32_t rollingCode = 0)
    {
        d.eraseMode = eraseMode;
        d.programEnabled = 1;
        d.rollingCodeAddress = rollingCode;
        buffers.reserve(files.size());
        for (const FileLayout &f : files) {
            const int i = d.fileCount++;
            buffers.emplace_back(f.length);
            for (uint32_t k = 0; k < f.length; ++k)
                buffers.back()[k] = uint8_t('1' + k % 9);
            d.imageData[i] = buffers.back().data();
            d.imageAddress[i] = f.address;
            d.imageLength[i] = f.length;
            d.fileName[i] = QString::fromUtf8(f.name);
        }
    }
    Job(const Job &) = delete; // the record points into this job's buffers
    Download d;

private:
    std::vector<std::vector<uint8_t>> buffers;
};

using P = FlashProblem;
using Found = std::tuple<P::Kind, std::vector<int>, uint64_t, uint64_t>; // files, offending bytes

std::vector<Found> found(const FlashPlan &plan)
{
    std::vector<Found> out;
    for (const FlashProblem &p : plan.problems)
        out.emplace_back(p.kind, std::vector<int>(p.files.begin(), p.files.end()), p.start, p.end);
    return out;
}

TEST(FlashPlan, ProblemRules)
{
    std::vector<FileLayout> ten;
    for (uint32_t i = 0; i < 10; ++i)
        ten.push_back({0x400 * i, 4});
    const std::vector<FileLayout> eight(ten.begin(), ten.begin() + 8);
    struct Case
    {
        const char *name;
        std::vector<FileLayout> files;
        int eraseMode;
        uint32_t rollingCode;
        int bootSource;
        std::vector<Found> expected;
    };
    const Case cases[] = {
        {"clean: APROM to its end, whole LDROM, code after an image",
         {{0x0, 0x1000}, {0x1D000, 0x1000}, {0x10000000, 0x2000}},
         1,
         0x1000,
         2,
         {}},
        {"adjacent files", {{0x0, 0x1000}, {0x1000, 0x1000}}, 1, 0, 0, {}},
        {"overlap",
         {{0x0, 0x1000}, {0x2000, 4}, {0xF00, 0x200}},
         1,
         0,
         0,
         {{P::Overlap, {0, 2}, 0xF00, 0x1000}}},
        {"128 KiB at 0", {{0x0, 0x20000}}, 1, 0, 0, {{P::PastEnd, {0}, 0x1E000, 0x20000}}},
        {"LDROM image over 8 KB, boot source unknown",
         {{0x10001000, 0x1004}},
         1,
         0,
         0,
         {{P::PastEnd, {0}, 0x10002000, 0x10002004}}},
        {"LDROM image over 8 KB, boots from APROM",
         {{0x10001000, 0x1004}},
         1,
         0,
         2,
         {{P::LdromTooLarge, {0}, 0x10002000, 0x10002004}}},
        {"low image over 8 KB, boots from LDROM",
         {{0x1000, 0x1004}},
         1,
         0,
         1,
         {{P::LdromTooLarge, {0}, 0x2000, 0x2004}}},
        {"image running past 4 GiB does not wrap",
         {{0xFFFFFFF0, 0x20}},
         1,
         0,
         0,
         {{P::PastEnd, {0}, 0xFFFFFFF0, 0x100000010}}},
        {"rolling code over an image's last bytes",
         {{0x0, 0x1000}},
         1,
         0xFFE,
         0,
         {{P::RollingCodeInImage, {0}, 0xFFE, 0x1002}}},
        {"rolling code in APROM's last word", {{0x0, 0x1000}}, 1, 0x1DFFC, 0, {}},
        {"rolling code past APROM's end",
         {{0x0, 0x1000}},
         1,
         0x1FFFC,
         0,
         {{P::RollingCodeOutside, {}, 0x1FFFC, 0x20000}}},
        {"rolling code across LDROM's end",
         {},
         1,
         0x10001FFE,
         0,
         {{P::RollingCodeOutside, {}, 0x10001FFE, 0x10002002}}},
        {"eight files, full erase", eight, 0, 0, 0, {{P::TooManyFiles, {7}, 0, 0}}},
        {"ten files, no erase", ten, 2, 0, 0, {{P::TooManyFiles, {7, 8, 9}, 0, 0}}},
        {"ten files, sector erase", ten, 1, 0, 0, {}},
    };
    for (const Case &c : cases) {
        const Job job(c.files, c.eraseMode, c.rollingCode);
        EXPECT_EQ(found(planJob(job.d, c.bootSource)), c.expected) << c.name;
    }
}

TEST(FlashPlan, EraseRegionsAreWhatEachModeErases)
{
    using Range = std::pair<uint64_t, uint64_t>;
    const struct
    {
        int eraseMode;
        std::vector<Range> erased;
    } cases[] = {
        {0, {{0x0, 0x1E000}, {0x10000000, 0x10002000}}}, // both banks, on either path
        {1, {{0x0, 0x400}, {0x10000000, 0x10000200}}},
        {3, {{0x0, 0x400}, {0x10000000, 0x10000200}}}, // auto: at most the sector erase's
        {2, {}},
    };
    for (const auto &c : cases) {
        const Job job({{0x1F0, 0x20}, {0x10000000, 9}}, c.eraseMode);
        std::vector<Range> erased;
        for (const FlashRegion &r : planJob(job.d, 0).regions)
            if (r.kind == FlashRegion::Erase)
                erased.emplace_back(r.start, r.end);
        EXPECT_EQ(erased, c.erased) << c.eraseMode;
    }
}

TEST(FlashPlan, FileCountOutsideTheSlotsIsClamped)
{
    Job job({{0x0, 4}});
    for (int count : {-3, 0}) {
        job.d.fileCount = count;
        EXPECT_TRUE(planJob(job.d, 0).regions.isEmpty()) << count;
    }
    job.d.fileCount = 11; // slots 1..9 are empty at 0: each overlaps nothing, slot 0 holds 4 bytes
    EXPECT_EQ(planJob(job.d, 0).regions.size(), 1 + 10); // one merged erase range, ten files
}

} // namespace

namespace {

// Two overlapping files in APROM with the rolling code over both, one LDROM file, sector erase.
FlashPlan knownPlan(const char *secondName)
{
    const Job job({{0x1000, 9, "app.bin"}, {0x1004, 9, secondName}, {0x10000000, 9, "boot.bin"}}, 1,
                  0x1008);
    return planJob(job.d, 0);
}

TEST(FlashMap, TextTableOfAKnownJob)
{
    EXPECT_EQ(flashMapText(knownPlan("data.bin")),
              "问题      文件1与文件2重叠：0x00001004-0x00001008\n"
              "问题      滚码0x00001008位于文件1内\n"
              "问题      滚码0x00001008位于文件2内\n"
              "擦除      0x00001000-0x000011FF  0x00000200  APROM\n"
              "文件1     0x00001000-0x00001008  0x00000009  APROM  CRC-32 0xCBF43926  app.bin  "
              "（有问题）\n"
              "文件2     0x00001004-0x0000100C  0x00000009  APROM  CRC-32 0xCBF43926  data.bin  "
              "（有问题）\n"
              "滚码      0x00001008-0x0000100B  0x00000004  APROM  （有问题）\n"
              "擦除      0x10000000-0x100001FF  0x00000200  LDROM\n"
              "文件3     0x10000000-0x10000008  0x00000009  LDROM  CRC-32 0xCBF43926  boot.bin\n");
}

TEST(FlashMap, RollingCodeOutsideTheMemoryIsLabelledWhereItLies)
{
    const Job job({{0x0, 9, "app.bin"}}, 1, 0x1FFFC);
    const QString text = flashMapText(planJob(job.d, 0));
    EXPECT_TRUE(text.startsWith("问题      滚码0x0001FFFC不在APROM或LDROM内\n"))
        << text.toStdString();
    EXPECT_TRUE(
        text.contains("滚码      0x0001FFFC-0x0001FFFF  0x00000004  超出范围  （有问题）\n"))
        << text.toStdString();
    EXPECT_TRUE(QString::fromUtf8(flashMapSvg(planJob(job.d, 0)))
                    .contains("滚码  0x0001FFFC-0x0001FFFF  超出范围</text>"));
}

TEST(FlashMap, SvgIsWellFormedAndNamesEveryFile)
{
    const QString hostile = QString::fromUtf8("数据 <v2> & \"final\".bin");
    QXmlStreamReader xml(flashMapSvg(knownPlan(hostile.toUtf8().constData())));
    QStringList texts, titles;
    QString root;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (root.isEmpty())
            root = xml.name().toString();
        if (xml.name() == QLatin1String("text"))
            texts << xml.readElementText();
        else if (xml.name() == QLatin1String("title"))
            titles << xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(root, "svg");
    for (const QString &name : {QStringLiteral("app.bin"), hostile, QStringLiteral("boot.bin")})
        EXPECT_EQ(texts.filter(name).size(), 1) << name.toStdString();
    EXPECT_TRUE(titles.contains(
        QString::fromUtf8("app.bin\n0x00001000-0x00001008\n长度：0x00000009\nCRC-32：0xCBF43926")));
    EXPECT_EQ(texts.filter(QString::fromUtf8("滚码0x00001008位于文件2内")).size(), 1);
}

} // namespace

namespace {

// A memory's name comes from a device pack and a file's from the user: either may hold "%1",
// which must reach the text as written.
TEST(FlashPlan, NamesHoldingPlaceholdersAreShownAsWritten)
{
    const QVector<FlashMemory> memories{{"Bank%1", 0x0, 0x1000, {{0x200, 0}}}};
    const Job job({{0xFF8, 16, "fw%1.bin"}});
    const FlashPlan plan = planJob(job.d, 0, memories);
    ASSERT_EQ(plan.problems.size(), 1);
    EXPECT_EQ(plan.problems[0].text.toStdString(), "文件1超出Bank%1范围：0x00000FF8-0x00001007");
    EXPECT_NE(flashMapText(plan).indexOf("Bank%1  CRC-32 0x"), -1)
        << flashMapText(plan).toStdString();
    EXPECT_NE(flashMapText(plan).indexOf("fw%1.bin"), -1);
}

} // namespace
