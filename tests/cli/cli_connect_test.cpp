// Connecting to a chip whose firmware gets in the way, as a user runs it: the CLI as a process on
// the virtual board, its flash holding one of the project's firmware images.
#include "clifixture.h"

#include <QDir>

using namespace clitest;

#ifndef QUORVEL_FW_RESETMARKER // a build without the cross compiler skips these tests
#define QUORVEL_FW_RESETMARKER ""
#define QUORVEL_FW_SWDOFF ""
#define QUORVEL_QS64_PACK ""
#endif

namespace {

constexpr int kApromWindow = 0x20000, kLdromSize = 0x2000;

class CliConnect : public CliSwd
{
protected:
    // The board's flash as an earlier run left it: the image at 0, the rest erased.
    void flashWith(const char *imagePath)
    {
        QFile image(QString::fromUtf8(imagePath));
        ASSERT_TRUE(image.open(QIODevice::ReadOnly));
        QByteArray flash = image.readAll();
        ASSERT_LE(flash.size(), kApromWindow);
        firmware = flash;
        flash.append(QByteArray(kApromWindow + kLdromSize - flash.size(), char(0xFF)));
        write("flash", flash);
    }
    QByteArray firmware;
};

TEST_F(CliConnect, UnderResetTheFirmwareNeverWritesItsMarker)
{
    const struct
    {
        const char *mode;
        QByteArray ram;
    } rows[] = {
        {"normal", QByteArray("\x0D\xF0\x0D\x60", 4)},
        {"halt-on-reset", QByteArray("\x0D\xF0\x0D\x60", 4)},
        {"under-reset", QByteArray(4, 0)},
    };
    for (const auto &row : rows) {
        flashWith(QUORVEL_FW_RESETMARKER);
        const Outcome o = run({"read", "20000000", "4", "ram.bin", "--connect", row.mode});
        ASSERT_EQ(o.exit, 0) << row.mode << ": " << o.err.toStdString();
        QFile ram(path("ram.bin"));
        ASSERT_TRUE(ram.open(QIODevice::ReadOnly));
        EXPECT_EQ(ram.readAll().toHex().toStdString(), row.ram.toHex().toStdString()) << row.mode;
    }
}

// The firmware takes the SWD pins 10 ms after reset. Powered 50 ms before the probe came, the
// chip never answers; powered as the probe comes, it falls silent under the connect. Either way
// a normal connect names the way out, and that way programs it.
TEST_F(CliConnect, FirmwareThatTakesTheSwdPinsIsProgrammedUnderReset)
{
    const struct
    {
        const char *uptimeMs;
        int exit;
        const char *error;
    } rows[] = {
        {"50", 45,
         "quorvel-cli: SWD error 5: no SWD target answers (no valid ACK from the target after 0 of "
         "1 transfers); if its firmware turns the SWD pins off or sleeps, connect with --connect "
         "under-reset"},
        {"0", 48,
         "quorvel-cli: SWD error 8: at 0xE000EDF0: no valid ACK from the target after 0 of 4 "
         "transfers; if its firmware turns the SWD pins off or sleeps, connect with --connect "
         "under-reset"},
    };
    const QByteArray app = pattern(1000, 3);
    write("app.bin", app);
    for (const auto &row : rows) {
        env << QStringLiteral("QUORVEL_VPROBE_DAP_UPTIME_MS=%1").arg(row.uptimeMs);
        flashWith(QUORVEL_FW_SWDOFF);
        Outcome o = run({"program", "--via", "swd", "app.bin@0x4000", "--connect", "normal"});
        EXPECT_EQ(o.exit, row.exit) << row.uptimeMs;
        EXPECT_EQ(o.err.toStdString(), row.error);
        EXPECT_EQ(flash(0x4000, app.size()), QByteArray(app.size(), char(0xFF)));

        o = run({"program", "--via", "swd", "app.bin@0x4000", "--connect", "under-reset"});
        EXPECT_EQ(o.exit, 0) << row.uptimeMs << ": " << o.err.toStdString();
        EXPECT_EQ(flash(0x4000, app.size()), app);
        EXPECT_EQ(flash(0, firmware.size()), firmware);
        env.removeLast();
    }
}

// The board loses the ACK of the reset request's write, as parts may whose debug logic resets
// with the system; a board that ignores the request does not reset, and says so.
TEST_F(CliConnect, ALostResetAckPassesAndAResetThatDoesNotHappenFails)
{
    const struct
    {
        const char *wiring;
        int exit;
        const char *error;
    } rows[] = {
        {"ack-lost", 0, ""},
        {"ignored", 48,
         "quorvel-cli: SWD error 8: sequence ResetSystem, line 69: the chip did not reset: DHCSR "
         "S_RESET_ST stayed 0 (DHCSR 0x00030003)"},
    };
    const QByteArray app = pattern(600, 9);
    write("app.bin", app);
    for (const auto &row : rows) {
        env << QStringLiteral("QUORVEL_VPROBE_DAP_RESET=%1").arg(row.wiring);
        QFile::remove(path("flash"));
        const Outcome o = run({"program", "--via", "swd", "app.bin@0x1000"});
        EXPECT_EQ(o.exit, row.exit) << row.wiring;
        EXPECT_EQ(o.err.toStdString(), row.error);
        EXPECT_EQ(flash(0x1000, app.size()),
                  row.exit == 0 ? app : QByteArray(app.size(), char(0xFF)));
        env.removeLast();
    }
}

// A QS64 whose controller ignores the key until the vendor's debug unlock has run: a pack whose
// DebugDeviceUnlock does it programs the part; without the sequence the algorithm's Init fails.
TEST_F(CliConnect, AVendorLockedPartProgramsOnlyWithItsUnlockSequence)
{
    const char *unlock = "<sequences><sequence name=\"DebugDeviceUnlock\"><block>\n"
                         "  Write32(0x40010014, 0x0DE8A9C3);\n"
                         "  Write32(0x40010014, 0xF217563C);\n"
                         "</block><control if=\"Read32(0x40010014) != 0\">\n"
                         "  <block>Message(2, \"the part stayed locked\");</block>\n"
                         "</control></sequence></sequences>";
    const struct
    {
        const char *sequences;
        int exit;
        const char *error;
    } rows[] = {
        {unlock, 0, ""},
        {"", 52,
         "quorvel-cli: SWD error 12: QS64_Flash failed: Init(0x08000000, 0x00F42400, 0x00000003) "
         "returned 1"},
    };
    env << "QUORVEL_VPROBE_TARGET=qs64"
        << "QUORVEL_VPROBE_DAP_VENDOR_LOCK=1";
    write("fw.bin", pattern(0x300, 7));
    ASSERT_TRUE(QDir(dir.path()).mkpath("pack/Flash"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUORVEL_QS64_PACK "/Flash/QS64_Flash.FLM"),
                            path("pack/Flash/QS64_Flash.FLM")));
    for (const auto &row : rows) {
        const QString pdsc =
            QStringLiteral(
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<package schemaVersion=\"1.7.7\">"
                "<vendor>Quorvel</vendor><name>QS64_Locked</name><releases><release "
                "version=\"0.1.0\">Test pack</release></releases><devices>"
                "<family Dfamily=\"QS6x\" Dvendor=\"Quorvel\"><processor Dcore=\"Cortex-M0\" "
                "Dendian=\"Little-endian\" Dclock=\"16000000\"/>%1"
                "<memory name=\"FLASH\" access=\"rx\" start=\"0x08000000\" size=\"0x00010000\" "
                "default=\"1\" startup=\"1\"/><memory name=\"SRAM\" access=\"rwx\" "
                "start=\"0x20000000\" size=\"0x00002000\" default=\"1\"/>"
                "<algorithm name=\"Flash\\QS64_Flash.FLM\" start=\"0x08000000\" "
                "size=\"0x00010000\" "
                "RAMstart=\"0x20000000\" RAMsize=\"0x00001000\" default=\"1\"/>"
                "<device Dname=\"QS64\"/></family></devices></package>\n")
                .arg(QString::fromUtf8(row.sequences));
        write("pack/Quorvel.QS64_Locked.pdsc", pdsc.toUtf8());
        const Outcome o = run({"program", "--via", "swd", "--pack", path("pack"), "--target",
                               "QS64", "fw.bin@0x08000000", "--verify", "readback"});
        EXPECT_EQ(o.exit, row.exit) << o.err.toStdString();
        EXPECT_EQ(o.err.toStdString(), row.error);
    }
}

} // namespace
