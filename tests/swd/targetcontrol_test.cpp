// Sequences and connect modes on the virtual board: the wire-level host, recovery after a
// refused access, the default resets' S_RESET_ST check, and the connect modes' halted core.
#include "hiddebugport.h"
#include "swd/debug/targetcontrol.h"
#include "virtualprobe.h"

#include <QFile>

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

namespace {

using vprobe::CmsisDapProbe;

class TargetControlTest : public HidDebugPortTest
{
protected:
    pack::TargetDescription withSequence(const QString &body)
    {
        pack::TargetDescription t;
        t.processor.core = QStringLiteral("Cortex-M0");
        QString error;
        EXPECT_TRUE(pack::parseSequencesXml(
            ("<sequences><sequence name=\"T\"><block>" + body + "</block></sequence></sequences>")
                .toUtf8(),
            t.debug.sequences, error))
            << error.toStdString();
        return t;
    }
};

TEST_F(TargetControlTest, SequencesReachMemoryAndPortsAndLeaveTheDebugPortUsable)
{
    const struct
    {
        const char *body;
        bool ok;
        QMap<QString, uint64_t> values;
        const char *error;
    } rows[] = {
        {"Write32(0x20000000, 0x11223344); v = Read32(0x20000000);"
         "Write64(0x20000008, 0x0102030405060708); w = Read64(0x20000008);"
         "idr = ReadAP(0xFC); id = ReadDP(0x0); c = Read8(0x20000001); h = Read16(0x20000002);",
         true,
         {{"v", 0x11223344},
          {"w", 0x0102030405060708},
          {"idr", 0x04770021},
          {"id", 0x0BB11477},
          {"c", 0x33},
          {"h", 0x1122}},
         ""},
        // Nothing answers at 0x30000000: the access is refused with FAULT.
        {"__errorcontrol = 1; b = Read8(0x30000000); r = __Result;"
         "__errorcontrol = 0; after = Read32(0x20000000);",
         true,
         {{"b", 0}, {"r", 1}, {"after", 0x11223344}},
         ""},
        {"Read8(0x30000000);",
         false,
         {},
         "sequence T, line 1: Read8(0x30000000) failed: target answered FAULT after 3 of 5 "
         "transfers"},
    };
    ASSERT_TRUE(link->open() && port->connect(1000000));
    for (const auto &row : rows) {
        ASSERT_TRUE(port->write32(0x20000000, 0x11223344));
        pack::TargetDescription t = withSequence(QString(row.body).toHtmlEscaped());
        // The results land in debugvars, which outlive the sequence's own variables.
        pack::DebugVars vars;
        QString declarations, error;
        for (const QString &name : row.values.keys())
            declarations += QStringLiteral("__var %1 = 0x5A5A;").arg(name);
        ASSERT_TRUE(pack::parseStatements(declarations, 1, vars.statements, error));
        t.debug.debugvars << vars;
        PortSequenceHost host(*port);
        SequenceRunner runner(host, t.debug, t.processor.core);
        ASSERT_TRUE(runner.loadDebugVars({}));
        EXPECT_EQ(runner.run("T"), row.ok) << row.body;
        if (!row.ok) {
            EXPECT_EQ(runner.error().toStdString(), row.error);
            host.recover();
        }
        for (auto it = row.values.begin(); it != row.values.end(); ++it)
            EXPECT_EQ(runner.variable(it.key()), it.value()) << it.key().toStdString();
        // SELECT, TAR and CSW are where the debug port's own accesses need them again.
        uint32_t word = 0;
        ASSERT_TRUE(port->read32(0x20000000, word)) << link->error().message.toStdString();
        EXPECT_EQ(word, 0x11223344u);
    }
}

// An atomic block goes out as one DAP_Transfer: the target's refusal ends all of it, even where
// __errorcontrol lets a plain block skip the refused access and go on.
TEST_F(TargetControlTest, AnAtomicBlockIsOneTransferThatARefusalEnds)
{
    const QString accesses =
        "Write32(0x20000000, 0x1); Write32(0x30000000, 0x2); Write32(0x20000004, 0x3);";
    const struct
    {
        const char *atomic;
        QString body;
        int errorControl;
        bool ok;
        uint32_t word0, word4, result;
        const char *error;
    } rows[] = {
        {"1", accesses, 1, true, 0x1, 0x5A5A5A5A, 1, ""},
        {"0", accesses, 1, true, 0x1, 0x3, 0, ""},
        {"1", accesses, 0, false, 0x1, 0x5A5A5A5A, 0x5A5A,
         "sequence T, line 1: atomic block failed: target answered FAULT after 5 of 9 transfers"},
        {"1", "DAP_SWJ_Sequence(8, 0); ReadDP(0x0); Write32(0x20000004, 0x7);", 0, true, 0x5A5A5A5A,
         0x7, 0, ""},
        {"1", "v = Read32(0x20000000);", 0, false, 0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A,
         "sequence T, line 1: an atomic block cannot use the values it reads"},
        {"1", "Write32(Read32(0x20000000), 1);", 0, false, 0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A,
         "sequence T, line 1: an atomic block cannot use the values it reads"},
        {"1", "Write32(0x20000000, 1); DAP_Delay(10);", 0, false, 0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A,
         "sequence T, line 1: DAP_Delay cannot be part of an atomic block"},
        {"1", "__errorcontrol = 0;", 0, false, 0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A,
         "sequence T, line 1: an atomic block holds DAP accesses only"},
    };
    ASSERT_TRUE(link->open() && port->connect(1000000));
    for (const auto &row : rows) {
        SCOPED_TRACE(row.body.toStdString());
        ASSERT_TRUE(port->write32(0x20000000, 0x5A5A5A5A) && port->write32(0x20000004, 0x5A5A5A5A));
        pack::TargetDescription t;
        t.processor.core = QStringLiteral("Cortex-M0");
        QString error;
        ASSERT_TRUE(pack::parseSequencesXml(
            QStringLiteral("<sequences><sequence name=\"T\"><block>__errorcontrol = %1;</block>"
                           "<block atomic=\"%2\">%3</block><block>r = __Result;</block>"
                           "</sequence></sequences>")
                .arg(QString::number(row.errorControl), row.atomic, row.body)
                .toUtf8(),
            t.debug.sequences, error))
            << error.toStdString();
        pack::DebugVars vars;
        ASSERT_TRUE(pack::parseStatements("__var r = 0x5A5A;", 1, vars.statements, error));
        t.debug.debugvars << vars;
        PortSequenceHost host(*port);
        SequenceRunner runner(host, t.debug, t.processor.core);
        ASSERT_TRUE(runner.loadDebugVars({}));
        EXPECT_EQ(runner.run("T"), row.ok);
        EXPECT_EQ(runner.error().toStdString(), row.error);
        if (!row.ok)
            host.recover();
        EXPECT_EQ(runner.variable("r"), row.result);
        uint32_t word0 = 0, word4 = 0;
        ASSERT_TRUE(port->read32(0x20000000, word0) && port->read32(0x20000004, word4))
            << link->error().message.toStdString();
        EXPECT_EQ(word0, row.word0);
        EXPECT_EQ(word4, row.word4);
    }
}

TEST_F(TargetControlTest, DefaultResetSeesTheResetAndConnectModesHaltTheCore)
{
    const struct
    {
        SwdConnectMode mode;
        bool ok;
        const char *error;
    } rows[] = {
        {SwdConnectMode::Normal, true, ""},
        {SwdConnectMode::HaltOnReset, true, ""},
    };
    for (const auto &row : rows) {
        CmsisDapProbe::instance().reset();
        link = std::make_unique<DapPipe>(*hid);
        port = std::make_unique<DebugPort>(*link);
        pack::TargetDescription t;
        SwdConnectOptions options;
        options.mode = row.mode;
        TargetControl control(*port, t, options);
        ASSERT_TRUE(link->open());
        EXPECT_EQ(control.connect(1000000), row.ok) << link->error().message.toStdString();
        bool halted = false;
        ASSERT_TRUE(port->halted(halted));
        EXPECT_TRUE(halted);
        // Caught at the reset vector: the vector catch is off again and the core has not moved.
        ASSERT_TRUE(control.resetAndHalt()) << link->error().message.toStdString();
        uint32_t pc = 1, demcr = 1;
        uint32_t vector = 0;
        ASSERT_TRUE(port->readCoreRegister(DebugPort::PC, pc) && port->read32(0xE000EDFC, demcr)
                    && port->read32(4, vector));
        EXPECT_EQ(pc, vector & ~1u);
        EXPECT_EQ(demcr & 1, 0u);
        EXPECT_TRUE(control.resetAndRun()) << link->error().message.toStdString();
    }
}

// The marker firmware in the board's flash: it writes 0x600DF00D to 0x20000000 first thing.
TEST_F(TargetControlTest, UnderResetTheFirmwareNeverRunsAnInstruction)
{
    QFile image(QStringLiteral(QUORVEL_FW_RESETMARKER));
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    const QByteArray bin = image.readAll();
    ASSERT_GE(bin.size(), 8);
    const uint32_t vector = uint32_t(uint8_t(bin[4])) | uint32_t(uint8_t(bin[5])) << 8
        | uint32_t(uint8_t(bin[6])) << 16 | uint32_t(uint8_t(bin[7])) << 24;
    const struct
    {
        SwdConnectMode mode;
        uint32_t marker;
        bool atVector;
    } rows[] = {
        {SwdConnectMode::Normal, 0x600DF00D, false},
        {SwdConnectMode::UnderReset, 0, true},
    };
    for (const auto &row : rows) {
        CmsisDapProbe::instance().reset();
        CmsisDapProbe::instance().device().target().setFlash(
            TargetModel::Bank::Aprom, std::vector<uint8_t>(bin.begin(), bin.end()));
        link = std::make_unique<DapPipe>(*hid);
        port = std::make_unique<DebugPort>(*link);
        pack::TargetDescription t;
        SwdConnectOptions options;
        options.mode = row.mode;
        TargetControl control(*port, t, options);
        ASSERT_TRUE(link->open());
        ASSERT_TRUE(control.connect(1000000)) << link->error().message.toStdString();
        uint32_t pc = 0, marker = 1, dhcsr = 0;
        ASSERT_TRUE(port->readCoreRegister(DebugPort::PC, pc) && port->read32(0x20000000, marker)
                    && port->read32(0xE000EDF0, dhcsr));
        EXPECT_EQ(marker, row.marker) << int(row.mode);
        EXPECT_EQ(pc == (vector & ~1u), row.atVector) << std::hex << pc;
        EXPECT_EQ(dhcsr & (1u << 17), 1u << 17);
    }
}

} // namespace

