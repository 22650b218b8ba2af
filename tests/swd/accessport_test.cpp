// The chosen core's MEM-AP: which APSEL a pack's <debug __ap/__apid> names, and a job on a board
// whose core answers only at APSEL 1.
#include "pack/targetcatalog.h"
#include "swdjobfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(AccessPort, ThePackNamesTheApselOrSaysWhyNot)
{
    using pack::PackElement;
    const PackElement v1{"accessportV1", {}, 12, {{"__apid", "2"}, {"index", "0x1"}}};
    const PackElement v1NoIndex{"accessportV1", {}, 13, {{"__apid", "4"}}};
    const PackElement v2{"accessportV2", {}, 14, {{"__apid", "3"}, {"address", "0x2000"}}};
    const struct
    {
        std::optional<uint32_t> ap, apid;
        int apsel; // -1: refused
        const char *error;
    } cases[] = {
        {std::nullopt, std::nullopt, 0, ""},
        {1u, std::nullopt, 1, ""},
        {255u, 3u, 255, ""}, // __ap wins
        {std::nullopt, 2u, 1, ""},
        {256u, std::nullopt, -1, "D（Core1）的访问端口：APSEL 256超出0至255"},
        {std::nullopt, 3u, -1, "D（Core1）的访问端口：__apid 3是ADIv6端口（d.pdsc第14行），不支持"},
        {std::nullopt, 4u, -1, "D（Core1）的访问端口：第13行的accessportV1没有index"},
        {std::nullopt, 9u, -1, "D（Core1）的访问端口：没有声明__apid 9的accessportV1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        pack::TargetDescription d;
        d.device = "D";
        d.descriptionFile = "d.pdsc";
        d.processor.pname = "Core1";
        d.processor.ap = c.ap;
        d.processor.apid = c.apid;
        d.elements = {v1, v1NoIndex, v2};
        uint8_t apsel = 0xEE;
        QString error;
        EXPECT_EQ(d.accessPort(apsel, error), c.apsel >= 0);
        EXPECT_EQ(error.toStdString(), c.error);
        if (c.apsel >= 0) {
            EXPECT_EQ(apsel, c.apsel);
        }
    }
}

// The shipped pack with `debug` added to its device.
QString packWith(QTemporaryDir &dir, const QByteArray &debug)
{
    const QString shipped = QStringLiteral(QUORVEL_SHIPPED_PACKS "/Quorvel.QB48x");
    QFile in(shipped + "/Quorvel.QB48x.pdsc");
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray pdsc = in.readAll();
    pdsc.replace("<device Dname=\"QB48\">", "<device Dname=\"QB48\">\n" + debug);
    const QString root = dir.filePath("Quorvel.QB48x");
    EXPECT_TRUE(QDir().mkpath(root + "/Flash"));
    QFile out(root + "/Quorvel.QB48x.pdsc");
    EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(pdsc) == pdsc.size());
    for (const char *flm : {"QB48x_Flash_AP.FLM", "QB48x_Flash_LD.FLM"})
        EXPECT_TRUE(QFile::copy(shipped + "/Flash/" + flm, root + "/Flash/" + flm));
    return dir.path();
}

TEST_F(SwdJobTest, MemoryAndCoreControlGoThroughTheCoresAccessPort)
{
    const std::vector<uint8_t> app = pattern(0x300, 5);
    const struct
    {
        QByteArray debug;
        int code;
        const char *message;
    } cases[] = {
        {"<debug __ap=\"1\"/>", SwdOk, ""},
        {"<accessportV1 __apid=\"7\" index=\"1\"/><debug __apid=\"7\"/>", SwdOk, ""},
        // Nothing answers at APSEL 0: the core never shows as halted.
        {"", SwdNoHalt,
         "core did not halt within 500 ms (halt request); connect with --connect under-reset or "
         "halt-on-reset"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.debug.constData());
        probe().reset();
        probe().device().setMemApIndex(1);
        QTemporaryDir dir;
        QString error;
        ASSERT_TRUE(
            swdLoadTarget(pack::defaultDeviceName(), job.target, error, packWith(dir, c.debug)))
            << error.toStdString();
        job.images = {{0x400, app.data(), uint32_t(app.size()), "app.bin"}};
        const SwdResult r = runSwdJob(dev, job, {});
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.message.toStdString(), c.message);
        if (c.code == SwdOk) {
            EXPECT_EQ(flash(TargetModel::Bank::Aprom, 0x400, 0x300), app);
        }
    }
}

} // namespace
