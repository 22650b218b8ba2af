// The description parser: inheritance down family -> subFamily -> device -> variant, and the
// refusal of each malformed or hostile element, by its exact message.
#include "pack/jobalgorithms.h"
#include "pack/pdscreader.h"
#include "pack/targetcatalog.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace pack;

namespace {

const char kInheritance[] = R"(<?xml version="1.0"?>
<package><vendor>T</vendor><name>Inherit</name>
<releases><release version="2.1.0"/><release version="1.0.0"/></releases>
<devices>
 <family Dfamily="F" Dvendor="Quorvel:0">
  <processor Dcore="Cortex-M0" Dclock="8000000"/>
  <memory id="IROM1" start="0x0" size="0x1000" startup="1" default="1"/>
  <memory name="RAM" access="rwx" start="0x20000000" size="0x1000"/>
  <algorithm name="Flash\A.FLM" start="0" size="0x1000" default="1"/>
  <subFamily DsubFamily="S">
   <processor Dclock="16000000" Dfpu="NO_FPU"/>
   <memory name="RAM" access="rw" start="0x20000000" size="0x2000"/>
   <device Dname="D1">
    <algorithm name="Flash/a.flm" start="0" size="0x800" RAMstart="0x20000000" RAMsize="0x800"/>
   </device>
   <device Dname="D2">
    <processor Dcore="Cortex-M0+"/>
    <variant Dvariant="D2-A"><memory name="EXT" start="0x60000000" size="0x100000" access="rx"/></variant>
    <variant Dvariant="D2-B"/>
   </device>
  </subFamily>
  <description>text</description>
  <device Dname="D3"/>
 </family>
</devices></package>)";

PackContents parsed(const char *xml)
{
    PackContents out;
    QString error;
    EXPECT_TRUE(parseDescription(xml, "t.pdsc", out, error)) << error.toStdString();
    return out;
}

QString memories(const TargetDescription &d)
{
    QStringList parts;
    for (const MemoryRegion &m : d.memories)
        parts << QStringLiteral("%1@%2+%3:%4%5%6")
                     .arg(m.name)
                     .arg(m.start, 0, 16)
                     .arg(m.size, 0, 16)
                     .arg(m.access, m.isDefault ? "d" : "", m.startup ? "s" : "");
    return parts.join(' ');
}

QString algorithms(const TargetDescription &d)
{
    QStringList parts;
    for (const FlashAlgorithmRef &a : d.algorithms)
        parts << QStringLiteral("%1@%2+%3 ram %4+%5%6")
                     .arg(a.path)
                     .arg(a.start, 0, 16)
                     .arg(a.size, 0, 16)
                     .arg(a.ramStart ? QString::number(*a.ramStart, 16) : "-")
                     .arg(a.ramSize ? QString::number(*a.ramSize, 16) : "-")
                     .arg(a.isDefault ? " d" : "");
    return parts.join(' ');
}

} // namespace

TEST(PdscReader, InheritsDownTheLevels)
{
    const PackContents p = parsed(kInheritance);
    EXPECT_EQ(p.packId, "T.Inherit.2.1.0");
    ASSERT_EQ(p.devices.size(), 4); // D2 is listed through its variants only
    struct Row
    {
        const char *device, *subFamily, *core, *fpu;
        uint32_t clock;
        const char *memories, *algorithms;
    } const rows[] = {
        {"D1", "S", "Cortex-M0", "NO_FPU", 16000000, "IROM1@0+1000:rxds RAM@20000000+2000:rw",
         "Flash/a.flm@0+800 ram 20000000+800"},
        {"D2-A", "S", "Cortex-M0+", "NO_FPU", 16000000,
         "IROM1@0+1000:rxds RAM@20000000+2000:rw EXT@60000000+100000:rx",
         "Flash/A.FLM@0+1000 ram -+- d"},
        {"D2-B", "S", "Cortex-M0+", "NO_FPU", 16000000, "IROM1@0+1000:rxds RAM@20000000+2000:rw",
         "Flash/A.FLM@0+1000 ram -+- d"},
        {"D3", "", "Cortex-M0", "", 8000000, "IROM1@0+1000:rxds RAM@20000000+1000:rwx",
         "Flash/A.FLM@0+1000 ram -+- d"},
    };
    for (int i = 0; i < 4; ++i) {
        const TargetDescription &d = p.devices[i];
        SCOPED_TRACE(rows[i].device);
        EXPECT_EQ(d.device, rows[i].device);
        EXPECT_EQ(d.vendor, "Quorvel");
        EXPECT_EQ(d.family, "F");
        EXPECT_EQ(d.subFamily, rows[i].subFamily);
        EXPECT_EQ(d.processor.core, rows[i].core);
        EXPECT_EQ(d.processor.fpu, rows[i].fpu);
        EXPECT_EQ(d.processor.clock, rows[i].clock);
        EXPECT_EQ(memories(d), rows[i].memories);
        EXPECT_EQ(algorithms(d), rows[i].algorithms);
    }
}

