// quorvel-cli as a user runs it: a process on the preloaded virtual probe, judged by its exit
// status, its output, the flash it left behind and the reports the probe saw.
#include "clifixture.h"

using namespace clitest;

namespace {

TEST_F(Cli, ProgramsFilesByteExactlyAndReportsJson)
{
    const QByteArray app = pattern(3000, 1), data = pattern(1024, 9);
    write("app.hex", QByteArray::fromStdString(hexOf(0x100, app) + hextest::endOfFile));
    write("data.bin", data);
    const Outcome o = run({"program", "app.hex", "data.bin@0x4000", "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(flash(0x100, app.size()), app);
    EXPECT_EQ(flash(0x4000, data.size()), data);
    EXPECT_EQ(flash(0x100 + app.size(), 16), QByteArray(16, char(0xFF)));

    const QJsonObject json = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(json["command"].toString(), "program");
    EXPECT_EQ(json["result"].toInt(), 0);
    EXPECT_EQ(json["message"].toString(), "Programmed successfully!");
    EXPECT_EQ(json["probe"].toObject()["serial"].toString(), "QVP00000001");
    const QJsonArray files = json["files"].toArray();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[0].toObject()["address"].toString(), "0x100");
    EXPECT_EQ(files[0].toObject()["length"].toInt(), 3000);
    EXPECT_EQ(files[1].toObject()["address"].toString(), "0x4000");
    EXPECT_EQ(files[1].toObject()["crc32"].toString(), "0xDADB16CA");
}

TEST_F(Cli, MergedHexBecomesOneImagePerRegion)
{
    const QByteArray boot = pattern(512, 3), app = pattern(256, 5);
    write("merged.hex",
          QByteArray::fromStdString(hexOf(0x10000000, boot) + hexOf(0x800, app)
                                    + hextest::endOfFile));
    const Outcome o = run({"program", "merged.hex", "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    const QJsonArray files = QJsonDocument::fromJson(o.out.toUtf8())["files"].toArray();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[0].toObject()["address"].toString(), "0x800");
    EXPECT_EQ(files[1].toObject()["address"].toString(), "0x10000000");
    EXPECT_EQ(flash(0x800, 256), app);
    EXPECT_EQ(flash(0x10000000, 512), boot);
}

TEST_F(Cli, JobFileRoundTripsAndRefusesChangedFiles)
{
    write("a.bin", pattern(600, 2));
    Outcome o = run({"program", "a.bin@0x200", "--erase", "sector", "--rolling", "1FFC:100:1",
                     "--save-job", "job.json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    QFile job(path("job.json"));
    ASSERT_TRUE(job.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(job.readAll()).object();
    EXPECT_EQ(saved["erase"].toString(), "sector");
    EXPECT_EQ(saved["rollingCode"].toObject()["address"].toString(), "0x1FFC");
    EXPECT_EQ(saved["files"].toArray()[0].toObject()["path"].toString(), "a.bin");
    EXPECT_EQ(saved["files"].toArray()[0].toObject()["length"].toInt(), 600);

    QFile::remove(path("flash"));
    commandsSent();
    o = run({"program", "--job", "job.json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(flash(0x200, 600), pattern(600, 2));
    EXPECT_TRUE(commandsSent().contains('\x9A')); // the job's rolling code went out

    write("a.bin", pattern(600, 7));
    o = run({"program", "--job", "job.json"});
    EXPECT_EQ(o.exit, 65);
    EXPECT_EQ(o.err, "quorvel-cli: the file changed since the job was saved: " + path("a.bin"));
    EXPECT_TRUE(commandsSent().isEmpty());
    EXPECT_EQ(run({"program", "--job", "job.json", "--accept-changed"}).exit, 0);
}

TEST_F(Cli, BadInputGivesItsMessageAndStatusWithNothingSent)
{
    write("ok.bin", pattern(64, 1));
    write("ok2.bin", pattern(64, 2));
    write("bad.hex", ":10000000ZZ\n");
    write("big.bin", QByteArray(0x400001, 0));
    write("job.json", R"({"format":"quorvel-job","version":1,"colour":"red"})");
    write("new.json", R"({"format":"quorvel-job","version":3})");
    QStringList eleven{"program"};
    for (int i = 0; i < 11; ++i)
        eleven << QString("ok.bin@%1").arg(i * 0x100, 0, 16);
    const struct
    {
        QStringList args;
        int exit;
        QString error;
    } cases[] = {
        {{"program", "gone.hex"}, 65, "gone.hex: the file does not exist or cannot be read"},
        {{"program", "bad.hex"}, 65, "bad.hex: The file could not be parsed!"},
        {{"program", "big.bin@0"}, 65, "big.bin: The file could not be parsed!"},
        {{"program", "ok.bin"}, 65, "ok.bin: a BIN file needs a flash address (FILE@ADDRESS)"},
        {{"program", "ok.bin@0", "ok2.bin@0x20"},
         64,
         "ok2.bin: This file's flash address lies inside the range of the previous file"},
        {{"program", "ok.bin@0x100", "ok2.bin@0"},
         64,
         "ok2.bin: This file's flash address lies inside the range of the previous file"},
        {eleven, 64, "ok.bin: At most 10 program files are supported"},
        {{"program", "ok.bin@12G"}, 64, "malformed file argument: ok.bin@12G"},
        {{"program", "ok.bin@0", "--rolling", "100:1"}, 64, "malformed rolling code: 100:1"},
        {{"program", "ok.bin@0", "--chip", "QZ99"}, 64, "unknown chip model: QZ99"},
        {{"program", "ok.bin@0", "--protect", "2", "--level2-password", "12345678"},
         64,
         "wrong password for read-protection level 2"},
        {{"program", "--job", "job.json"}, 65, "unknown key: colour"},
        {{"program", "--job", "new.json"},
         65,
         "the job file has the newer version 3; this program reads version 2"},
        {{"program", "--frobnicate"}, 64, "Unknown option 'frobnicate'."},
        {{"program", "ok.bin@0", "--probe", "QVP99999999"}, 1, "no probe found: QVP99999999"},
    };
    for (const auto &c : cases) {
        const Outcome o = run(c.args);
        EXPECT_EQ(o.exit, c.exit) << c.args.join(' ').toStdString();
        EXPECT_TRUE(o.err.endsWith(c.error)) << o.err.toStdString();
        EXPECT_TRUE(commandsSent().isEmpty()) << c.args.join(' ').toStdString();
    }

    env << "QUORVEL_VPROBE_ABSENT=1";
    const Outcome absent = run({"program", "ok.bin@0"});
    EXPECT_EQ(absent.exit, 1);
    EXPECT_EQ(absent.err, "quorvel-cli: no probe found");
    EXPECT_TRUE(commandsSent().isEmpty());

    env.removeLast();
    env << "QUORVEL_VPROBE_FIRMWARE=0x6CFF0185";
    const Outcome refused = run({"program", "ok.bin@0"});
    EXPECT_EQ(refused.exit, 27);
    EXPECT_EQ(refused.err, "quorvel-cli: 固件版本1.85，与客户端不匹配！");
    EXPECT_EQ(commandsSent(), QByteArray(1, '\0')); // DAP_Info only
}

// A rolling code outside APROM and LDROM: the map names it, program refuses it unless forced,
// and then the chip refuses it. With --json the failure is on stderr as well.
TEST_F(Cli, RollingCodeOutsideTheMemoryIsAMapProblem)
{
    write("a.bin", pattern(256, 1));
    Outcome o = run({"plan", "a.bin@0", "--rolling", "1FFFC:1:1"});
    EXPECT_EQ(o.exit, 28);
    EXPECT_TRUE(
        o.out.startsWith("Problem  Rolling code at 0x0001FFFC is outside APROM and LDROM\n"))
        << o.out.toStdString();
    EXPECT_TRUE(o.out.contains(
        "Rolling code  0x0001FFFC-0x0001FFFF  0x00000004  outside the memory  (problem)\n"));
    EXPECT_EQ(o.err, "quorvel-cli: the flash map shows 1 problem(s)");

    o = run({"program", "a.bin@0", "--rolling", "1FFFC:1:1", "--json"});
    EXPECT_EQ(o.exit, 28);
    const QString refused = "the flash map shows problems (--force programs anyway): Rolling code "
                            "at 0x0001FFFC is outside APROM and LDROM";
    EXPECT_EQ(QJsonDocument::fromJson(o.out.toUtf8())["message"].toString(), refused);
    EXPECT_EQ(o.err, "quorvel-cli: " + refused);
    EXPECT_TRUE(commandsSent().isEmpty());

    o = run({"program", "a.bin@0", "--rolling", "1FFFC:1:1", "--force"});
    EXPECT_EQ(o.exit, 9);
    EXPECT_EQ(o.err, "quorvel-cli: Rolling code error!");
    EXPECT_TRUE(commandsSent().endsWith('\x9A')); // refused: no finish after it
    EXPECT_EQ(flash(0x0, 256), pattern(256, 1));
    EXPECT_EQ(run({"plan", "a.bin@0", "--rolling", "1DFFC:1:1"}).exit, 0);
}

TEST_F(Cli, UnplugMidImageEndsWithTheWindowsMessage)
{
    write("a.bin", pattern(8192, 4));
    env << "QUORVEL_VPROBE_UNPLUG_AFTER=20"
        << "LC_ALL=zh_CN.UTF-8";
    const Outcome o = run({"program", "a.bin@0"});
    EXPECT_EQ(o.exit, 8);
    EXPECT_EQ(o.err, "quorvel-cli: 烧写错误！");
}

} // namespace

namespace {

TEST_F(Cli, SeveralProbesAtOnceEachHoldTheImageAndOneUnplugFailsOnlyItself)
{
    const QByteArray image = pattern(20000, 6);
    write("a.bin", image);
    env << "QUORVEL_VPROBE_COUNT=4"
        << "QUORVEL_VPROBE_UNPLUG_AFTER=1/25"
        << "QUORVEL_VPROBE_CHIP_MODEL=3/5";
    const QString record = path("record.sqlite");
    const Outcome o = run({"program", "a.bin@0", "--probe", "all", "--json", "--rolling",
                           "1D000:500:2", "--serial-ledger", "--record", record});
    EXPECT_EQ(o.exit, 8); // the first failing probe in listed order
    const QJsonArray probes = QJsonDocument::fromJson(o.out.toUtf8())["probes"].toArray();
    ASSERT_EQ(probes.size(), 4);
    QStringList serials;
    const char *expected[][3] = {{"QVP00000001", "passed", "Programmed successfully!"},
                                 {"QVP00000002", "failed", "Programming error!"},
                                 {"QVP00000003", "passed", "Programmed successfully!"},
                                 {"QVP00000004", "failed", "Chip identification error!"}};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject p = probes[i].toObject();
        EXPECT_EQ(p["probe"].toObject()["serial"].toString(), expected[i][0]);
        EXPECT_EQ(p["status"].toString(), expected[i][1]);
        EXPECT_EQ(p["message"].toString(), expected[i][2]);
        serials << p["serial"].toString();
    }
    // Every probe got its own value of the series from the ledger, in whatever order they asked.
    serials.sort();
    EXPECT_EQ(serials, QStringList({"0x00000500", "0x00000502", "0x00000504", "0x00000506"}));
    const Outcome report = run({"report", "--record", record, "--json"});
    ASSERT_EQ(report.exit, 0) << report.err.toStdString();
    const QJsonObject total = QJsonDocument::fromJson(report.out.toUtf8())["total"].toObject();
    EXPECT_EQ(total["passed"].toInt(), 2);
    EXPECT_EQ(total["failed"].toInt(), 2);
    EXPECT_EQ(flash(0, image.size()), image);
    QFile::remove(path("flash"));
    QFile::rename(path("flash.2"), path("flash"));
    EXPECT_EQ(flash(0, image.size()), image);
}

// A series that would repeat a value another series at its address already had is refused before
// the probe is touched, with status 74 and the run that had the value.
TEST_F(Cli, LedgerRefusesAValueAnotherSeriesHad)
{
    write("a.bin", QByteArray(64, '\x33'));
    const QStringList program{
        "program", "a.bin@0", "--serial-ledger", "--record", path("record.sqlite"), "--rolling"};
    ASSERT_EQ(run(program + QStringList{"1D000:100:1"}).exit, 0);
    commandsSent();
    const Outcome o = run(program + QStringList{"1D000:100:2"});
    EXPECT_EQ(o.exit, 74);
    EXPECT_TRUE(o.err.endsWith("no rolling-code value could be assigned; programming not started: "
                               "rolling-code value 0x00000100 at address 0x0001D000 already went "
                               "to run 1 (used); a value is never issued twice"))
        << o.err.toStdString();
    EXPECT_EQ(commandsSent().count('\x94'), 0); // no chip detect
    EXPECT_EQ(run(program + QStringList{"1D000:100:2", "--probe", "all"}).exit, 74); // in a gang
}

// A probe asking to be reconnected is reconnected and its run restarted, alone or in a gang, up to
// three times; a fourth request ends with result 6.
TEST_F(Cli, ReconnectRequestsRestartTheRunOnEveryFace)
{
    write("a.bin", pattern(4096, 3));
    const struct
    {
        const char *count, *faults;
        QStringList extra;
        int exit;
        int chipDetects; // on probe 1 (the only probe when alone)
    } cases[] = {
        {"2", "1/0x94:reconnect:1", {"--probe", "all"}, 0, 2},
        {"2", "1/0x94:reconnect:3", {"--probe", "all"}, 0, 4},
        {"2", "1/0x94:reconnect:4", {"--probe", "all"}, 6, 4},
        {"1", "0x94:reconnect:3", {}, 0, 4},
        {"1", "0x94:reconnect:4", {}, 6, 4},
    };
    for (const auto &c : cases) {
        env << QString("QUORVEL_VPROBE_COUNT=") + c.count
            << QString("QUORVEL_VPROBE_FAULTS=") + c.faults;
        const Outcome o = run(QStringList{"program", "a.bin@0"} + c.extra);
        env.removeLast();
        env.removeLast();
        EXPECT_EQ(o.exit, c.exit) << c.faults << o.err.toStdString();
        const QString trace = path(QString(c.count) == "2" ? "trace.1" : "trace");
        QFile f(trace);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        int detects = 0;
        for (const QByteArray &line : f.readAll().split('\n'))
            detects += line.startsWith("write ") && line.split(' ').value(4) == "94";
        f.remove();
        QFile::remove(path("trace"));
        EXPECT_EQ(detects, c.chipDetects) << c.faults;
    }
}

} // namespace
