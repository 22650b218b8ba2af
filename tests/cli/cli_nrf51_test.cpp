// The virtual nRF51822 programmed by quorvel-cli from the test pack, over HID and bulk: the
// firmware lands in flash, verifies, and after --reset prints its line on UART0.
#include "clifixture.h"

namespace {

using clitest::CliSwd;
using clitest::Outcome;

constexpr char kHello[] = "QUORVEL NRF51 HELLO\r\n";

QByteArray firmware()
{
    QFile f(QStringLiteral(QUORVEL_NRF51_HELLO_BIN));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// The file's content once it holds `length` bytes, or after ten seconds whatever it holds.
QByteArray waitForContent(const QString &path, int length)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray content;
    while (timer.elapsed() < 10000) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            content = f.readAll();
        if (content.size() >= length)
            break;
        QThread::msleep(20);
    }
    return content;
}

class CliNrf51 : public CliSwd
{
protected:
    void SetUp() override
    {
        CliSwd::SetUp();
        env << "QUORVEL_VPROBE_TARGET=nrf51822";
    }
    QStringList target() const
    {
        return {"--via",    "swd",          "--pack", QStringLiteral(QUORVEL_NRF51_PACK),
                "--target", "nRF51822_xxAA"};
    }
};

TEST_F(CliNrf51, ProgramsVerifiesAndRunsTheFirmwareOverHidAndBulk)
{
    const QByteArray image = firmware();
    ASSERT_GT(image.size(), 64);
    write("hello.bin", image);
    write("other.bin", clitest::pattern(image.size(), 5));
    for (const QString transport : {"hid", "bulk"}) {
        const QString uart = path("uart-" + transport);
        env << "QUORVEL_VPROBE_UART=" + uart
            << QString("QUORVEL_VPROBE_USB=") + (transport == "hid" ? "fs-hid" : "hs-bulk");
        QFile::remove(path("flash"));
        const Outcome o =
            run(QStringList{"program"} + target()
                + QStringList{"hello.bin@0", "--transport", transport, "--reset", "--json"});
        ASSERT_EQ(o.exit, 0) << transport.toStdString() << ": " << o.err.toStdString();
        EXPECT_EQ(
            QJsonDocument::fromJson(o.out.toUtf8())["sectors"].toObject(),
            QJsonObject(
                {{"erased", 0}, {"programmed", (image.size() + 1023) / 1024}, {"skipped", 0}}))
            << transport.toStdString();
        EXPECT_EQ(flash(0, image.size()), image) << transport.toStdString();
        EXPECT_EQ(waitForContent(uart, int(sizeof kHello - 1)), QByteArray(kHello))
            << transport.toStdString();

        const struct
        {
            const char *file;
            int exit;
            QString err;
        } rows[] = {
            {"hello.bin@0", 0, ""},
            {"other.bin@0", 54,
             QString::asprintf("quorvel-cli: SWD error 14: verify failed at 0x00000000: read "
                               "0x%02x, expected 0x05",
                               uint8_t(image[0]))},
        };
        for (const auto &row : rows) {
            const Outcome v = run(QStringList{"verify"} + target()
                                  + QStringList{row.file, "--transport", transport});
            EXPECT_EQ(v.exit, row.exit) << row.file << " " << v.err.toStdString();
            EXPECT_EQ(v.err, row.err) << row.file;
        }
        env.removeLast();
        env.removeLast();
    }
}

} // namespace