TEST(PdscReader, RefusesMalformedElementsByName)
{
    auto device = [](const QString &inner) {
        return QStringLiteral("<package>\n<devices><family Dfamily=\"F\" Dvendor=\"V\">\n"
                              "<device Dname=\"D\">%1</device></family></devices></package>")
            .arg(inner)
            .toUtf8();
    };
    struct Row
    {
        QByteArray xml;
        const char *message;
    } const rows[] = {
        {"<!DOCTYPE package [<!ENTITY a \"aaaa\">]><package/>",
         "t.pdsc 第1行 <!DOCTYPE>：不接受DTD"},
        {"<foo/>", "t.pdsc 第1行 <foo>：不是包描述文件（根元素应为package）"},
        {device("<memory name=\"M\" start=\"0\"/>"), "t.pdsc 第3行 <memory>：缺少属性size"},
        {device("<memory start=\"0\" size=\"4\"/>"), "t.pdsc 第3行 <memory>：缺少属性name"},
        {device("<memory name=\"M\" start=\"0\" size=\"12kB\"/>"),
         "t.pdsc 第3行 <memory>：属性size的值无效：12kB"},
        {device("<memory name=\"M\" start=\"0x100000000\" size=\"4\"/>"),
         "t.pdsc 第3行 <memory>：属性start的值无效：0x100000000"},
        {device("<memory name=\"M\" start=\"0xFFFFF000\" size=\"0x2000\"/>"),
         "t.pdsc 第3行 <memory>：M：范围超出32位地址空间或为空"},
        {device("<memory name=\"M\" start=\"0\" size=\"0\"/>"),
         "t.pdsc 第3行 <memory>：M：范围超出32位地址空间或为空"},
        {device("<memory name=\"M\" start=\"0\" size=\"4\" default=\"yes\"/>"),
         "t.pdsc 第3行 <memory>：属性default的值无效：yes"},
        {device("<memory name=\"L\" start=\"0x10000000\" size=\"4\" windowAt=\"0\" "
                "windowRegister=\"0x4000B010\" windowShow=\"0x100\"/>"),
         "t.pdsc 第3行 <memory>：L：windowAt、windowRegister、windowShow、windowHide须一并给出"},
        {device("<memory name=\"L\" start=\"0\" size=\"0x2000\" windowAt=\"0xFFFFF000\" "
                "windowRegister=\"0x4000B010\" windowShow=\"1\" windowHide=\"0\"/>"),
         "t.pdsc 第3行 <memory>：L：读取窗口无效"},
        {device("<memory name=\"L\" start=\"0\" size=\"4\" windowAt=\"0\" "
                "windowRegister=\"0x4000B012\" windowShow=\"1\" windowHide=\"0\"/>"),
         "t.pdsc 第3行 <memory>：L：读取窗口无效"},
        {device("<memory name=\"L\" start=\"0\" size=\"4\" windowAt=\"low\"/>"),
         "t.pdsc 第3行 <memory>：属性windowAt的值无效：low"},
        {device("<algorithm name=\"../x.FLM\" start=\"0\" size=\"4\"/>"),
         "t.pdsc 第3行 <algorithm>：路径不在包内：../x.FLM"},
        {device("<algorithm name=\"Flash\\..\\..\\x.FLM\" start=\"0\" size=\"4\"/>"),
         "t.pdsc 第3行 <algorithm>：路径不在包内：Flash\\..\\..\\x.FLM"},
        {device("<algorithm name=\"/etc/passwd\" start=\"0\" size=\"4\"/>"),
         "t.pdsc 第3行 <algorithm>：路径不在包内：/etc/passwd"},
        {device("<algorithm name=\"C:\\x.FLM\" start=\"0\" size=\"4\"/>"),
         "t.pdsc 第3行 <algorithm>：路径不在包内：C:\\x.FLM"},
        {device("<algorithm name=\"A.FLM\" start=\"0\" size=\"4\" RAMstart=\"0x20000000\"/>"),
         "t.pdsc 第3行 <algorithm>：A.FLM：RAMstart/RAMsize无效"},
        {device("<algorithm name=\"A.FLM\" start=\"0\" size=\"4\" RAMstart=\"0xFFFFFF00\" "
                "RAMsize=\"0x200\"/>"),
         "t.pdsc 第3行 <algorithm>：A.FLM：RAMstart/RAMsize无效"},
        {device("<processor Dcore=\"Cortex-M0\" Dclock=\"fast\"/>"),
         "t.pdsc 第3行 <processor>：属性Dclock的值无效：fast"},
        {"<package><devices><family Dfamily=\"F\"><device/></family></devices></package>",
         "t.pdsc 第1行 <device>：缺少属性Dname"},
    };
    // A device's bad element refuses that device; a bad description, the pack.
    for (const Row &row : rows) {
        PackContents out;
        QString error;
        if (parseDescription(row.xml, "t.pdsc", out, error)) {
            EXPECT_TRUE(out.devices.isEmpty()) << row.xml.constData();
            error = out.refused.size() == 1 ? out.refused[0].message : QString();
        }
        EXPECT_EQ(error, QString::fromUtf8(row.message)) << row.xml.constData();
    }
    // A file name is the user's: a %1 in it stays as written.
    for (const char *file : {"board%1.pdsc", "%2%1.pdsc"}) {
        PackContents out;
        QString error;
        ASSERT_TRUE(parseDescription(device("<memory name=\"M\" start=\"0\"/>"), file, out, error));
        ASSERT_EQ(out.refused.size(), 1);
        EXPECT_EQ(out.refused[0].message,
                  QString::fromUtf8(file) + " 第3行 <memory>：缺少属性size");
        EXPECT_FALSE(parseDescription("<package><devices><family", file, out, error));
        EXPECT_EQ(error.left(int(strlen(file)) + 5), QString::fromUtf8(file) + " 第1行：");
    }
    PackContents out;
    QString error;
    EXPECT_FALSE(parseDescription("<package><devices><family", "t.pdsc", out, error));
    EXPECT_TRUE(error.startsWith("t.pdsc 第1行：XML错误：")) << error.toStdString();
}

