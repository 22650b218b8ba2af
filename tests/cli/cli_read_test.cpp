// read and the job file's SWD choices, as a user runs them: the CLI as a process on the virtual
// CMSIS-DAP probe, whose target keeps its flash between processes.
#include "clifixture.h"

#include "images/hexfilereader.h"

#include <QFileInfo>

using namespace clitest;

namespace {

QByteArray hexFileBytes(const QString &file)
{
    HexFileReader reader;
    if (reader.readFile(file) != 0)
        return QByteArray("unreadable");
    return QByteArray(reinterpret_cast<const char *>(reader.image()), reader.length);
}

QString crcText(const QByteArray &bytes)
{
    return QString::asprintf(
        "0x%08X",
        calcCrc32(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(bytes.size())));
}

TEST_F(CliSwd, ReadOfWhatWasProgrammedEqualsTheImageAsBinAndHex)
{
    const QByteArray app = pattern(5000, 3), boot = pattern(700, 5);
    write("app.bin", app);
    write("boot.bin", boot);
    Outcome o = run({"program", "--via", "swd", "app.bin@0x100", "boot.bin@0x10000000"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();

    o = run({"read", "0x100", "1388", "out.bin"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(o.out, "Read 5000 bytes from 0x00000100 into out.bin (CRC-32 " + crcText(app) + ")");
    QFile bin(path("out.bin"));
    ASSERT_TRUE(bin.open(QIODevice::ReadOnly));
    EXPECT_EQ(bin.readAll(), app);

    // The LDROM comes through the chip's read window.
    o = run({"read", "10000000", "2BC", "boot.hex", "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(hexFileBytes(path("boot.hex")), boot);
    QFile hex(path("boot.hex"));
    ASSERT_TRUE(hex.open(QIODevice::ReadOnly));
    EXPECT_TRUE(hex.readAll().startsWith(":020000041000EA\n:10000000"));
    const QJsonObject json = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(json["command"].toString(), "read");
    EXPECT_EQ(json["address"].toString(), "0x10000000");
    EXPECT_EQ(json["length"].toInt(), 700);
    EXPECT_EQ(json["file"].toString(), path("boot.hex"));
    EXPECT_EQ(json["crc32"].toString(), crcText(boot));
    EXPECT_EQ(json["probe"].toObject()["transport"].toString(), "hid");

    // RAM is read where it is, not through the flash window.
    o = run({"read", "20000000", "40", "ram.bin"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(QFileInfo(path("ram.bin")).size(), 0x40);

    // Unaligned at both ends: the words around it read, only the asked bytes kept.
    o = run({"read", "101", "3", "odd.bin"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    QFile odd(path("odd.bin"));
    ASSERT_TRUE(odd.open(QIODevice::ReadOnly));
    EXPECT_EQ(odd.readAll(), app.mid(1, 3));
}

TEST_F(CliSwd, ReadRefusesARangeOrFileItCannotUseBeforeTheProbeIsOpened)
{
    const struct
    {
        QStringList args;
        QString err;
    } rows[] = {
        {{"read", "0", "10"}, "an address, a length (hex) and a file are required"},
        {{"read", "0", "1O", "o.bin"}, "an address, a length (hex) and a file are required"},
        {{"read", "0", "10", "o.txt"}, "the read-out file must be .bin or .hex: o.txt"},
        {{"read", "0", "0", "o.bin"}, "the read length is 0"},
        {{"read", "0", "5000000", "o.bin"}, "at most 67108864 bytes can be read at once"},
        {{"read", "1DFF0", "20", "o.bin"},
         "0x0001DFF0 to 0x0001E00F is not inside one memory of QB48"},
        {{"read", "FFFFFFF0", "20", "o.bin"},
         "0xFFFFFFF0 to 0x0000000F is not inside one memory of QB48"},
        {{"read", "0", "10", "o.bin", "--via", "vendor"}, "read works over SWD only"},
        {{"read", "0", "10", "o.bin", "--swd-clock", "5"},
         "invalid SWD clock (1000 to 50000000 Hz): 5"},
    };
    for (const auto &row : rows) {
        const Outcome o = run(row.args);
        EXPECT_EQ(o.exit, 64) << row.args.join(' ').toStdString();
        EXPECT_EQ(o.err, "quorvel-cli: " + row.err) << row.args.join(' ').toStdString();
        EXPECT_FALSE(probeOpened()) << row.args.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(path("o.bin")));
    }
}

TEST_F(CliSwd, AReadTheTargetRefusesIsNamedAndLeavesNoFile)
{
    env << "QUORVEL_VPROBE_DAP_FAULT_AT=0x200";
    const Outcome o = run({"read", "0", "400", "o.bin"});
    EXPECT_EQ(o.exit, 22);
    EXPECT_EQ(o.err.toStdString(),
              "quorvel-cli: the chip refused reading 1024 bytes from 0x00000000 "
              "(read-protected?): at 0x00000200: target answered FAULT after 8 of 15 transfers");
    EXPECT_FALSE(QFile::exists(path("o.bin")));
}

// A job saved from an SWD run names its path and choices, and runs the same way with nothing
// but --job: the dedicated probe is not asked.
TEST_F(CliSwd, AJobSavedOverSwdRunsOverSwdWithItsChoices)
{
    env << "QUORVEL_VPROBE_USB=hs-bulk";
    const QByteArray app = pattern(3000, 11);
    write("app.bin", app);
    Outcome o = run({"program", "--via", "swd", "app.bin@0", "--transport", "hid", "--verify",
                     "readback", "--swd-clock", "1000000", "--save-job", "j.json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    QFile saved(path("j.json"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QJsonObject job = QJsonDocument::fromJson(saved.readAll()).object();
    EXPECT_EQ(job["version"].toInt(), 2);
    EXPECT_EQ(job["via"].toString(), "swd");
    EXPECT_EQ(job["transport"].toString(), "hid");
    EXPECT_EQ(job["verifyMode"].toString(), "readback");
    EXPECT_EQ(job["swdClock"].toInt(), 1000000);
    EXPECT_EQ(job["erase"].toString(), "auto");

    ASSERT_EQ(run({"erase"}).exit, 0);
    EXPECT_EQ(flash(0, 16), QByteArray(16, char(0xFF)));
    o = run({"program", "--job", "j.json", "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(flash(0, app.size()), app);
    QJsonObject json = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(json["probe"].toObject()["transport"].toString(), "hid");
    // The command line still overrides the job.
    o = run({"verify", "--job", "j.json", "--transport", "bulk", "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    json = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(json["probe"].toObject()["transport"].toString(), "bulk");
}

// --debugvar is one of the SWD choices a saved job keeps: the job brings it back, and the
// shipped pack, which declares none, refuses it by name on that run too.
TEST_F(CliSwd, ASavedJobKeepsItsDebugvars)
{
    write("app.bin", pattern(64, 3));
    Outcome o = run({"program", "--via", "swd", "--target", "QB48", "app.bin@0", "--debugvar",
                     "Key=0x1234", "--debugvar", "Mode=7", "--save-job", "j.json"});
    const std::string refused =
        "quorvel-cli: SWD error 13: debugvar Key is not declared by the device's pack";
    EXPECT_EQ(o.err.toStdString(), refused);
    QFile saved(path("j.json"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(saved.readAll())["target"].toObject()["debugvars"].toObject(),
              QJsonObject({{"Key", "0x1234"}, {"Mode", "0x7"}}));
    const int exit = o.exit;
    o = run({"program", "--job", "j.json"});
    EXPECT_EQ(o.exit, exit);
    EXPECT_EQ(o.err.toStdString(), refused);
}

// The ledger is part of the job: a job saved with --serial-ledger takes the next serial from
// the record when run with nothing but --job.
TEST_F(CliSwd, ASavedJobKeepsItsSerialLedger)
{
    write("app.bin", pattern(64, 5));
    Outcome o =
        run({"program", "--via", "swd", "app.bin@0", "--rolling", "0x1C000:100:1",
             "--serial-ledger", "--record", path("r.sqlite"), "--save-job", "j.json", "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(o.out.toUtf8())["serial"].toString(), "0x00000100");
    QFile saved(path("j.json"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QJsonDocument::fromJson(saved.readAll())["serialLedger"].toBool());
    o = run({"program", "--job", "j.json", "--record", path("r.sqlite"), "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(o.out.toUtf8())["serial"].toString(), "0x00000101");
}

} // namespace
