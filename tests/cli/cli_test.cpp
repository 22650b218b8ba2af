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

// Each row of the record: probe, status, serial, path, device.
QStringList recordedRows(const QString &record)
{
    RecordDb db;
    EXPECT_TRUE(db.open(record)) << db.lastError().toStdString();
    QStringList out;
    for (const RecordedRun &r : db.runs()) {
        const RunRecord &c = r.record;
        out << QStringLiteral("%1 %2 %3 %4 %5")
                   .arg(c.probeSerial, r.status,
                        c.hasSerial ? QString::asprintf("0x%08X", c.serial) : QString("-"), c.via,
                        c.target);
    }
    return out;
}

// A hands-free line: the test plays the operator through the virtual probe's control file.
class CliLine : public Cli
{
protected:
    QProcess line;

    void SetUp() override
    {
        write("control", "0 chip 0\n1 chip 0\n");
        env << "QUORVEL_VPROBE_CONTROL=" + path("control");
    }
    void TearDown() override
    {
        if (line.state() != QProcess::NotRunning) {
            line.kill();
            line.waitForFinished();
        }
    }
    void control(const QString &text)
    {
        QFile f(path("control"));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(text.toUtf8() + "\n");
    }
    // The next board's JSON line; an empty object when none comes within 20 s.
    QJsonObject nextBoard()
    {
        while (!line.canReadLine() && line.waitForReadyRead(20000)) { }
        return QJsonDocument::fromJson(line.readLine()).object();
    }
    // Chip checks (0x95) the probe saw: one per run, never sent by the presence poll.
    int runsSeen(const QString &trace) { return reportsSeen(trace, "95"); }
    // Reports with this command byte the probe was written.
    int reportsSeen(const QString &trace, const QByteArray &command)
    {
        QFile f(path(trace));
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        int seen = 0;
        for (const QByteArray &l : f.readAll().split('\n'))
            seen += l.startsWith("write ") && l.split(' ').value(4) == command;
        return seen;
    }
    // Waits (up to 20 s) until the probe has been written `count` reports with this command byte.
    bool waitForReports(const QByteArray &command, int count)
    {
        QElapsedTimer clock;
        clock.start();
        while (reportsSeen("trace", command) < count && clock.elapsed() < 20000)
            QThread::msleep(5);
        return reportsSeen("trace", command) >= count;
    }
};

TEST_F(CliLine, EachBoardIsProgrammedOnceAndABoardLeftInPlaceIsNotProgrammedAgain)
{
    write("a.bin", pattern(4096, 9));
    const QString record = path("record.sqlite");
    start(line,
          {"program", "a.bin@0", "--auto", "--repeat", "2", "--poll", "20", "--json", "--rolling",
           "1D000:100:1", "--serial-ledger", "--record", record});
    ASSERT_TRUE(line.waitForStarted());
    control("0 chip 1");
    QJsonObject board = nextBoard();
    EXPECT_EQ(board["status"].toString(), "passed");
    EXPECT_EQ(board["serial"].toString(), "0x00000100");
    // Fifteen polls (chip detects) with the programmed board still in the fixture.
    ASSERT_TRUE(waitForReports("94", reportsSeen("trace", "94") + 15));
    EXPECT_EQ(runsSeen("trace"), 1);
    EXPECT_FALSE(line.canReadLine());
    // Taken out, and seen gone: the poll is the chip detect (0x94); one in flight may still find
    // the board, the next one finds none.
    const int detects = reportsSeen("trace", "94");
    control("0 chip 0");
    ASSERT_TRUE(waitForReports("94", detects + 2));
    control("0 chip 1");
    board = nextBoard();
    EXPECT_EQ(board["status"].toString(), "passed");
    EXPECT_EQ(board["serial"].toString(), "0x00000101");
    ASSERT_TRUE(line.waitForFinished(20000));
    EXPECT_EQ(line.exitCode(), 0);
    EXPECT_EQ(runsSeen("trace"), 2);
    EXPECT_EQ(recordedRows(record),
              QStringList({"QVP00000001 passed 0x00000100 vendor QB48V",
                           "QVP00000001 passed 0x00000101 vendor QB48V"}));
}

