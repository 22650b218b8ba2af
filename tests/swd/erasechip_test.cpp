// Full erase by the algorithms' EraseChip on the virtual parts: one that erases the whole bank,
// the QB48x's that stops at 64 KiB unless the chip is configured for 120 KiB, an algorithm
// without one, one the part refuses, and the ranges a full erase must leave alone.
#include "pack/jobalgorithms.h"
#include "pack/pdscreader.h"
#include "pack/targetcatalog.h"
#include "swd/builder/flashbuilder.h"
#include "swdjobfixture.h"

#include <QTemporaryDir>

#include <functional>

namespace {

using Bank = TargetModel::Bank;
constexpr uint32_t kApromSectors = TargetModel::kApromSize / TargetModel::kSectorSize;
constexpr uint32_t kConfig120K = 0x80000000; // the chip's APROM configured for 120 KiB

std::string summary(const SwdResult &r)
{
    QStringList banks;
    for (const BankErase &b : r.fullErase)
        banks << QStringLiteral("%1 %2 %3").arg(b.algorithm, b.by).arg(b.sectors);
    return banks.join("; ").toStdString();
}

// The QB48x's erases in the order the controller took them, as sector numbers per bank:
// "AP 0-127,130; LD 0-15".
std::string eraseLog(const std::vector<TargetModel::Erase> &erases)
{
    std::string out;
    for (size_t i = 0; i < erases.size();) {
        const bool newBank = i == 0 || erases[i].bank != erases[i - 1].bank;
        if (newBank)
            out += std::string(i ? "; " : "") + (erases[i].bank == Bank::Aprom ? "AP " : "LD ");
        else
            out += ",";
        const uint32_t first = erases[i].sectorValue & ~TargetModel::kSectorBit28;
        size_t j = i + 1;
        while (j < erases.size() && erases[j].bank == erases[i].bank
               && (erases[j].sectorValue & ~TargetModel::kSectorBit28) == first + (j - i))
            ++j;
        out += std::to_string(first);
        if (j - i > 1)
            out += "-" + std::to_string(first + (j - i - 1));
        i = j;
    }
    return out;
}

// The same algorithm as another toolchain might build it without EraseChip: its symbol renamed.
bool dropEraseChip(pack::FlashAlgorithmRef &ref)
{
    const QByteArray name("EraseChip\0", 10), other("EraseNone\0", 10);
    if (!ref.image.contains(name))
        return false;
    ref.image.replace(name, other);
    return true;
}

std::vector<uint8_t> withSectors(std::vector<uint8_t> bytes, uint32_t keepFrom,
                                 const std::vector<uint32_t> &dataSectors)
{
    std::fill(bytes.begin() + keepFrom, bytes.end(), 0xFF);
    const std::vector<uint8_t> data = pattern(TargetModel::kSectorSize, 3);
    for (uint32_t s : dataSectors)
        std::copy(data.begin(), data.end(), bytes.begin() + s * TargetModel::kSectorSize);
    return bytes;
}

TEST_F(SwdJobTest, FullEraseGoesByEraseChipAndErasesWhatItLeftSectorBySector)
{
    const std::vector<uint8_t> old = pattern(TargetModel::kApromSize, 6);
    const struct
    {
        const char *name;
        uint32_t config;
        std::vector<uint8_t> aprom; // before the erase
        uint32_t ramSize; // 0: the pack's
        bool eraseChip;
        bool crcRoutine;
        const char *erased, *log;
    } cases[] = {
        {"configured for 120 KiB: EraseChip alone", kConfig120K, old, 0, true, true,
         "QB48x_Flash_AP.FLM chip 0; QB48x_Flash_LD.FLM chip 0", "AP 0-239; LD 0-15"},
        {"64 KiB: the sectors beyond it that are not blank, found by CRC", 0,
         withSectors(old, 0x10000, {130, 239}), 0, true, true,
         "QB48x_Flash_AP.FLM chip+sectors 2; QB48x_Flash_LD.FLM chip 0",
         "AP 0-127,130,239; LD 0-15"},
        {"64 KiB, found by reading back where the CRC routine does not fit", 0,
         withSectors(old, 0x10000, {128, 200}), 0x800, true, false,
         "QB48x_Flash_AP.FLM chip+sectors 2; QB48x_Flash_LD.FLM chip 0", "AP 0-128,200; LD 0-15"},
        {"64 KiB, all of it left", 0, old, 0, true, true,
         "QB48x_Flash_AP.FLM chip+sectors 112; QB48x_Flash_LD.FLM chip 0", "AP 0-239; LD 0-15"},
        {"no EraseChip: every sector", kConfig120K, old, 0, false, true,
         "QB48x_Flash_AP.FLM sectors 240; QB48x_Flash_LD.FLM chip 0", "AP 0-239; LD 0-15"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        probe().reset();
        TargetModel &model = probe().device().target();
        model.setSystemConfig(c.config);
        model.setFlash(Bank::Aprom, c.aprom);
        model.setFlash(Bank::Ldrom, pattern(TargetModel::kLdromSize, 4));
        QString error;
        job.target = {};
        ASSERT_TRUE(swdLoadTarget("QB48", job.target, error)) << error.toStdString();
        ASSERT_EQ(job.target.algorithms.size(), 2);
        if (!c.eraseChip)
            ASSERT_TRUE(dropEraseChip(job.target.algorithms[0]));
        for (pack::FlashAlgorithmRef &ref : job.target.algorithms)
            ref.ramSize = c.ramSize ? c.ramSize : *ref.ramSize;
        const SwdResult r = eraseDevice(dev, job, {});
        ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
        EXPECT_EQ(summary(r), c.erased);
        EXPECT_EQ(eraseLog(model.erases()), c.log);
        EXPECT_EQ(r.crcRoutine, c.crcRoutine);
        EXPECT_EQ(r.sectors.erased, int(kApromSectors + 16));
        EXPECT_EQ(model.flash(Bank::Aprom), std::vector<uint8_t>(TargetModel::kApromSize, 0xFF));
        EXPECT_EQ(model.flash(Bank::Ldrom), std::vector<uint8_t>(TargetModel::kLdromSize, 0xFF));
        EXPECT_TRUE(model.faults().empty());
    }
}

// The QS64's EraseChip is the controller's mass erase: complete in one operation, or refused
// whole by a protected sector, which ends the run naming it and leaves the flash as it was.
TEST_F(SwdJobTest, Qs64EraseChipCompleteOrRefused)
{
    probe().device().selectPart(vprobe::SimulatedPart::Qs64);
    QString error;
    ASSERT_TRUE(swdLoadTarget("qs64", job.target, error,
                              QFileInfo(QStringLiteral(QUORVEL_QS64_PACK)).absolutePath()))
        << error.toStdString();
    const std::vector<uint8_t> image = pattern(0x300, 7);
    const struct
    {
        const char *name;
        bool program;
        bool protect;
        int code;
        const char *message, *erased, *operations;
        int sectorsErased;
    } cases[] = {
        {"erase", false, false, SwdOk, "", "QS64_Flash.FLM chip 0", "mass erase 0x08000000 in 1",
         11},
        {"program after a full erase", true, false, SwdOk, "", "QS64_Flash.FLM chip 0",
         "mass erase 0x08000000 in 1; program 0x08000800 in 2", 11},
        {"refused", false, true, SwdAlgorithmFailed, "QS64_Flash failed: EraseChip() returned 1",
         "", "mass erase refused 0x08000000 in 1", 0},
        {"refused before any page", true, true, SwdAlgorithmFailed,
         "QS64_Flash failed: EraseChip() returned 1", "", "mass erase refused 0x08000000 in 1", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        probe().reset();
        Qs64Flash &part = *probe().device().qs64();
        part.fill(0x00); // an earlier program's zeros everywhere
        if (c.protect)
            part.protectSector(0x4000);
        job.images = {{0x08000800, image.data(), uint32_t(image.size()), "fw.bin"}};
        job.eraseMode = job::FullErase;
        job.program = c.program;
        job.verify = c.program;
        const SwdResult r = c.program ? runSwdJob(dev, job, {}) : eraseDevice(dev, job, {});
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.message.toStdString(), c.message);
        EXPECT_EQ(summary(r), c.erased);
        EXPECT_EQ(r.sectors.erased, c.sectorsErased);
        std::string ops;
        for (const std::string &op : part.operations())
            ops += (ops.empty() ? "" : "; ") + op;
        EXPECT_EQ(ops, c.operations);
        std::vector<uint8_t> expected(Qs64Flash::kFlashSize, c.protect ? 0x00 : 0xFF);
        if (c.program && !c.protect)
            std::copy(image.begin(), image.end(), expected.begin() + 0x800);
        EXPECT_EQ(part.flash(), expected);
        EXPECT_TRUE(part.faults().empty());
    }
    probe().device().selectPart(vprobe::SimulatedPart::Qb48);
}

// A pack whose LDROM algorithm is not a default one: a full erase leaves its range alone unless it
// is named, and an image there erases only the sector it needs.
TEST_F(SwdJobTest, FullEraseLeavesANonDefaultRangeAloneUnlessNamed)
{
    QTemporaryDir dir;
    const QByteArray ldrom = "QB48x_Flash_LD.FLM\" start=\"0x10000000\" size=\"0x00002000\" "
                             "RAMstart=\"0x20000000\" RAMsize=\"0x00004000\"";
    ASSERT_NO_FATAL_FAILURE(writeEditedPack(
        QDir(QStringLiteral(QUORVEL_SHIPPED_PACKS)).filePath("Quorvel.QB48x"), dir.path(),
        "Quorvel.QB48x.pdsc", {"Flash/QB48x_Flash_AP.FLM", "Flash/QB48x_Flash_LD.FLM"},
        ldrom + " default=\"1\"", ldrom));

    const std::vector<uint8_t> oldLdrom = pattern(TargetModel::kLdromSize, 4);
    const std::vector<uint8_t> image = pattern(0x100, 5);
    std::vector<uint8_t> programmed = oldLdrom;
    std::copy(image.begin(), image.end(), programmed.begin());
    const struct
    {
        const char *name;
        QStringList named;
        bool program;
        const char *erased, *log;
        std::vector<uint8_t> ldrom; // afterwards
    } cases[] = {
        {"not named: untouched", {}, false, "QB48x_Flash_AP.FLM chip 0", "AP 0-239", oldLdrom},
        {"named: erased whole",
         {"QB48x_Flash_LD"},
         false,
         "QB48x_Flash_AP.FLM chip 0; QB48x_Flash_LD.FLM chip 0",
         "AP 0-239; LD 0-15",
         std::vector<uint8_t>(TargetModel::kLdromSize, 0xFF)},
        {"an image in it: its sector only, the rest of the sector kept",
         {},
         true,
         "QB48x_Flash_AP.FLM chip 0",
         "AP 0-239; LD 0",
         programmed},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        probe().reset();
        TargetModel &model = probe().device().target();
        model.setSystemConfig(kConfig120K);
        model.setFlash(Bank::Aprom, pattern(TargetModel::kApromSize, 6));
        model.setFlash(Bank::Ldrom, oldLdrom);
        pack::TargetCatalog catalog;
        QString error;
        ASSERT_TRUE(catalog.addFolder(dir.path(), error)) << error.toStdString();
        const pack::TargetCatalog::Resolution found = catalog.resolve("QB48");
        ASSERT_TRUE(found.device) << found.message.toStdString();
        job.target = *found.device;
        job.images.clear();
        QVector<pack::ImageSpan> spans;
        if (c.program) {
            job.images = {{0x10000000, image.data(), uint32_t(image.size()), "ld.bin"}};
            spans = {{0x10000000, uint32_t(image.size()), "ld.bin"}};
        }
        ASSERT_TRUE(pack::selectCore(job.target, {}, error)
                    && pack::selectAlgorithms(job.target, spans, c.named, error)
                    && pack::loadAlgorithms(job.target, pack::PackLimits(), error))
            << error.toStdString();
        job.eraseMode = job::FullErase;
        job.program = job.verify = c.program;
        const SwdResult r = c.program ? runSwdJob(dev, job, {}) : eraseDevice(dev, job, {});
        ASSERT_EQ(r.code, SwdOk) << r.message.toStdString();
        EXPECT_EQ(summary(r), c.erased);
        EXPECT_EQ(eraseLog(model.erases()), c.log);
        EXPECT_EQ(model.flash(Bank::Aprom), std::vector<uint8_t>(TargetModel::kApromSize, 0xFF));
        EXPECT_EQ(model.flash(Bank::Ldrom), c.ldrom);
    }
}

// What `plan` and `targets` show comes from the rule the run follows: EraseChip only over an
// algorithm's whole device, and nothing for an algorithm a full erase leaves alone.
TEST(FullEraseWays, ByChipOnlyWhereTheBankIsTheWholeDevice)
{
    using W = FullEraseWay;
    const struct
    {
        const char *name;
        std::function<void(pack::FlashAlgorithmRef &)> change;
        std::vector<W> ways;
    } cases[] = {
        {"as the pack has it", [](pack::FlashAlgorithmRef &) {}, {W::Chip}},
        {"a range of half the device",
         [](pack::FlashAlgorithmRef &a) { a.size = 0x8000; },
         {W::Sectors}},
        {"no EraseChip",
         [](pack::FlashAlgorithmRef &a) { ASSERT_TRUE(dropEraseChip(a)); },
         {W::Sectors}},
        {"not erased by a full erase",
         [](pack::FlashAlgorithmRef &a) { a.isDefault = a.fullErase = false; },
         {W::None}},
        {"off sector boundaries: a job refuses it",
         [](pack::FlashAlgorithmRef &a) { a.size = 0x900; },
         {W::None}},
    };
    QString error;
    pack::TargetDescription qs64;
    ASSERT_TRUE(swdLoadTarget("qs64", qs64, error,
                              QFileInfo(QStringLiteral(QUORVEL_QS64_PACK)).absolutePath()))
        << error.toStdString();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        pack::TargetDescription t = qs64;
        c.change(t.algorithms[0]);
        EXPECT_EQ(fullEraseWays(t), c.ways);
    }
    pack::TargetDescription qb48;
    ASSERT_TRUE(swdLoadTarget("QB48", qb48, error)) << error.toStdString();
    EXPECT_EQ(fullEraseWays(qb48), (std::vector<W>{W::Chip, W::Chip}));
}

} // namespace
