// Debug sequences and debugvars as a pack describes them: inherited down to the device,
// replaced, disabled, overridden from the command line, and refused with their line.
#include "fakesequencehost.h"
#include "pack/pdscreader.h"

#include <gtest/gtest.h>

namespace {

using seqtest::FakeHost;

TEST(SequenceLanguage, PackSequencesInheritOverrideAndDisable)
{
    const QByteArray pdsc = R"(<package><vendor>Q</vendor><name>T</name><devices>
<family Dfamily="F" Dvendor="Q:1"><processor Dcore="Cortex-M4"/>
 <debugvars configfile="d.dbgconf">__var Key = 0x1234; __var Mode = 1;</debugvars>
 <sequences>
  <sequence name="DebugDeviceUnlock"><block>Write32(0x40000000, Key);</block></sequence>
  <sequence name="ResetCatchSet" disable="1"/>
 </sequences>
 <device Dname="D1"><memory name="IROM1" start="0" size="0x1000" access="rx"/>
  <sequences><sequence name="DebugDeviceUnlock"><block>Write32(0x40000004, Mode);</block></sequence></sequences>
 </device>
 <device Dname="D2"><memory name="IROM1" start="0" size="0x1000" access="rx"/></device>
</family></devices></package>)";
    pack::PackContents contents;
    QString error;
    ASSERT_TRUE(pack::parseDescription(pdsc, "t.pdsc", contents, error)) << error.toStdString();
    ASSERT_EQ(contents.devices.size(), 2);
    const struct
    {
        int device;
        QMap<QString, uint64_t> overrides;
        QStringList log;
    } rows[] = {
        {0, {}, {"W32 AP0 0x40000004 0x1"}},
        {1, {}, {"W32 AP0 0x40000000 0x1234"}},
        {1, {{"Key", 0xBEEF}}, {"W32 AP0 0x40000000 0xBEEF"}},
    };
    for (const auto &row : rows) {
        FakeHost host;
        SequenceRunner runner(host, contents.devices[row.device].debug, "Cortex-M4");
        ASSERT_TRUE(runner.loadDebugVars(row.overrides)) << runner.error().toStdString();
        ASSERT_TRUE(runner.run("DebugDeviceUnlock") && runner.run("ResetCatchSet"));
        EXPECT_EQ(host.log, row.log);
        EXPECT_TRUE(runner.definedByPack("ResetCatchSet"));
        EXPECT_FALSE(runner.definedByPack("ResetSystem"));
    }
    FakeHost host;
    SequenceRunner runner(host, contents.devices[0].debug);
    EXPECT_FALSE(runner.loadDebugVars({{"Keys", 1}}));
    EXPECT_EQ(runner.error(), "debugvar Keys is not declared by the device's pack");

    const QByteArray broken = R"(<package><devices><family Dfamily="F" Dvendor="Q:1">
<sequences><sequence name="X">
<block>Write32(0x40000000 1);</block></sequence></sequences>
<device Dname="D1"><processor Dcore="Cortex-M4"/></device></family></devices></package>)";
    // A broken sequence refuses the devices that inherit it, not the whole pack.
    pack::PackContents partly;
    ASSERT_TRUE(pack::parseDescription(broken, "t.pdsc", partly, error)) << error.toStdString();
    EXPECT_TRUE(partly.devices.isEmpty());
    ASSERT_EQ(partly.refused.size(), 1);
    EXPECT_EQ(partly.refused[0].device, "D1");
    EXPECT_EQ(partly.refused[0].message,
              "t.pdsc 第3行 <sequences>：line 3: expected ',' or ')' in the call of Write32");
}

} // namespace
