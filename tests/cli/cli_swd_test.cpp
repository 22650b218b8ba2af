// quorvel-cli over SWD as a user runs it: a process on the preloaded virtual CMSIS-DAP probe,
// judged by its exit status, its output, the flash it left behind and the probe it chose.
#include "clifixture.h"

using namespace clitest;

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

} // namespace