TEST(PdscReader, MemberPathsStayInsideThePack)
{
    const struct
    {
        const char *name, *safe;
    } rows[] = {{"Flash\\A.FLM", "Flash/A.FLM"},
                {"./Flash//A.FLM", "Flash/A.FLM"},
                {"Flash/../A.FLM", ""},
                {"..", ""},
                {"/A.FLM", ""},
                {"\\A.FLM", ""},
                {"C:A.FLM", ""},
                {"A\x01.FLM", ""},
                {"", ""}};
    for (const auto &row : rows)
        EXPECT_EQ(safeMemberPath(row.name), row.safe) << row.name;
}

TEST(TargetCatalog, ResolvesNamesCaseInsensitivelyAndListsTheNearest)
{
    PackContents a = parsed(kInheritance);
    PackContents b = parsed(kInheritance);
    b.packId = "T.Other.1.0.0";
    for (TargetDescription &d : b.devices) {
        d.packId = b.packId;
        if (d.device == "D3")
            d.device = "Q9";
    }
    TargetCatalog catalog;
    catalog.addContents(a);
    catalog.addContents(b);

    const struct
    {
        const char *name, *device, *message;
    } rows[] = {
        {"d3", "D3", ""},
        {"q9", "Q9", ""},
        {"d1", "", "设备名d1不唯一，可能是：D1 (T.Inherit.2.1.0), D1 (T.Other.1.0.0)"},
        {"D2", "", "未知设备：D2。最接近的：D2-A, D2-B, D2-A, D2-B, D1"},
        {"X1", "", "未知设备：X1。最接近的：D1, D1, D3, Q9, D2-A"},
    };
    for (const auto &row : rows) {
        const TargetCatalog::Resolution r = catalog.resolve(row.name);
        EXPECT_EQ(r.device ? r.device->device : QString(), row.device) << row.name;
        EXPECT_EQ(r.message, QString::fromUtf8(row.message)) << row.name;
    }
    EXPECT_EQ(TargetCatalog().resolve("QB48").message, "未知设备：QB48（没有可用的包）");
}

