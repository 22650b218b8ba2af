// Packs as files: zip archives and folders, each refusal by its message, and the QB48x pack we
// ship checked against the geometry the rest of the program uses.
#include "job/memorygeometry.h"
#include "pack/flmdescriptor.h"
#include "pack/pdscreader.h"
#include "pack/targetcatalog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zip.h>

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
    const QString missing = writeZip(dir, "missing.pack", {{"p.pdsc", kOneDevice}});
    EXPECT_EQ(readError(missing), "p.pdsc：<algorithm> Flash/A.FLM：文件不在包中");
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
    EXPECT_EQ(readError(dir.filePath("folder")), "p.pdsc：<algorithm> Flash/A.FLM：文件不在包中");

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
    EXPECT_EQ(error, "Flash/A.FLM：文件超过100字节上限");

    const QString notElf =
        writeZip(dir, "notelf.pack", {{"p.pdsc", kOneDevice}, {"Flash/A.FLM", "MZ"}});
    ASSERT_TRUE(readPack(notElf, {}, contents, error)) << error.toStdString();
    d = contents.devices.front();
    EXPECT_FALSE(loadAlgorithms(d, {}, error));
    EXPECT_TRUE(error.startsWith("Flash/A.FLM：不是有效的烧写算法：")) << error.toStdString();
}