TEST_F(CliLine, ABoardPulledOutMidRunEndsFailedRecordedAndVoidsItsSerial)
{
    write("a.bin", pattern(20000, 4));
    env.removeAll("QUORVEL_VPROBE_REALTIME=0");
    env << "QUORVEL_VPROBE_LATENCY_US=2000"; // a run of about a second, to pull the board from
    const QString record = path("record.sqlite");
    start(line,
          {"program", "a.bin@0", "--auto", "--repeat", "2", "--poll", "20", "--json", "--rolling",
           "1D000:100:1", "--serial-ledger", "--record", record});
    ASSERT_TRUE(line.waitForStarted());
    control("0 chip 1");
    // Pulled once the image is on its way (20 of its data blocks written), however slow the
    // machine.
    ASSERT_TRUE(waitForReports("98", 20));
    control("0 chip 0");
    QJsonObject board = nextBoard();
    EXPECT_EQ(board["status"].toString(), "failed");
    EXPECT_EQ(board["result"].toInt(), 8);
    control("0 chip 1");
    board = nextBoard();
    EXPECT_EQ(board["status"].toString(), "passed");
    EXPECT_EQ(board["serial"].toString(), "0x00000101"); // 0x100 went with the pulled board
    ASSERT_TRUE(line.waitForFinished(20000));
    EXPECT_EQ(line.exitCode(), 8);
    EXPECT_EQ(recordedRows(record),
              QStringList({"QVP00000001 failed 0x00000100 vendor QB48V",
                           "QVP00000001 passed 0x00000101 vendor QB48V"}));
}

// Eight probes, three boards each, attached and removed at random moments: every board is run
// exactly once, every serial is issued once, every row is complete.
TEST_F(CliLine, EightProbesWithBoardsAttachedAtRandomMomentsProgramEachBoardOnce)
{
    constexpr int probes = 8, boardsEach = 3;
    write("a.bin", pattern(2048, 1));
    write("control", "");
    for (int k = 0; k < probes; ++k)
        control(QString("%1 chip 0").arg(k));
    env << "QUORVEL_VPROBE_COUNT=8";
    const QString record = path("record.sqlite");
    start(line,
          {"program", "a.bin@0", "--probe", "all", "--auto", "--repeat", "3", "--poll", "20",
           "--json", "--rolling", "1D000:1:1", "--serial-ledger", "--record", record});
    ASSERT_TRUE(line.waitForStarted());
    std::mt19937 random(2024);
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> nextAt(probes);
    std::vector<int> attachedBoards(probes, 0), doneBoards(probes, 0);
    std::vector<bool> attached(probes, false);
    for (qint64 &t : nextAt)
        t = random() % 300;
    QSet<QString> serials;
    int boards = 0;
    while (boards < probes * boardsEach && clock.elapsed() < 60000) {
        line.waitForReadyRead(5);
        while (line.canReadLine()) {
            const QJsonObject board = QJsonDocument::fromJson(line.readLine()).object();
            if (board.contains("command")) // the closing summary
                continue;
            const int k = board["probe"].toObject()["path"].toString().section(':', 1).toInt();
            EXPECT_EQ(board["status"].toString(), "passed") << k;
            EXPECT_TRUE(attached[size_t(k)]) << k;
            serials.insert(board["serial"].toString());
            ++doneBoards[size_t(k)];
            ++boards;
            nextAt[size_t(k)] = clock.elapsed() + random() % 100; // the operator takes it out
        }
        for (int k = 0; k < probes; ++k) {
            const size_t i = size_t(k);
            if (clock.elapsed() < nextAt[i])
                continue;
            if (!attached[i] && attachedBoards[i] < boardsEach) {
                control(QString("%1 chip 1").arg(k));
                attached[i] = true;
                ++attachedBoards[i];
                nextAt[i] = std::numeric_limits<qint64>::max(); // until its result
            } else if (attached[i] && doneBoards[i] == attachedBoards[i]) {
                control(QString("%1 chip 0").arg(k));
                attached[i] = false;
                nextAt[i] = clock.elapsed() + 40 + random() % 200; // gone for two polls at least
            }
        }
    }
    ASSERT_TRUE(line.waitForFinished(20000));
    EXPECT_EQ(line.exitCode(), 0);
    EXPECT_EQ(boards, probes * boardsEach);
    EXPECT_EQ(serials.size(), probes * boardsEach);
    for (int k = 0; k < probes; ++k)
        EXPECT_EQ(runsSeen(k ? QString("trace.%1").arg(k) : QString("trace")), boardsEach) << k;
    const QStringList rowsSeen = recordedRows(record);
    EXPECT_EQ(rowsSeen.size(), probes * boardsEach);
    for (const QString &row : rowsSeen)
        EXPECT_TRUE(QRegularExpression("^QVP0000000[1-8] passed 0x000000[0-9A-F]{2} vendor QB48V$")
                        .match(row)
                        .hasMatch())
            << row.toStdString();
}

} // namespace

