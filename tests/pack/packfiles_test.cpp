// Packs as files: zip archives and folders, each refusal by its message, and the QB48x pack we
// ship checked against the geometry the rest of the program uses.
#include "job/memorygeometry.h"
#include "pack/flmdescriptor.h"
#include "pack/jobalgorithms.h"
#include "pack/pdscreader.h"
#include "pack/targetcatalog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <map>

using namespace pack;

namespace {

const QString kShipped = QStringLiteral(QUORVEL_SHIPPED_PACKS "/Quorvel.QB48x");

const char kOneDevice[] = R"(<package><vendor>V</vendor><name>N</name>
<releases><release version="1.0.0"/></releases><devices><family Dfamily="F" Dvendor="V">
<device Dname="D"><algorithm name="Flash\A.FLM" start="0" size="0x1E000"/></device>
</family></devices></package>)";

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes a zip holding the given members (name -> bytes), deflated.
QString writeZip(const QTemporaryDir &dir, const char *name,
                 const std::map<std::string, QByteArray> &members)
{
    const QString path = dir.filePath(name);
    int code = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    for (const auto &m : members) {
        zip_source_t *src = zip_source_buffer(z, m.second.constData(), m.second.size(), 0);
        zip_file_add(z, m.first.c_str(), src, ZIP_FL_OVERWRITE);
    }
    zip_close(z); // copies the buffers, which `members` keeps alive until here
    return path;
}

QString readError(const QString &path, const PackLimits &limits = {})
{
    PackContents out;
    QString error;
    EXPECT_FALSE(readPack(path, limits, out, error)) << path.toStdString();
    return error;
}

// Reads the pack, then loads its first device's algorithms: the load's message.
QString loadError(const QString &path)
{
    PackContents out;
    QString error;
    EXPECT_TRUE(readPack(path, {}, out, error)) << error.toStdString();
    if (out.devices.isEmpty())
        return error;
    TargetDescription d = out.devices.front();
    EXPECT_FALSE(loadAlgorithms(d, {}, error));
    return error;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray described(const char *version, const char *device, const char *algorithms)
{
    return QStringLiteral("<package><vendor>V</vendor><name>N</name>\n<releases><release "
                          "version=\"%1\"/></releases><devices><family Dfamily=\"F\">\n"
                          "<device Dname=\"%2\">%3</device></family></devices></package>")
        .arg(version, device, algorithms)
        .toUtf8();
}

} // namespace

TEST(ShippedPack, DescribesTheQb48AsTheGeometryDoes)
{
    TargetCatalog catalog;
    QString error;
    ASSERT_TRUE(catalog.addFolder(QStringLiteral(QUORVEL_SHIPPED_PACKS), error))
        << error.toStdString();
    const TargetCatalog::Resolution r = catalog.resolve("qb48");
    ASSERT_NE(r.device, nullptr) << r.message.toStdString();
    TargetDescription d = *r.device;
    EXPECT_EQ(d.packId, "Quorvel.QB48x.1.0.0");
    EXPECT_EQ(d.processor.core, "Cortex-M0");

    const quorvel::MemoryGeometry &g = quorvel::qb48Geometry;
    for (const quorvel::MemoryArea &area : {g.aprom, g.ldrom}) {
        SCOPED_TRACE(area.name);
        const MemoryRegion *m = d.memory(area.name);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->start, area.base);
        EXPECT_EQ(m->size, area.size);
        const FlashAlgorithmRef *a = d.algorithmFor(area.base);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->start, area.base);
        EXPECT_EQ(a->size, area.size);
        EXPECT_EQ(d.algorithmFor(area.base + area.size - 1), a);
    }
    // The LDROM is read through the window at 0 that the flash controller's LDROM bit switches;
    // the APROM where it lies.
    const MemoryRegion *ldrom = d.windowedMemory(g.ldrom.base + g.ldrom.size - 1);
    ASSERT_NE(ldrom, nullptr);
    ASSERT_TRUE(ldrom->readWindow.has_value());
    EXPECT_EQ(ldrom->name, "LDROM");
    EXPECT_EQ(ldrom->readWindow->base, 0u);
    EXPECT_EQ(ldrom->readWindow->selectRegister, g.window.selectRegister);
    EXPECT_EQ(ldrom->readWindow->show, g.window.ldrom);
    EXPECT_EQ(ldrom->readWindow->hide, g.window.aprom);
    EXPECT_EQ(d.windowedMemory(g.aprom.base), nullptr);
    EXPECT_EQ(d.windowedMemory(g.ldrom.base + g.ldrom.size), nullptr);
    EXPECT_EQ(d.algorithmFor(g.aprom.end()), nullptr);

    ASSERT_TRUE(loadAlgorithms(d, {}, error)) << error.toStdString();
    EXPECT_EQ(d.erasedValue, std::optional<uint8_t>(0xFF));
    for (const FlashAlgorithmRef &a : d.algorithms) {
        SCOPED_TRACE(a.path.toStdString());
        EXPECT_EQ(a.image, fileBytes(kShipped + "/" + a.path));
        FlmDescriptor flm;
        ASSERT_TRUE(readFlmDescriptor(a.image, flm, error)) << error.toStdString();
        EXPECT_EQ(flm.deviceSize, a.size);
        EXPECT_EQ(flm.sectors.size(), 1u);
        EXPECT_EQ(flm.sectors.front().size, g.sectorSize);
    }
}

