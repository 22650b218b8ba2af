// `quorvel-cli targets` as a process: the shipped pack, --pack, the user's pack folder, and the
// messages of unknown, ambiguous and unusable names, with their exit statuses.
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const char kQb48Line[] =
    "QB48\tCortex-M0\t0x00000000+0x0001e000 0x10000000+0x00002000\tQuorvel.QB48x.1.0.0\n";
const char kQs64Line[] = "QS64\tCortex-M0\t0x08000000+0x00010000\tQuorvel.QS64_Test.0.1.0\n";

struct CliRun
{
    int status;
    QString out, err;
};

CliRun cli(const QTemporaryDir &home, const QStringList &args)
{
    QProcess p;
    QStringList env = QProcess::systemEnvironment();
    env << "LANG=C"
        << "LC_ALL=C"
        << "XDG_DATA_HOME=" + home.path();
    p.setEnvironment(env);
    p.start(QUORVEL_CLI, QStringList{"targets"} + args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(TargetsCommand, ListsAndResolvesDevicesFromEveryPackSource)
{
    QTemporaryDir home;
    const QString qs64 = QStringLiteral(QUORVEL_QS64_PACK);
    const struct
    {
        QStringList args;
        int status;
        QString out, err;
    } rows[] = {
        {{}, 0, kQb48Line, ""},
        {{"--pack", qs64}, 0, QString(kQb48Line) + kQs64Line, ""},
        {{"--pack", qs64, "--target", "qs64"},
         0,
         QString(kQs64Line)
             + "  QS64_Flash.FLM\t0x08000000-0x0800ffff\tdefault\tdefault\tby EraseChip (then "
               "any sector left not blank)\n"
               "  reset: system (default); sequences: none, the standard ones run\n",
         ""},
        {{"--pack", qs64, "--target", "qs64", "--algorithm", "OPT"},
         64,
         "",
         "quorvel-cli: QS64 has no flash algorithm OPT (it has: QS64_Flash.FLM)\n"},
        {{"--pack", qs64, "--target", "qs64", "--core", "cm4"},
         64,
         "",
         "quorvel-cli: QS64 has no core cm4 (it has: Cortex-M0)\n"},
        {{"--pack", qs64, "--check"}, 0, QString(kQb48Line) + kQs64Line, ""},
        {{"--target", "qs6"}, 64, "", "quorvel-cli: unknown device: qs6. Nearest: QB48\n"},
        {{"--pack", qs64, "--pack", qs64, "--target", "QS64"},
         64,
         "",
         "quorvel-cli: the device name QS64 is ambiguous: QS64 (Quorvel.QS64_Test.0.1.0), "
         "QS64 (Quorvel.QS64_Test.0.1.0)\n"},
        {{"--pack", home.filePath("none.pack")},
         65,
         "",
         "quorvel-cli: " + home.filePath("none.pack") + ": no such pack\n"},
    };
    for (const auto &row : rows) {
        const CliRun r = cli(home, row.args);
        EXPECT_EQ(r.status, row.status) << row.args.join(' ').toStdString();
        EXPECT_EQ(r.out, row.out) << row.args.join(' ').toStdString();
        EXPECT_EQ(r.err, row.err) << row.args.join(' ').toStdString();
    }

    // A pack kept in the user's folder is listed with no --pack.
    const QString kept = home.filePath("quorvel/packs/QS64");
    ASSERT_TRUE(QDir().mkpath(kept + "/Flash"));
    ASSERT_TRUE(QFile::copy(qs64 + "/Quorvel.QS64.pdsc", kept + "/Quorvel.QS64.pdsc"));
    ASSERT_TRUE(QFile::copy(qs64 + "/Flash/QS64_Flash.FLM", kept + "/Flash/QS64_Flash.FLM"));
    const CliRun listed = cli(home, {"--json", "--target", "QS64"});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(listed.out.toUtf8()).object();
    const QJsonObject device = o["targets"].toArray().at(0).toObject();
    EXPECT_EQ(device["device"].toString(), "QS64");
    EXPECT_EQ(device["packPath"].toString(), kept);
    const QJsonObject algorithm = device["algorithms"].toArray().at(0).toObject();
    EXPECT_EQ(algorithm["path"].toString(), "Flash/QS64_Flash.FLM");
    EXPECT_EQ(algorithm["start"].toString(), "0x08000000");
    EXPECT_EQ(algorithm["ramStart"].toString(), "0x20000000");
    EXPECT_EQ(algorithm["ramSize"].toString(), "0x00001000");
    EXPECT_EQ(device["memories"].toArray().size(), 2);
    EXPECT_EQ(algorithm["role"].toString(), "default");
    EXPECT_EQ(algorithm["fullErase"].toString(), "by EraseChip (then any sector left not blank)");

    // A broken pack beside it is skipped with a warning; named with --pack it is refused.
    QFile broken(home.filePath("quorvel/packs/broken.pack"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a zip");
    broken.close();
    const CliRun skipped = cli(home, {"--target", "QB48"});
    EXPECT_EQ(skipped.status, 0);
    EXPECT_TRUE(skipped.err.startsWith("quorvel-cli: pack " + broken.fileName() + " skipped: "
                                       + broken.fileName() + ": not a valid pack (zip): "))
        << skipped.err.toStdString();
    const CliRun refused = cli(home, {"--pack", broken.fileName()});
    EXPECT_EQ(refused.status, 65);
    EXPECT_TRUE(refused.err.endsWith(broken.fileName()
                                     + ": not a valid pack (zip): " + "Not a zip archive\n"))
        << refused.err.toStdString();
}