namespace {

TEST_F(CliSwd, ProgramsHexAndLdromBinByteExactlyThenVerifiesAndErases)
{
    const QByteArray app = pattern(5000, 1), boot = pattern(700, 8);
    write("app.hex", QByteArray::fromStdString(hexOf(0x100, app) + hextest::endOfFile));
    write("boot.bin", boot);
    Outcome o = run({"program", "--via", "swd", "app.hex", "boot.bin@0x10000000", "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(flash(0x100, app.size()), app);
    EXPECT_EQ(flash(0x100 + app.size(), 16), QByteArray(16, char(0xFF)));
    EXPECT_EQ(flash(0x10000000, boot.size()), boot);
    const QJsonObject json = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(json["message"].toString(), "Programmed successfully!");
    EXPECT_EQ(json["result"].toInt(), 0);
    EXPECT_EQ(json["probe"].toObject(),
              QJsonObject({{"path", "vprobe:0"},
                           {"serial", "QVP00000001"},
                           {"product", "Quorvel Virtual CMSIS-DAP"},
                           {"firmware", QJsonValue()},
                           {"transports", QJsonArray{"hid"}},
                           {"transport", "hid"}}));
    EXPECT_EQ(json["files"].toArray()[1].toObject()["address"].toString(), "0x10000000");
    // A blank chip: eleven APROM and two LDROM sectors programmed without an erase; then again,
    // all already there.
    EXPECT_EQ(json["sectors"].toObject(),
              (QJsonObject{{"erased", 0}, {"programmed", 13}, {"skipped", 0}}));
    // The shipped pack's 16 KiB area holds the CRC routine and the most page buffers.
    EXPECT_EQ(json["ram"].toObject(), (QJsonObject{{"pageBuffers", 19}, {"crcRoutine", true}}));
    o = run({"program", "--via", "swd", "app.hex", "boot.bin@0x10000000", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(o.out.toUtf8()).object()["sectors"].toObject(),
              (QJsonObject{{"erased", 0}, {"programmed", 0}, {"skipped", 13}}));
    {
        // The record says which path and device each run took, and what it did to the sectors.
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "swdrecord");
        db.setDatabaseName(path("default-record.sqlite"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("SELECT via, target, sectors_erased, sectors_programmed,"
                           " sectors_skipped, status FROM runs ORDER BY id"));
        QStringList rows;
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < 6; ++i)
                cells << q.value(i).toString();
            rows << cells.join(' ');
        }
        EXPECT_EQ(rows, QStringList({"swd QB48 0 13 0 passed", "swd QB48 0 0 13 passed"}));
    }
    QSqlDatabase::removeDatabase("swdrecord");

    o = run({"verify", "--via", "swd", "app.hex"});
    EXPECT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(o.out, "Files match the chip contents!");
    // Bytes above 64 KiB, where the APROM algorithm's EraseChip stops on a chip not configured
    // for 120 KiB: the erase finds their sector and erases it on its own.
    write("high.bin", pattern(0x100, 3));
    ASSERT_EQ(run({"program", "--via", "swd", "high.bin@0x1D000"}).exit, 0);
    o = run({"erase", "--json"});
    const QJsonObject erased = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(erased["message"].toString(), "Erased successfully!");
    EXPECT_EQ(
        erased["erase"].toArray(),
        (QJsonArray{
            QJsonObject{
                {"algorithm", "QB48x_Flash_AP.FLM"}, {"by", "chip+sectors"}, {"sectors", 1}},
            QJsonObject{{"algorithm", "QB48x_Flash_LD.FLM"}, {"by", "chip"}, {"sectors", 0}}}));
    EXPECT_EQ(flash(0x1D000, 0x100), QByteArray(0x100, char(0xFF)));
    EXPECT_EQ(flash(0x100, app.size()), QByteArray(app.size(), char(0xFF)));
    EXPECT_EQ(flash(0x10000000, boot.size()), QByteArray(boot.size(), char(0xFF)));
    o = run({"verify", "--via", "swd", "app.hex"});
    EXPECT_EQ(o.exit, 54);
    EXPECT_EQ(o.err,
              "quorvel-cli: SWD error 14: verify failed at 0x00000100: read 0xff, expected "
              "0x01");
}

TEST_F(CliSwd, OptionsWithoutMeaningOverSwdAreRefusedBeforeTheProbeIsOpened)
{
    write("a.bin", pattern(64, 1));
    const struct
    {
        QStringList args;
        QString error;
    } cases[] = {
        {{"--offline"}, "--via swd cannot be used for the offline job"},
        {{"--rolling", "1FFC:1:1"}, "--via swd writes a rolling code only with --serial-ledger"},
        {{"--watchdog", "off"}, "--via swd cannot set the watchdog option"},
        {{"--protect", "1"}, "--via swd cannot set read protection"},
        {{"--chip", "QA12"}, "--via swd supports the chip QB48V only"},
    };
    for (const auto &c : cases) {
        const Outcome o = run(QStringList{"program", "a.bin@0", "--via", "swd"} + c.args);
        EXPECT_EQ(o.exit, 64) << c.args.join(' ').toStdString();
        EXPECT_EQ(o.err, "quorvel-cli: " + c.error);
        EXPECT_FALSE(probeOpened()) << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(run({"verify", "a.bin@0", "--via", "swd", "--chip", "QA12"}).err,
              "quorvel-cli: --via swd supports the chip QB48V only");
    EXPECT_EQ(run({"program", "a.bin@0", "--via", "usb"}).err,
              "quorvel-cli: unknown programming path: usb");
    const struct
    {
        QStringList args;
        QString error;
    } pathOnly[] = {
        {{"--via", "vendor", "--transport", "hid"},
         "--transport and --swd-clock apply to --via swd only"},
        {{"--via", "swd", "--swd-clock", "12"}, "invalid SWD clock (1000 to 50000000 Hz): 12"},
        {{"--via", "swd", "--transport", "usb"}, "unknown transport: usb"},
        {{"--erase", "auto"}, "erase mode auto works over --via swd only"},
        {{"--verify", "crc"}, "--verify works over --via swd only"},
        {{"--via", "swd", "--verify", "bytes"}, "unknown verify mode: bytes"},
        {{"--via", "swd", "--connect", "later"}, "unknown connect mode: later"},
        {{"--via", "swd", "--reset-type", "warm"}, "unknown reset type: warm"},
        {{"--via", "swd", "--debugvar", "=1"}, "--debugvar =1: expected NAME=VALUE"},
        {{"--via", "swd", "--debugvar", "Key=0xZZ"}, "--debugvar Key=0xZZ: 0xZZ is not a number"},
        {{"--via", "vendor", "--connect", "normal"},
         "--connect, --reset-type and --debugvar apply to --via swd only"},
    };
    for (const auto &c : pathOnly) {
        const Outcome o = run(QStringList{"program", "a.bin@0"} + c.args);
        EXPECT_EQ(o.exit, 64) << c.args.join(' ').toStdString();
        EXPECT_EQ(o.err, "quorvel-cli: " + c.error);
    }
    const Outcome erase = run({"erase", "--via", "vendor"});
    EXPECT_EQ(erase.exit, 64);
    EXPECT_EQ(erase.err,
              "quorvel-cli: erase works over SWD only; the dedicated probe's full erase "
              "is program --no-program --erase full");
    EXPECT_FALSE(probeOpened());
}

TEST_F(CliSwd, ProbesListsTheCmsisDapProbeWithWhatItCanDo)
{
    const Outcome o = run({"probes"});
    EXPECT_EQ(o.exit, 0);
    EXPECT_EQ(o.out,
              "vprobe:0\tQVP00000001\tQuorvel Virtual CMSIS-DAP\t1.0\thid\tCMSIS-DAP: SWD, 4 "
              "packets of 64 bytes");
    const QJsonObject probe =
        QJsonDocument::fromJson(run({"probes", "--json"}).out.toUtf8())["probes"][0].toObject();
    EXPECT_EQ(probe["kind"].toString(), "cmsis-dap");
    EXPECT_TRUE(probe["swd"].toBool());
    EXPECT_EQ(probe["packetCount"].toInt(), 4);
}

// A v2 probe: listed with both transports, driven over bulk unless told otherwise; a v1 probe
// refuses --transport bulk.
TEST_F(CliSwd, AV2ProbeIsDrivenOverBulkUnlessToldOtherwise)
{
    const QByteArray app = pattern(3000, 5);
    write("a.bin", app);
    EXPECT_EQ(run({"program", "--via", "swd", "--transport", "bulk", "a.bin@0"}).err,
              "quorvel-cli: SWD error 4: probe vprobe:0 offers no CMSIS-DAP v2 (bulk) interface");
    env << "QUORVEL_VPROBE_USB=hs-bulk";
    EXPECT_EQ(run({"probes"}).out,
              "vprobe:0\tQVP00000001\tQuorvel Virtual CMSIS-DAP\t1.0\tbulk+hid\tCMSIS-DAP: SWD, 4 "
              "packets of 512 bytes");
    // A debugvar the device's pack does not declare is refused before anything is written.
    const Outcome unknown = run({"program", "--via", "swd", "a.bin@0", "--debugvar", "Key=1"});
    EXPECT_EQ(unknown.err.toStdString(),
              "quorvel-cli: SWD error 13: debugvar Key is not declared by the device's pack");
    for (const QString transport : {"", "hid", "bulk"}) {
        QStringList args{"program", "--via",     "swd",
                         "a.bin@0", "--json",    "--swd-clock",
                         "1000000", "--connect", transport == "hid" ? "halt-on-reset" : "normal"};
        if (!transport.isEmpty())
            args << "--transport" << transport;
        const Outcome o = run(args);
        ASSERT_EQ(o.exit, 0) << o.err.toStdString();
        const QJsonObject probe = QJsonDocument::fromJson(o.out.toUtf8())["probe"].toObject();
        EXPECT_EQ(probe["transport"].toString(), transport.isEmpty() ? "bulk" : transport);
        EXPECT_EQ(probe["transports"].toArray(), (QJsonArray{"bulk", "hid"}));
        EXPECT_EQ(flash(0, app.size()), app);
    }
}

// The QS64 of the test pack through the same commands; the part keeps no flash between runs,
// so each run starts blank.
TEST_F(CliSwd, Qs64FromItsPackThroughProgramVerifyEraseAndTheJobFile)
{
    env << "QUORVEL_VPROBE_TARGET=qs64";
    const QString pack = QStringLiteral(QUORVEL_QS64_PACK);
    write("fw.bin", pattern(0x900, 4));
    Outcome o =
        run({"program", "--via", "swd", "--pack", pack, "--target", "qs64", "fw.bin@0x08000400",
             "--verify", "readback", "--json", "--save-job", "j.json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    QJsonObject json = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(json["sectors"].toObject(),
              QJsonObject({{"erased", 0}, {"programmed", 2}, {"skipped", 0}}));
    QFile saved(path("j.json"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(saved.readAll())["target"].toObject(),
              QJsonObject({{"device", "QS64"}, {"pack", QDir(dir.path()).relativeFilePath(pack)}}));
    o = run({"program", "--via", "swd", "--job", "j.json", "--erase", "full", "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    json = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(json["sectors"].toObject(),
              QJsonObject({{"erased", 11}, {"programmed", 2}, {"skipped", 0}}));
    const struct
    {
        QStringList args;
        int exit;
        QString err;
    } rows[] = {
        // The job's device read from the blank part: its first byte, at the pack's address.
        {{"verify", "--via", "swd", "--job", "j.json"},
         54,
         "quorvel-cli: SWD error 14: verify failed at 0x08000400: read 0xff, expected 0x04"},
        {{"erase", "--pack", pack, "--target", "QS64"}, 0, ""},
        {{"erase", "--target", "qs64"}, 64, "quorvel-cli: unknown device: qs64. Nearest: QB48"},
        // A rolling code outside the device's memory is a problem of its map.
        {{"program", "--via", "swd", "--pack", pack, "--target", "qs64", "fw.bin@0x08000400",
          "--rolling", "8010000:1:1", "--serial-ledger"},
         28,
         ""},
        {{"program", "--target", "qs64", "fw.bin@0x08000400"},
         64,
         "quorvel-cli: --pack and --target apply to --via swd only"},
    };
    for (const auto &row : rows) {
        o = run(row.args);
        EXPECT_EQ(o.exit, row.exit) << row.args.join(' ').toStdString();
        if (!row.err.isEmpty()) {
            EXPECT_EQ(o.err.toStdString(), row.err.toStdString());
        }
    }
    // A rolling code in a 16 KiB sector no image touches: read, merged and programmed with the
    // image, and checked by the run's verify.
    o = run({"program", "--via", "swd", "--pack", pack, "--target", "qs64", "fw.bin@0x08000400",
             "--rolling", "800F000:7:1", "--serial-ledger", "--json"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    json = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(json["serial"].toString(), "0x00000007");
    EXPECT_EQ(json["sectors"].toObject(),
              QJsonObject({{"erased", 0}, {"programmed", 3}, {"skipped", 0}}));
    // The map in the pack's memory, erased in its algorithm's sectors: 2 KiB, then 16 KiB.
    o = run({"plan", "--pack", pack, "--target", "qs64", "fw.bin@0x08003c00", "--erase", "sector"});
    EXPECT_EQ(o.exit, 0);
    EXPECT_EQ(o.out.toStdString(),
              "Erase   0x08003800-0x08007FFF  0x00004800  FLASH\n"
              "File 1  0x08003C00-0x080044FF  0x00000900  FLASH  CRC-32 0x"
                  + QString::asprintf(
                        "%08X",
                        calcCrc32(reinterpret_cast<const uint8_t *>(pattern(0x900, 4).constData()),
                                  0x900))
                        .toStdString()
                  + "  fw.bin\n"
                    "  QS64_Flash.FLM\t0x08000000-0x0800ffff\tdefault\tdefault\tby EraseChip (then "
                    "any sector left not blank)\n"
                    "  reset: system (default); sequences: none, the standard ones run");
}

TEST_F(CliSwd, AnSwdFailureEndsWithItsCodeAndMessage)
{
    write("a.bin", pattern(512, 3));
    const struct
    {
        QString variable;
        int exit;
        QString error;
    } cases[] = {
        // The flash algorithms come from the pack; that folder holds only the CRC routine.
        {"QUORVEL_FLASHALGO_DIR=" + path("none"), 50,
         "SWD error 10: CRC routine " + path("none") + "/Quorvel_Crc32.FLM not found"},
        // Only a read over the debug port meets the fault: the read-back verify's.
        {"QUORVEL_VPROBE_DAP_FAULT_AT=0x100", 47,
         "SWD error 7: at 0x00000100: target answered FAULT after 4 of 15 transfers"},
    };
    for (const auto &c : cases) {
        env << c.variable;
        const Outcome o = run({"program", "--via", "swd", "a.bin@0", "--verify", "readback"});
        env.removeLast();
        EXPECT_EQ(o.exit, c.exit);
        EXPECT_EQ(o.err, "quorvel-cli: " + c.error);
    }
}

// Over SWD the ledger's value is merged into the job: into the image's sector, or a sector of its
// own read from the chip first; a failed run voids its value as on the dedicated path.
TEST_F(CliSwd, RollingCodeFromTheLedgerIsWrittenIntoTheFlashAndRecorded)
{
    const QByteArray image = pattern(3000, 8);
    write("a.bin", image);
    const QString record = path("record.sqlite");
    const QStringList job{"program", "a.bin@0",         "--via",    "swd", "--erase",
                          "sector",  "--serial-ledger", "--record", record};
    Outcome o = run(job + QStringList{"--rolling", "BBC:100:1"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(flash(0, 3000), image);
    EXPECT_EQ(flash(0xBB8, 8), QByteArray::fromHex("ffffffff00010000"));
    o = run(job + QStringList{"--rolling", "1D004:100:1"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(flash(0x1D000, 12), QByteArray::fromHex("ffffffff00010000ffffffff"));
    env << "QUORVEL_FLASHALGO_DIR=" + path("nowhere");
    o = run(job + QStringList{"--rolling", "1D004:100:1"});
    EXPECT_EQ(o.exit, 50) << o.err.toStdString(); // SWD code 10: no CRC routine
    env.removeLast();
    o = run(job + QStringList{"--rolling", "1D004:100:1"});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(flash(0x1D004, 4), QByteArray::fromHex("02010000"));
    // The board taken out of the fixture: no debug port answers; its value is voided too.
    write("control", "0 chip 0\n");
    env << "QUORVEL_VPROBE_CONTROL=" + path("control");
    o = run(job + QStringList{"--rolling", "1D004:100:1"});
    EXPECT_EQ(o.exit, 45) << o.err.toStdString(); // SWD code 5: no target
    env.removeLast();
    o = run(job + QStringList{"--rolling", "3FFFC:100:1"});
    EXPECT_EQ(o.exit, 28);
    EXPECT_EQ(o.err,
              "quorvel-cli: the flash map shows problems (--force programs anyway): Rolling "
              "code at 0x0003FFFC is outside APROM and LDROM");
    o = run({"program", "a.bin@0", "--via", "swd", "--rolling", "1D004:100:1"});
    EXPECT_EQ(o.exit, 64);
    EXPECT_EQ(o.err, "quorvel-cli: --via swd writes a rolling code only with --serial-ledger");
    EXPECT_EQ(recordedRows(record),
              QStringList({"QVP00000001 passed 0x00000100 swd QB48",
                           "QVP00000001 passed 0x00000100 swd QB48",
                           "QVP00000001 failed 0x00000101 swd QB48",
                           "QVP00000001 passed 0x00000102 swd QB48",
                           "QVP00000001 failed 0x00000103 swd QB48"}));
}

// Two CMSIS-DAP probes at once, one over v1 and one over v2: each board gets its own ledger value
// in its own flash and its own record row.
TEST_F(CliSwd, GangOfTwoProbesWritesEachItsOwnSerial)
{
    write("a.bin", pattern(1024, 3));
    env << "QUORVEL_VPROBE_COUNT=2"
        << "QUORVEL_VPROBE_USB=1/hs-bulk";
    const QString record = path("record.sqlite");
    const Outcome o = run({"program", "a.bin@0", "--via", "swd", "--probe", "all", "--json",
                           "--rolling", "1D000:100:1", "--serial-ledger", "--record", record});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    QStringList expected;
    QSet<QByteArray> written;
    for (const QJsonValue v : QJsonDocument::fromJson(o.out.toUtf8())["probes"].toArray()) {
        const QJsonObject probe = v.toObject();
        EXPECT_EQ(probe["status"].toString(), "passed");
        EXPECT_EQ(probe["deviceId"].toString(), "0x0BB11477"); // the debug port's IDCODE
        expected << probe["probe"].toObject()["serial"].toString() + " passed "
                + probe["serial"].toString() + " swd QB48";
        QFile f(
            path(probe["probe"].toObject()["path"].toString() == "vprobe:0" ? "flash" : "flash.1"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        EXPECT_EQ(all.mid(0, 1024), pattern(1024, 3));
        written.insert(all.mid(0x1D000, 4));
        const uint32_t value = probe["serial"].toString().toUInt(nullptr, 16);
        EXPECT_EQ(all.mid(0x1D000, 4),
                  QByteArray::fromRawData(reinterpret_cast<const char *>(&value), 4));
    }
    EXPECT_EQ(written,
              QSet<QByteArray>({QByteArray::fromHex("00010000"), QByteArray::fromHex("01010000")}));
    QStringList rows = recordedRows(record);
    rows.sort();
    expected.sort();
    EXPECT_EQ(rows, expected);
}

// The line over SWD: a board is a debug port that answers. Attached, programmed once, left in
// place without a second run, removed, the next one programmed.
TEST_F(CliLine, OverSwdEachBoardIsProgrammedOnce)
{
#ifndef QUORVEL_CLI_SWD
    GTEST_SKIP() << "no flash algorithms in this build";
#endif
    env << "QUORVEL_VPROBE_KIND=cmsis-dap"
        << "QUORVEL_VPROBE_DAP_REALTIME=0";
    write("a.bin", pattern(2048, 6));
    const QString record = path("record.sqlite");
    start(line,
          {"program", "a.bin@0", "--via", "swd", "--auto", "--repeat", "2", "--poll", "20",
           "--json", "--rolling", "1D000:100:1", "--serial-ledger", "--record", record});
    ASSERT_TRUE(line.waitForStarted());
    // Idle polls (each begins with DAP_Connect) with no board find nothing to run.
    ASSERT_TRUE(waitForReports("02", 10));
    EXPECT_FALSE(line.canReadLine());
    control("0 chip 1");
    QJsonObject board = nextBoard();
    EXPECT_EQ(board["status"].toString(), "passed");
    EXPECT_EQ(board["serial"].toString(), "0x00000100");
    EXPECT_EQ(board["probe"].toObject()["serial"].toString(), "QVP00000001");
    // Fifteen polls with the programmed board still in the fixture.
    ASSERT_TRUE(waitForReports("02", reportsSeen("trace", "02") + 15));
    EXPECT_FALSE(line.canReadLine());
    // Taken out, and seen gone: every poll begins with DAP_Connect (0x02); after the removal the
    // polls that follow all find no target, and four of them hold the three in a row it needs.
    const int connects = reportsSeen("trace", "02");
    control("0 chip 0");
    ASSERT_TRUE(waitForReports("02", connects + 5));
    control("0 chip 1");
    board = nextBoard();
    EXPECT_EQ(board["status"].toString(), "passed");
    EXPECT_EQ(board["serial"].toString(), "0x00000101");
    ASSERT_TRUE(line.waitForFinished(20000));
    EXPECT_EQ(line.exitCode(), 0);
    EXPECT_EQ(flash(0x1D000, 4), QByteArray::fromHex("01010000"));
    EXPECT_EQ(recordedRows(record),
              QStringList({"QVP00000001 passed 0x00000100 swd QB48",
                           "QVP00000001 passed 0x00000101 swd QB48"}));
}

// What the job alone decides about the rolling code is refused once, before any probe is opened
// and before the ledger issues a value: no board could take it.
TEST_F(CliSwd, RollingCodeRefusalsOfTheJobComeBeforeAnyProbeIsOpened)
{
    write("a.bin", pattern(1024, 2));
    const QString record = path("record.sqlite");
    const struct
    {
        QStringList args;
        const char *err;
    } cases[] = {
        {{"--erase", "none", "--rolling", "1D000:100:1"},
         "quorvel-cli: Without erase the rolling code cannot go into a sector no file touches "
         "(address 0x0001d000)"},
    };
    for (const auto &c : cases) {
        const Outcome o = run(
            QStringList{"program", "a.bin@0", "--via", "swd", "--serial-ledger", "--record", record}
            + c.args);
        EXPECT_EQ(o.exit, 64) << c.args.join(' ').toStdString();
        EXPECT_EQ(o.err.toStdString(), c.err);
        EXPECT_FALSE(probeOpened()) << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(recordedRows(record), QStringList());
}

// One probe named twice (by serial and by path) runs one board: one row, one ledger value.
TEST_F(CliSwd, AProbeNamedTwiceRunsOnce)
{
    write("a.bin", pattern(1024, 5));
    const QString record = path("record.sqlite");
    const Outcome o =
        run({"program", "a.bin@0", "--via", "swd", "--probe", "QVP00000001", "--probe", "vprobe:0",
             "--json", "--rolling", "1D000:100:1", "--serial-ledger", "--record", record});
    EXPECT_EQ(o.exit, 1) << o.err.toStdString();
    const QJsonArray probes = QJsonDocument::fromJson(o.out.toUtf8())["probes"].toArray();
    ASSERT_EQ(probes.size(), 2);
    EXPECT_EQ(probes[0].toObject()["status"].toString(), "passed");
    EXPECT_EQ(probes[1].toObject()["status"].toString(), "failed");
    EXPECT_EQ(probes[1].toObject()["message"].toString(), "Not connected");
    EXPECT_EQ(recordedRows(record), QStringList({"QVP00000001 passed 0x00000100 swd QB48"}));
}

// Rounds: a board that failed in an earlier round fails the command, whatever later rounds did.
TEST_F(CliLine, ARoundThatFailedKeepsTheExitStatusAfterALaterRoundPassed)
{
    write("a.bin", pattern(1024, 3));
    start(line, {"program", "a.bin@0", "--repeat", "2"});
    ASSERT_TRUE(line.waitForStarted());
    line.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("probe(s) failed") && line.waitForReadyRead(20000))
        err += line.readAllStandardError();
    ASSERT_TRUE(err.contains("probe(s) failed")) << err.toStdString();
    control("0 chip 1");
    line.write("\n");
    line.closeWriteChannel();
    ASSERT_TRUE(line.waitForFinished(20000));
    err += line.readAllStandardError();
    const QString out = QString::fromUtf8(line.readAllStandardOutput());
    EXPECT_EQ(out.count("Programmed successfully!"), 1) << out.toStdString();
    EXPECT_EQ(line.exitCode(), 2) << err.toStdString(); // round 1's: no chip answered
    EXPECT_TRUE(err.endsWith("quorvel-cli: 1 board(s) failed in earlier rounds\n"))
        << err.toStdString();
}

} // namespace