namespace {

// Two cores whose memories share ids, per-core algorithms of one file, debug ports, an alias, a
// style another tool runs, the elements kept for other layers, and one bad device among good ones.
const char kTwoCores[] = R"(<package><vendor>T</vendor><name>Dual</name>
<releases><release version="1.0.0"/></releases><devices>
 <family Dfamily="F" Dvendor="V">
  <processor Pname="app" Dcore="Cortex-M33" Dclock="64000000"/>
  <processor Pname="net" Dcore="Cortex-M33"/>
  <debug Pname="app" __ap="0"/>
  <debug Pname="net" __ap="1" __apid="2"/>
  <sequences><sequence name="ResetSystem"><block>__var x = 0;</block></sequence></sequences>
  <debugvars>__var X = 1;</debugvars>
  <accessportV2 __apid="2" address="0x2000"/>
  <device Dname="DUAL">
   <memory id="IROM1" Pname="net" start="0x01000000" size="0x40000" startup="1"/>
   <memory id="IROM1" Pname="app" start="0x00000000" size="0x100000" startup="1"/>
   <memory name="NS" Pname="app" start="0x10000000" size="0x100000" alias="IROM1"/>
   <memory id="IRAM1" start="0x20000000" size="0x10000"/>
   <algorithm name="F.FLM" Pname="app" start="0x0" size="0x100000" RAMstart="0x20000000" RAMsize="0x1000" default="1"/>
   <algorithm name="F.FLM" Pname="net" start="0x01000000" size="0x40000" RAMstart="0x21000000" RAMsize="0x1000" default="1"/>
   <algorithm name="O.FLM" style="IAR" start="0x00FF8000" size="0x1000"/>
   <flashinfo name="x"><block count="1"/></flashinfo>
  </device>
  <device Dname="BAD">
   <memory name="M" start="0" size="12kB"/>
  </device>
  <device Dname="GOOD"/>
 </family>
</devices></package>)";

} // namespace

TEST(PdscReader, KeepsCoresApartAndRefusesOnlyTheBadDevice)
{
    const PackContents p = parsed(kTwoCores);
    ASSERT_EQ(p.devices.size(), 2);
    ASSERT_EQ(p.refused.size(), 1);
    EXPECT_EQ(p.refused[0].device, "BAD");
    EXPECT_EQ(p.refused[0].message, "t.pdsc 第22行 <memory>：属性size的值无效：12kB");
    const TargetDescription &dual = p.devices[0];
    EXPECT_EQ(p.devices[1].device, "GOOD");
    EXPECT_EQ(dual.bootCore, "net"); // the first startup memory names it
    ASSERT_EQ(dual.processors.size(), 2);
    EXPECT_EQ(dual.processors[1].pname, "net");
    EXPECT_EQ(dual.processors[1].ap.value_or(99), 1u);
    EXPECT_EQ(dual.processors[1].apid.value_or(99), 2u);
    EXPECT_EQ(dual.processors[0].clock, 64000000u);
    EXPECT_EQ(dual.memories.size(), 4); // both IROM1
    EXPECT_EQ(dual.algorithms.size(), 3); // F.FLM once per core
    QStringList kept;
    for (const PackElement &e : dual.elements)
        kept << QStringLiteral("%1@%2").arg(e.element).arg(e.line);
    EXPECT_EQ(kept.join(' '), "accessportV2@10 flashinfo@19");

    const struct
    {
        const char *core, *error, *memories, *algorithms;
    } rows[] = {
        {"", "", "IROM1@1000000+40000:rxs IRAM1@20000000+10000:rwx",
         "F.FLM@1000000+40000 ram 21000000+1000 d O.FLM@ff8000+1000 ram -+-"},
        {"APP", "", "IROM1@0+100000:rxs NS@10000000+100000:rwx IRAM1@20000000+10000:rwx",
         "F.FLM@0+100000 ram 20000000+1000 d O.FLM@ff8000+1000 ram -+-"},
        {"dsp", "DUAL没有内核dsp（有：app, net）", "", ""},
    };
    for (const auto &row : rows) {
        TargetDescription d = dual;
        QString error;
        EXPECT_EQ(selectCore(d, row.core, error), !*row.error) << row.core;
        EXPECT_EQ(error, QString::fromUtf8(row.error));
        if (*row.error)
            continue;
        EXPECT_EQ(memories(d), row.memories) << row.core;
        EXPECT_EQ(algorithms(d), row.algorithms) << row.core;
    }
}