TEST(PackFiles, RefusesHostileOrBrokenPacks)
{
    QTemporaryDir dir;
    const QByteArray flm = fileBytes(kShipped + "/Flash/QB48x_Flash_AP.FLM");
    ASSERT_FALSE(flm.isEmpty());
    const QByteArray bomb(4 * 1024 * 1024, ' ');

    QFile text(dir.filePath("text.pack"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a zip");
    text.close();
    EXPECT_TRUE(readError(text.fileName())
                    .startsWith(dir.filePath("text.pack") + "：不是有效的包（zip）："));
    EXPECT_EQ(readError(dir.filePath("none.pack")), dir.filePath("none.pack") + "：包不存在");

    const QString empty = writeZip(dir, "empty.pack", {{"../p.pdsc", kOneDevice}});
    EXPECT_EQ(readError(empty), empty + "：包中没有.pdsc文件");
    const QString two = writeZip(dir, "two.pack", {{"a.pdsc", kOneDevice}, {"b.pdsc", ""}});
    EXPECT_EQ(readError(two), two + "：包中有多个.pdsc文件：a.pdsc, b.pdsc");
    const QString bombed = writeZip(dir, "bomb.pack", {{"p.pdsc", bomb}});
    EXPECT_TRUE(readError(bombed).startsWith("p.pdsc：压缩比异常（4194304字节压缩为"))
        << readError(bombed).toStdString();
    // A missing algorithm file matters only once a job loads it.
    const QString missing = writeZip(dir, "missing.pack", {{"p.pdsc", kOneDevice}});
    EXPECT_EQ(loadError(missing), "p.pdsc 第3行 <algorithm>：Flash/A.FLM：文件不在包中");
    PackLimits small;
    small.maxDescriptionBytes = 64;
    EXPECT_EQ(readError(missing, small), "p.pdsc：文件超过64字节上限");

    // A folder pack whose algorithm is a link to a file outside it.
    QDir(dir.path()).mkpath("folder/Flash");
    QFile::copy(missing, dir.filePath("outside.FLM"));
    QFile pdsc(dir.filePath("folder/p.pdsc"));
    ASSERT_TRUE(pdsc.open(QIODevice::WriteOnly));
    pdsc.write(kOneDevice);
    pdsc.close();
    ASSERT_TRUE(QFile::link(dir.filePath("outside.FLM"), dir.filePath("folder/Flash/A.FLM")));
    EXPECT_EQ(loadError(dir.filePath("folder")),
              "p.pdsc 第3行 <algorithm>：Flash/A.FLM：文件不在包中");

    // A sound zip: listed, then its algorithm loaded (the name's case differs from the member's).
    const QString good = writeZip(dir, "good.pack", {{"p.pdsc", kOneDevice}, {"flash/a.flm", flm}});
    PackContents contents;
    QString error;
    ASSERT_TRUE(readPack(good, {}, contents, error)) << error.toStdString();
    ASSERT_EQ(contents.devices.size(), 1);
    TargetDescription d = contents.devices.front();
    ASSERT_TRUE(loadAlgorithms(d, {}, error)) << error.toStdString();
    EXPECT_EQ(d.algorithms.front().image, flm);
    EXPECT_EQ(d.erasedValue, std::optional<uint8_t>(0xFF));
    PackLimits tiny;
    tiny.maxAlgorithmBytes = 100;
    d = contents.devices.front();
    EXPECT_FALSE(loadAlgorithms(d, tiny, error));
    EXPECT_EQ(error, "p.pdsc 第3行 <algorithm>：Flash/A.FLM：文件超过100字节上限");

    const QString notElf =
        writeZip(dir, "notelf.pack", {{"p.pdsc", kOneDevice}, {"Flash/A.FLM", "MZ"}});
    ASSERT_TRUE(readPack(notElf, {}, contents, error)) << error.toStdString();
    d = contents.devices.front();
    EXPECT_FALSE(loadAlgorithms(d, {}, error));
    EXPECT_TRUE(error.startsWith("p.pdsc 第3行 <algorithm>：Flash/A.FLM：不是有效的烧写算法："))
        << error.toStdString();
}

TEST(PackFiles, PacksAsUsersKeepThem)
{
    QTemporaryDir dir;
    const QByteArray flm = fileBytes(kShipped + "/Flash/QB48x_Flash_AP.FLM");
    ASSERT_FALSE(flm.isEmpty());
    const char *one = "<algorithm name=\"FLASH\\Main.FLM\" start=\"0\" size=\"0x1E000\"/>";
    // The user's folder: two versions of one pack (one a lone .pdsc whose algorithm lies beside
    // it, spelt in another case), and a broken neighbour.
    const QString folder = dir.filePath("packs");
    writeFile(folder + "/V.N.1.10.0/V.N.pdsc", described("1.10.0", "D", one));
    writeFile(folder + "/V.N.1.10.0/Flash/main.flm", flm);
    writeFile(folder + "/V.N.1.9.2.pdsc", described("1.9.2", "D", one));
    writeFile(folder + "/flash/MAIN.FLM", flm);
    writeFile(folder + "/broken.pack", "not a zip");

    TargetCatalog catalog;
    QString error;
    ASSERT_TRUE(catalog.addFolder(folder, error));
    ASSERT_EQ(catalog.warnings().size(), 1);
    EXPECT_TRUE(catalog.warnings()[0].startsWith("跳过包" + folder + "/broken.pack：" + folder
                                                 + "/broken.pack：不是有效的包（zip）："))
        << catalog.warnings()[0].toStdString();
    TargetCatalog::Resolution r = catalog.resolve("d");
    ASSERT_NE(r.device, nullptr) << r.message.toStdString();
    EXPECT_EQ(r.device->packId, "V.N.1.10.0");
    TargetDescription d = *r.device;
    ASSERT_TRUE(loadAlgorithms(d, {}, error)) << error.toStdString();
    EXPECT_EQ(d.algorithms.front().image, flm);

    // Named on the command line, the older version wins; a lone .pdsc loads from beside it.
    ASSERT_TRUE(catalog.addPack(folder + "/V.N.1.9.2.pdsc", error, true)) << error.toStdString();
    r = catalog.resolve("D");
    ASSERT_NE(r.device, nullptr) << r.message.toStdString();
    EXPECT_EQ(r.device->packId, "V.N.1.9.2");
    d = *r.device;
    ASSERT_TRUE(loadAlgorithms(d, {}, error)) << error.toStdString();
    EXPECT_EQ(d.algorithms.front().image, flm);

    const struct
    {
        const char *a, *b;
        int order;
    } versions[] = {{"1.10.0", "1.9.2", 1},
                    {"2.0.0", "2.0.0", 0},
                    {"1.0.0-rc1", "1.0.0", -1},
                    {"1.2", "1.2.1", -1}};
    for (const auto &v : versions)
        EXPECT_EQ(std::clamp(compareVersions(v.a, v.b), -1, 1), v.order) << v.a << " " << v.b;
}

TEST(PackFiles, ChecksEveryAlgorithmAndLoadsOnlyWhatAJobUses)
{
    QTemporaryDir dir;
    QByteArray flm = fileBytes(kShipped + "/Flash/QB48x_Flash_AP.FLM");
    ASSERT_FALSE(flm.isEmpty());
    QByteArray noProgram = flm;
    ASSERT_GE(noProgram.indexOf(QByteArray("ProgramPage", 12)), 0);
    // The symbol is gone, the file otherwise sound.
    noProgram.replace(QByteArray("ProgramPage", 12), QByteArray("ProgramPagX", 12));
    const QString pack =
        writeZip(dir, "p.pack",
                 {{"p.pdsc",
                   described("1.0.0", "D",
                             "<algorithm name=\"A.FLM\" start=\"0\" size=\"0x1E000\" "
                             "default=\"1\"/>\n"
                             "<algorithm name=\"Gone.FLM\" start=\"0x1FFFF000\" size=\"0x10\"/>\n"
                             "<algorithm name=\"NoPP.FLM\" start=\"0x10000000\" size=\"0x2000\"/>\n"
                             "<algorithm name=\"L.out\" style=\"IAR\" start=\"0x90000000\" "
                             "size=\"0x10\"/>")},
                  {"A.FLM", flm},
                  {"NoPP.FLM", noProgram}});
    PackContents contents;
    QString error;
    ASSERT_TRUE(readPack(pack, {}, contents, error)) << error.toStdString();
    EXPECT_EQ(checkAlgorithms(contents, {}),
              QStringList({"p.pdsc 第4行 <algorithm>：Gone.FLM：文件不在包中",
                           "p.pdsc 第5行 <algorithm>：NoPP.FLM：算法没有ProgramPage函数",
                           "p.pdsc 第6行 <algorithm>：L.out：IAR格式的算法无法运行"}));
    // A job with nothing outside the default range never opens the missing or broken ones.
    TargetDescription d = contents.devices.front();
    ASSERT_TRUE(selectAlgorithms(d, {{0x100, 4, "a.bin"}}, {}, error)) << error.toStdString();
    ASSERT_TRUE(loadAlgorithms(d, {}, error)) << error.toStdString();
    ASSERT_EQ(d.algorithms.size(), 1);
    EXPECT_TRUE(d.algorithms[0].fullErase);
    EXPECT_EQ(d.algorithms[0].deviceSize, 0x1E000u);
    d = contents.devices.front();
    ASSERT_TRUE(selectAlgorithms(d, {{0x10000000, 4, "ld.bin"}}, {}, error));
    EXPECT_FALSE(loadAlgorithms(d, {}, error));
    EXPECT_EQ(error, "p.pdsc 第5行 <algorithm>：NoPP.FLM：算法没有ProgramPage函数");
}
