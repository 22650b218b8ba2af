// The debug-sequence language against a recording host: values of expressions, the exact
// transactions of each function, control flow, time-outs, error control and the default resets.
#include "fakesequencehost.h"
#include "pack/pdscreader.h"

#include <gtest/gtest.h>

namespace {

using seqtest::FakeHost;

pack::DebugDescription described(const QString &sequences, const QString &debugvars = QString())
{
    pack::DebugDescription d;
    QString error;
    EXPECT_TRUE(pack::parseSequencesXml(("<sequences>" + sequences + "</sequences>").toUtf8(),
                                        d.sequences, error))
        << error.toStdString();
    if (!debugvars.isEmpty()) {
        pack::DebugVars v;
        EXPECT_TRUE(pack::parseStatements(debugvars, 1, v.statements, error))
            << error.toStdString();
        d.debugvars << v;
    }
    return d;
}

TEST(SequenceLanguage, ExpressionsHaveCPrecedenceOn64BitValues)
{
    const struct
    {
        const char *expr;
        uint64_t value;
    } rows[] = {
        {"1 + 2 * 3", 7},
        {"(1 + 2) * 3", 9},
        {"0x10 >> 2", 4},
        {"1 << 63", 0x8000000000000000ull},
        {"1 << 64", 0},
        {"~0", ~0ull},
        {"-1", ~0ull},
        {"!5", 0},
        {"!0", 1},
        {"5 && 0", 0},
        {"3 || 0", 1},
        {"7 & 3 | 8", 11},
        {"6 ^ 3", 5},
        {"10 % 4", 2},
        {"10 / 4", 2},
        {"2 < 3", 1},
        {"3 <= 2", 0},
        {"3 >= 3", 1},
        {"4 > 3 == 1", 1},
        {"1 ? 10 : 20", 10},
        {"0 ? 10 : 20", 20},
        {"0x0007FFFFFFFFFFFF + 1", 0x0008000000000000ull},
        {"100u", 100},
        {"0xA05F0000 | 1 /* comment */", 0xA05F0001},
        {"__protocol & 0xFFFF", 2},
        {"__connection", 2},
    };
    for (const auto &row : rows) {
        FakeHost host;
        const pack::DebugDescription d =
            described({}, QStringLiteral("__var r = %1;").arg(row.expr));
        SequenceRunner runner(host, d);
        ASSERT_TRUE(runner.loadDebugVars({})) << row.expr << runner.error().toStdString();
        EXPECT_EQ(runner.variable("r"), row.value) << row.expr;
    }
    FakeHost host;
    const pack::DebugDescription d =
        described({}, "__var a = 3; a += 4; a <<= 1; __var b = (a -= 4); a *= b; a %= 7;");
    SequenceRunner runner(host, d);
    ASSERT_TRUE(runner.loadDebugVars({})) << runner.error().toStdString();
    EXPECT_EQ(runner.variable("b"), 10u);
    EXPECT_EQ(runner.variable("a"), 100u % 7);
}

TEST(SequenceLanguage, BadTextAndBadValuesAreNamedWithTheirLine)
{
    const struct
    {
        const char *text;
        const char *error; // from parsing, or else from running
    } rows[] = {
        {"__var r = (1;", "line 1: expected ')' but found ';'"},
        {"__var r = 1 +;", "line 1: expected a value but found ';'"},
        {"__var r = 0x;", "line 1: invalid number 0x"},
        {"__var r = 1\n__var s = 2;", "line 2: expected ';' but found '__var'"},
        {"__var r = \"open;", "line 1: string not closed"},
        {"__var r = 1 @ 2;", "line 1: unexpected character '@'"},
        {"\n__var r = 1 / 0;", "sequence debugvars, line 2: division by zero"},
        {"__var r = x + 1;", "sequence debugvars, line 1: x is not declared"},
        {"__protocol = 1;", "sequence debugvars, line 1: __protocol cannot be assigned"},
        {"__var r = Read32(1, 2);", "sequence debugvars, line 1: Read32 takes 1 arguments, not 2"},
        {"__var r = Frobnicate(1);", "sequence debugvars, line 1: unknown function Frobnicate"},
        {"__var r = Read32(0x20000002);",
         "sequence debugvars, line 1: Read32(0x20000002): address not aligned"},
        {"DAP_SWJ_Sequence(65, 0);",
         "sequence debugvars, line 1: DAP_SWJ_Sequence: 65 bits, not 1 to 64"},
        {"Sequence(\"Missing\");", "sequence debugvars, line 0: no sequence named Missing"},
    };
    for (const auto &row : rows) {
        pack::DebugVars v;
        QString error;
        if (pack::parseStatements(row.text, 1, v.statements, error)) {
            pack::DebugDescription d;
            d.debugvars << v;
            FakeHost host;
            SequenceRunner runner(host, d);
            EXPECT_FALSE(runner.loadDebugVars({})) << row.text;
            error = runner.error();
        }
        EXPECT_EQ(error.toStdString(), row.error) << row.text;
    }
    QString deep(300, QLatin1Char('('));
    QVector<pack::Statement> out;
    QString error;
    EXPECT_FALSE(pack::parseStatements("__var r = " + deep + "1;", 1, out, error));
    EXPECT_EQ(error, "line 1: expression nested too deeply");
}

TEST(SequenceLanguage, EachFunctionMakesItsExactTransaction)
{
    const struct
    {
        const char *body;
        QStringList log;
    } rows[] = {
        {"Write32(0x20000000, 0x12345678);", {"W32 AP0 0x20000000 0x12345678"}},
        {"Write8(0x20000003, 0x1AB);", {"W8 AP0 0x20000003 0xAB"}},
        {"Write16(0x20000002, 0x12345);", {"W16 AP0 0x20000002 0x2345"}},
        {"Write64(0x20000008, 0x1122334455667788);", {"W64 AP0 0x20000008 0x1122334455667788"}},
        {"__ap = 2; Read16(0x40000000);", {"R16 AP2 0x40000000"}},
        {"Read8(0x40000001); Read64(0x40000008);", {"R8 AP0 0x40000001", "R64 AP0 0x40000008"}},
        {"ReadDP(0x4);", {"RDP 0x4"}},
        {"WriteDP(0x8, 0x01000000);", {"WDP 0x8 0x1000000"}},
        {"__ap = 1; WriteAP(0x04, 0x20000000); ReadAP(0xFC);",
         {"WAP1 0x4 0x20000000", "RAP1 0xFC"}},
        {"DAP_WriteABORT(0x1E);", {"WDP 0x0 0x1E"}},
        {"DAP_Delay(500);", {"DELAY 500"}},
        {"DAP_SWJ_Pins(0x00, 0x80, 0);", {"PINS 0x0 0x80 0"}},
        {"DAP_SWJ_Clock(4000000);", {"CLOCK 4000000"}},
        {"DAP_SWJ_Sequence(51, 0x0007FFFFFFFFFFFF);", {"SEQ 51 0x7FFFFFFFFFFFF"}},
        {"Write32(0x20000000, Read32(0x20000004) | 1);",
         {"R32 AP0 0x20000004", "W32 AP0 0x20000000 0x1"}},
        {"0 && Read32(0x20000000); 1 || Read32(0x20000000);", {}},
        {"Sequence(\"Helper\"); Write32(0x20000010, __Result);",
         {"W32 AP0 0x20000020 0x5", "W32 AP0 0x20000010 0x0"}},
    };
    for (const auto &row : rows) {
        FakeHost host;
        const pack::DebugDescription d = described(
            QStringLiteral("<sequence name=\"Test\"><block>%1</block></sequence>"
                           "<sequence name=\"Helper\"><block>__var x = 5; Write32(0x20000020, x);"
                           "</block></sequence>")
                .arg(QString(row.body).toHtmlEscaped()));
        SequenceRunner runner(host, d);
        EXPECT_TRUE(runner.run("Test")) << row.body << runner.error().toStdString();
        EXPECT_EQ(host.log, row.log) << row.body;
    }
}

TEST(SequenceLanguage, ControlsLoopTimeOutAndErrorControlGoesOn)
{
    const struct
    {
        const char *body;
        bool ok;
        const char *error;
        int logLines;
    } rows[] = {
        {"<block>__var n = 0;</block><control while=\"n &lt; 5\"><block>n += 1; "
         "Write32(0x20000000, n);</block></control>",
         true, "", 5},
        {"<control if=\"0\"><block>ReadDP(0);</block></control>", true, "", 0},
        {"<control if=\"1\" while=\"0\"><block>ReadDP(0);</block></control>", true, "", 0},
        {"<control while=\"1\" timeout=\"1000\">\n<block>ReadDP(0x4);</block></control>", false,
         "sequence Test, line 1: the while condition still holds after 1000 us", 2},
        {"<control while=\"ReadDP(0x4) != 0\"/>", false,
         "sequence Test, line 1: the while condition still holds after 10000000 us (no "
         "time-out given)",
         10001},
        {"<block>Read32(0x40000000); Write32(0x20000000, 1);</block>", false,
         "sequence Test, line 1: Read32(0x40000000) failed: FAULT", 1},
        {"<block>__errorcontrol = 1; __var v = Read32(0x40000000); Write32(0x20000000, "
         "__Result + v);</block>",
         true, "", 3},
        {"<block>Message(2, \"bad %d at 0x%08X\", 7, 0x1F);</block>", false,
         "sequence Test, line 1: bad 7 at 0x0000001F", 0},
        {"<block>Sequence(\"Test\");</block>", false,
         "sequence Test, line 0: Sequence(\"Test\") nested deeper than 16 calls", 0},
    };
    for (const auto &row : rows) {
        FakeHost host;
        host.faultAt = 0x40000000;
        const pack::DebugDescription d =
            described(QStringLiteral("<sequence name=\"Test\">%1</sequence>").arg(row.body));
        SequenceRunner runner(host, d);
        EXPECT_EQ(runner.run("Test"), row.ok) << row.body;
        EXPECT_EQ(runner.error().toStdString(), row.error) << row.body;
        EXPECT_EQ(host.log.size(), row.logLines) << row.body;
    }
    FakeHost host;
    host.faultAt = 0x40000000;
    const pack::DebugDescription d =
        described("<sequence name=\"Test\"><block>__errorcontrol = 1; __var v = Read32(0x40000000);"
                  "Write32(0x20000000, __Result + v);</block></sequence>");
    SequenceRunner runner(host, d);
    ASSERT_TRUE(runner.run("Test"));
    EXPECT_EQ(host.log, QStringList({"R32 AP0 0x40000000", "RECOVER", "W32 AP0 0x20000000 0x1"}));
}

TEST(SequenceLanguage, QueriesTakeTheirDefaultAndSayWhy)
{
    FakeHost host;
    const pack::DebugDescription d =
        described("<sequence name=\"Test\"><block>__var a = Query(0, \"Erase all?\", 3);\n"
                  "__var b = QueryValue(\"Key\", 0x55); Write32(0x20000000, a + b);\n"
                  "Message(1, \"key %x\", b); LoadDebugInfo(\"app.axf\");</block></sequence>");
    SequenceRunner runner(host, d);
    ASSERT_TRUE(runner.run("Test")) << runner.error().toStdString();
    EXPECT_EQ(host.log, QStringList({"W32 AP0 0x20000000 0x58"}));
    EXPECT_EQ(runner.notes(),
              QStringList({"Test line 1: \"Erase all?\": no one to ask in this run, taking the "
                           "default 0x00000003",
                           "Test line 2: \"Key\": no one to ask in this run, taking the default "
                           "0x00000055",
                           "warning: key 55",
                           "Test line 3: LoadDebugInfo(\"app.axf\") ignored: programming uses "
                           "no debug information"}));
}

TEST(SequenceLanguage, DefaultResetsTolerateALostAckButNotAMissingReset)
{
    const struct
    {
        const char *sequence;
        const char *core;
        bool losesAck, resets;
        const char *error;
    } rows[] = {
        {"ResetSystem", "Cortex-M4", true, true, ""},
        {"ResetSystem", "Cortex-M4", false, true, ""},
        {"ResetSystem", "Cortex-M4", false, false,
         "sequence ResetSystem, line 69: the chip did not reset: DHCSR S_RESET_ST stayed 0 "
         "(DHCSR 0x00000000)"},
        {"ResetProcessor", "Cortex-M4", true, true, ""},
        {"ResetProcessor", "Cortex-M0+", false, true,
         "sequence ResetProcessor, line 72: Cortex-M0+ has no core reset (VECTRESET); use "
         "--reset-type system or hardware"},
    };
    for (const auto &row : rows) {
        FakeHost host;
        host.aircrLosesAck = row.losesAck;
        host.resets = row.resets;
        host.dhcsrAfterReset = 0x02030003;
        const pack::DebugDescription none;
        SequenceRunner runner(host, none, row.core);
        EXPECT_EQ(runner.run(row.sequence), !*row.error) << row.sequence;
        EXPECT_EQ(runner.error().toStdString(), row.error) << row.sequence;
        if (row.resets && !*row.error) {
            const QString aircr =
                QStringLiteral("W32 AP0 0xE000ED0C %1")
                    .arg(QString(row.sequence) == "ResetSystem" ? "0x5FA0004" : "0x5FA0001");
            EXPECT_EQ(host.log.mid(0, 2), QStringList({"R32 AP0 0xE000EDF0", aircr}));
            EXPECT_EQ(host.log.contains("RECOVER"), row.losesAck);
            EXPECT_EQ(host.log.back(), "R32 AP0 0xE000EDF0");
        }
    }
}

} // namespace
