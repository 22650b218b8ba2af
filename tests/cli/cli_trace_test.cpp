// Which chip got which serial, and whether the board works: the chip's ID and the self-test over
// RTT through the command line, on virtual QS64 boards running firmware/selftest.
#include "clifixture.h"

using namespace clitest;

namespace {

#ifndef QUORVEL_SELFTEST_BIN
#define QUORVEL_SELFTEST_BIN ""
#define QUORVEL_SELFTEST_QB48_BIN ""
#endif

class CliTrace : public CliSwd
{
protected:
    void SetUp() override
    {
        CliSwd::SetUp();
        env << "QUORVEL_VPROBE_TARGET=qs64";
    }
    // The self-test image, and its mode word (see firmware/selftest) when `mode` is not empty.
    QStringList program(const QString &mode = QString())
    {
        QStringList args{"program",         "--via",    "swd",  "--pack",
                         QUORVEL_QS64_PACK, "--target", "QS64", QUORVEL_SELFTEST_BIN "@0x08000000"};
        if (!mode.isEmpty()) {
            write("mode.bin", mode.toLatin1());
            args << "mode.bin@0x0800FFF0";
        }
        return args;
    }
    static QJsonObject json(const Outcome &o)
    {
        return QJsonDocument::fromJson(o.out.toUtf8()).object();
    }
};

// Each probe's board takes its ID from the probe's serial (virtualprobe/cmsisdap).
const QString kUid1 = "343653515d386ee272308380";
const QString kUid2 = "3436535144336ee2722d8380";

TEST_F(CliTrace, SelfTestVerdicts)
{
    const QString pass = "selftest: ram ok\nSELFTEST PASS uid=51533634e26e385d80833072\n";
    const struct
    {
        QString mode;
        int exit;
        bool hasRtt;
        bool matched;
        QString text, err, functional;
    } rows[] = {
        {"", 0, true, true, pass, "", "passed"},
        {"FAIL", 55, true, false, "selftest: ram ok\nSELFTEST FAIL ram\n",
         "quorvel-cli: Programmed, self-test failed: SELFTEST FAIL ram", "failed"},
        {"SLNT", 55, true, false, "selftest: ram ok\n",
         "quorvel-cli: Programmed, self-test failed: no verdict within 300 ms (last printed: "
         "selftest: ram ok)",
         "timeout"},
        {"NORT", 55, true, false, "",
         "quorvel-cli: Programmed, self-test failed: no RTT control block in 0x20000000+8192",
         "no-control-block"},
        // A buffer of 1 MiB in an 8 KiB RAM: refused before a byte of it is read.
        {"BADB", 55, true, false, "",
         "quorvel-cli: Programmed, self-test failed: RTT up-buffer 0 at 0x20000100+1048576 is "
         "not in the RAM",
         "bad-control-block"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.mode.toStdString());
        const Outcome o = run(program(row.mode) << "--reset"
                                                << "--rtt-expect"
                                                << "SELFTEST PASS"
                                                << "--rtt-fail"
                                                << "SELFTEST FAIL"
                                                << "--rtt-timeout"
                                                << "300"
                                                << "--json"
                                                << "--record" << path("r.sqlite"));
        EXPECT_EQ(o.exit, row.exit);
        EXPECT_EQ(o.err.toStdString(), row.err.toStdString());
        const QJsonObject j = json(o);
        EXPECT_EQ(j["result"].toInt(), row.exit == 0 ? 0 : 15);
        EXPECT_EQ(j["chipUid"].toString(), kUid1);
        EXPECT_EQ(j["rtt"].toObject(), QJsonObject({{"matched", row.matched}, {"text", row.text}}));
    }
    RecordDb db;
    ASSERT_TRUE(db.open(path("r.sqlite")));
    const QVector<RecordedRun> runs = db.runs();
    ASSERT_EQ(runs.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(runs[i].functional, rows[i].functional);
        EXPECT_EQ(runs[i].functionalText, rows[i].text.toUtf8());
        EXPECT_EQ(runs[i].record.chipUid, kUid1);
        EXPECT_EQ(runs[i].result, rows[i].exit);
        EXPECT_EQ(runs[i].status, rows[i].exit == 0 ? "passed" : "failed");
    }
}

// Two boards, one image: two IDs and two serials; the same boards again keep theirs; a new
// serial for one of them voids nothing it had.
TEST_F(CliTrace, LedgerFollowsTheChip)
{
    env << "QUORVEL_VPROBE_COUNT=2";
    const QStringList gang = program() << "--probe"
                                       << "all"
                                       << "--rolling"
                                       << "0x0800C000:100:1"
                                       << "--serial-ledger"
                                       << "--record" << path("r.sqlite") << "--json";
    // The gang's boards take serials as they get there, so which one is first is a race; what
    // must hold is that each keeps the one it was given.
    QMap<QString, QString> serialOf;
    for (int round = 0; round < 2; ++round) {
        const Outcome o = run(gang);
        ASSERT_EQ(o.exit, 0) << o.err.toStdString();
        const QJsonArray probes = json(o)["probes"].toArray();
        ASSERT_EQ(probes.size(), 2);
        EXPECT_EQ(probes[0].toObject()["chipUid"].toString(), kUid1);
        EXPECT_EQ(probes[1].toObject()["chipUid"].toString(), kUid2);
        QMap<QString, QString> seen;
        for (const QJsonValue &p : probes)
            seen[p.toObject()["chipUid"].toString()] = p.toObject()["serial"].toString();
        if (round == 0)
            serialOf = seen;
        EXPECT_EQ(seen, serialOf);
    }
    QStringList given = serialOf.values();
    given.sort();
    ASSERT_EQ(given.join(' ').toStdString(), "0x00000100 0x00000101");
    Outcome o = run(program() << "--probe"
                              << "QVP00000002"
                              << "--rolling"
                              << "0x0800C000:100:1"
                              << "--serial-ledger"
                              << "--new-serial"
                              << "--record" << path("r.sqlite") << "--json");
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(json(o)["serial"].toString(), "0x00000102");
    RecordDb db;
    ASSERT_TRUE(db.open(path("r.sqlite")));
    using Entry = QPair<quint32, QString>;
    EXPECT_EQ(db.ledger({0x0800C000, 0x100, 1}),
              (QVector<Entry>{{0x100, "used"}, {0x101, "used"}, {0x102, "used"}}));
    QStringList uids;
    for (const RecordedRun &r : db.runs())
        uids << r.record.chipUid + "=" + QString::number(r.record.serial, 16);
    uids.sort();
    const auto hex = [&](const QString &uid) { return serialOf[uid].mid(7); };
    QStringList expected = {kUid1 + "=" + hex(kUid1), kUid1 + "=" + hex(kUid1),
                            kUid2 + "=" + hex(kUid2), kUid2 + "=" + hex(kUid2), kUid2 + "=102"};
    expected.sort();
    EXPECT_EQ(uids.join(' ').toStdString(), expected.join(' ').toStdString());
}

TEST_F(CliTrace, RefusedOptions)
{
    const struct
    {
        QStringList args;
        QString err;
    } rows[] = {
        {{"--rtt-expect", "PASS"}, "quorvel-cli: --rtt-expect needs --reset"},
        {{"--reset", "--rtt-expect", "(PASS"},
         "quorvel-cli: invalid regular expression: (PASS (missing closing parenthesis)"},
        {{"--rtt-fail", "FAIL"},
         "quorvel-cli: --rtt-fail, --rtt-timeout and --rtt-address need --rtt-expect"},
        {{"--reset", "--rtt-expect", "P", "--rtt-timeout", "0"},
         "quorvel-cli: --rtt-timeout needs 1 to 600000 ms"},
        {{"--reset", "--rtt-expect", "P", "--rtt-address", "0x20000002"},
         "quorvel-cli: invalid RTT control block address: 0x20000002"},
        {{"--uid", "0x40010100"},
         "quorvel-cli: invalid chip ID place (ADDRESS:LENGTH, 1 to 32 bytes): 0x40010100"},
        {{"--uid", "0x40010100:33"},
         "quorvel-cli: invalid chip ID place (ADDRESS:LENGTH, 1 to 32 bytes): 0x40010100:33"},
        {{"--uid", "0xFFFFFFFC:8"},
         "quorvel-cli: invalid chip ID place (ADDRESS:LENGTH, 1 to 32 bytes): 0xFFFFFFFC:8"},
        {{"--new-serial"}, "quorvel-cli: --new-serial needs --serial-ledger"},
    };
    for (const auto &row : rows) {
        const Outcome o = run(program() << row.args);
        EXPECT_EQ(o.exit, 64) << row.args.join(' ').toStdString();
        EXPECT_EQ(o.err.toStdString(), row.err.toStdString());
    }
    const Outcome o = run({"program", "app.bin@0", "--uid", "0x10000060:8"});
    EXPECT_EQ(o.exit, 64);
    EXPECT_EQ(o.err.toStdString(),
              "quorvel-cli: --uid, --new-serial and --rtt-… apply to --via swd only");
    EXPECT_FALSE(probeOpened());
}

// A job saved with the check runs it again; an ID place outside any bus answers FAULT and the
// board is refused before its row.
TEST_F(CliTrace, JobFileKeepsTheCheckAndAnUnreadableIdRefusesTheBoard)
{
    Outcome o = run(program() << "--reset"
                              << "--uid"
                              << "0x40010104:8"
                              << "--rtt-expect"
                              << "PASS uid=\\w+"
                              << "--rtt-timeout"
                              << "2000"
                              << "--save-job"
                              << "j.json"
                              << "--no-record");
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    QFile saved(path("j.json"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QJsonObject job = QJsonDocument::fromJson(saved.readAll()).object();
    EXPECT_EQ(job["uid"].toString(), "0x40010104:8");
    EXPECT_EQ(job["rtt"].toObject(),
              QJsonObject({{"expect", "PASS uid=\\w+"}, {"timeoutMs", 2000}}));
    o = run({"program", "--job", "j.json", "--json", "--record", path("r.sqlite")});
    ASSERT_EQ(o.exit, 0) << o.err.toStdString();
    EXPECT_EQ(json(o)["chipUid"].toString(), kUid1.mid(8));
    EXPECT_TRUE(json(o)["rtt"].toObject()["matched"].toBool());
    o = run({"program", "--job", "j.json", "--uid", "0x30000000:4", "--record", path("r.sqlite")});
    EXPECT_EQ(o.exit, 47);
    EXPECT_TRUE(o.err.startsWith("quorvel-cli: SWD error 7: chip ID (0x30000000, 4 bytes) cannot "
                                 "be read: "))
        << o.err.toStdString();
    RecordDb db;
    ASSERT_TRUE(db.open(path("r.sqlite")));
    EXPECT_EQ(db.runs().size(), 1);
}

// Until `wanted` shows up on the stream: an event, not a time, ends the wait (60 s at most).
bool waitFor(QProcess &p, QByteArray &seen, const QByteArray &wanted, bool errorStream)
{
    QElapsedTimer clock;
    clock.start();
    while (!seen.contains(wanted) && clock.elapsed() < 60000) {
        p.waitForReadyRead(1000);
        seen += errorStream ? p.readAllStandardError() : p.readAllStandardOutput();
    }
    return seen.contains(wanted);
}

// `rtt` attaches to the running board (the QB48x keeps its flash in the fixture's file) and
// streams what it prints; SIGTERM ends it with status 0, also while it still looks for a block.
TEST_F(CliTrace, RttStreamsUntilTerminated)
{
    env.removeAll("QUORVEL_VPROBE_TARGET=qs64");
    for (const bool programmed : {false, true}) {
        SCOPED_TRACE(programmed);
        if (programmed) {
            const Outcome o = run({"program", "--via", "swd", QUORVEL_SELFTEST_QB48_BIN "@0",
                                   "--reset", "--rtt-expect", "PASS", "--no-record"});
            ASSERT_EQ(o.exit, 0) << o.err.toStdString();
        }
        QProcess p;
        start(p, {"rtt"});
        QByteArray seen;
        if (programmed)
            EXPECT_TRUE(waitFor(p, seen, "selftest: ram ok\nSELFTEST PASS uid=none\n", false))
                << seen.toStdString();
        else
            EXPECT_TRUE(waitFor(p, seen,
                                "quorvel-cli: no RTT control block in 0x20000000+16384; still "
                                "looking\n",
                                true))
                << seen.toStdString();
        p.terminate();
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
    }
}

} // namespace