// A multi-core device's sequences are chosen by the core being programmed: its own wins over the
// one written for every core, and another core's is never run.
TEST_F(TargetControlTest, TheChosenCoresSequenceRuns)
{
    const struct
    {
        const char *pname;
        uint32_t marker;
    } rows[] = {{"CoreA", 0xA}, {"CoreB", 0xB}, {"", 0xC}, {"CoreX", 0xC}};
    ASSERT_TRUE(link->open() && port->connect(1000000));
    for (const auto &row : rows) {
        SCOPED_TRACE(row.pname);
        pack::TargetDescription t;
        t.processor.core = QStringLiteral("Cortex-M0");
        t.processor.pname = QString::fromLatin1(row.pname);
        QString error;
        ASSERT_TRUE(pack::parseSequencesXml(
            "<sequences>"
            "<sequence name=\"FlashEraseDone\" Pname=\"CoreA\"><block>Write32(0x20000000, 0xA);"
            "</block></sequence>"
            "<sequence name=\"FlashEraseDone\"><block>Write32(0x20000000, 0xC);</block></sequence>"
            "<sequence name=\"FlashEraseDone\" Pname=\"CoreB\"><block>Write32(0x20000000, 0xB);"
            "</block></sequence>"
            "</sequences>",
            t.debug.sequences, error))
            << error.toStdString();
        ASSERT_TRUE(port->write32(0x20000000, 0));
        TargetControl control(*port, t, SwdConnectOptions());
        ASSERT_TRUE(control.flashEraseDone()) << link->error().message.toStdString();
        uint32_t word = 0;
        ASSERT_TRUE(port->read32(0x20000000, word));
        EXPECT_EQ(word, row.marker);
    }
}
