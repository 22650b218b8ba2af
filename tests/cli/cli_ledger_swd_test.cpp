// quorvel-cli over SWD with the serial ledger: the rolling code written into each board's flash,
// a gang's boards each with their own value, the job's refusals before any probe is opened, and
// the record's rows.
#include "clifixture.h"

using namespace clitest;

namespace {

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

} // namespace
