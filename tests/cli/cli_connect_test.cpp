// Connecting to a chip whose firmware gets in the way, as a user runs it: the CLI as a process on
// the virtual board, its flash holding one of the project's firmware images.
#include "clifixture.h"

using namespace clitest;

#ifndef QUORVEL_FW_RESETMARKER // a build without the cross compiler skips these tests
#define QUORVEL_FW_RESETMARKER ""
#define QUORVEL_FW_SWDOFF ""
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

} // namespace
