// The hands-free line as a user runs it: quorvel-cli on the preloaded virtual probe, the test
// playing the operator, judged by the boards programmed and the record's rows.
#include "clifixture.h"

using namespace clitest;

namespace {

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
    // The next board's line, which must say it passed with this serial.
    QJsonObject nextBoardPassed(const QString &serial)
    {
        const QJsonObject board = nextBoard();
        EXPECT_EQ(board["status"].toString(), "passed") << serial.toStdString();
        EXPECT_EQ(board["serial"].toString(), serial);
        return board;
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
    nextBoardPassed("0x00000100");
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
    nextBoardPassed("0x00000101");
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
    nextBoardPassed("0x00000101"); // 0x100 went with the pulled board
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
    QJsonObject board = nextBoardPassed("0x00000100");
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
    nextBoardPassed("0x00000101");
    ASSERT_TRUE(line.waitForFinished(20000));
    EXPECT_EQ(line.exitCode(), 0);
    EXPECT_EQ(flash(0x1D000, 4), QByteArray::fromHex("01010000"));
    EXPECT_EQ(recordedRows(record),
              QStringList({"QVP00000001 passed 0x00000100 swd QB48",
                           "QVP00000001 passed 0x00000101 swd QB48"}));
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
