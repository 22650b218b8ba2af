// Differential test: generated HEX files with ascending records and gaps load to exactly the bytes
// that binutils' objcopy produces with --gap-fill 0xff.
#include "engine/download.h"
#include "hexrecords.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace hextest;

namespace {

enum class Extended { None, Linear, Segment };

struct Layout
{
    Extended extended;
    uint32_t firstAddress;
    uint32_t lastAddress; // records end at or before this
};

// Ascending records of 1..32 bytes with random gaps, never crossing a 64 KiB boundary; an
// extended address record whenever the 64 KiB window changes.
std::string generateHex(std::mt19937 &random, const Layout &layout)
{
    std::string text;
    uint32_t window = ~0u;
    uint32_t address = layout.firstAddress;
    for (;;) {
        const uint32_t roomInWindow = 0x10000 - (address & 0xFFFF);
        const uint32_t count = std::min<uint32_t>(1 + random() % 32, roomInWindow);
        if (address + count > layout.lastAddress)
            break;
        if (layout.extended != Extended::None && address >> 16 != window) {
            window = address >> 16;
            text += layout.extended == Extended::Linear ? linear(uint16_t(window))
                                                        : segment(uint16_t(window << 12));
        }
        std::vector<uint8_t> bytes(count);
        for (uint8_t &b : bytes)
            b = uint8_t(random());
        text += data(uint16_t(address), bytes);
        address += count;
        const unsigned roll = random() % 10;
        if (roll >= 6)
            address += 1 + random() % (roll == 9 ? 6000 : 40);
    }
    return text + record(5, 0, {0, 0, 0, 0}) + endOfFile;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(ObjcopyDifferential, AscendingRecordsWithGaps)
{
    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    if (objcopy.isEmpty())
        GTEST_SKIP() << "objcopy not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<uint8_t> slot(Download::imageBufferSize);
    Download download;
    download.imageData[0] = slot.data();

    const Layout layouts[] = {
        {Extended::None, 0x0000, 0x10000},          {Extended::None, 0x1234, 0x3000},
        {Extended::None, 0xFF00, 0x10000},          {Extended::Linear, 0x0000, 0x30000},
        {Extended::Linear, 0x08003FF0, 0x08051000}, {Extended::Linear, 0x00FFFFF0, 0x01000100},
        {Extended::Segment, 0x00000, 0x8000},       {Extended::Segment, 0x1FFF8, 0x42000},
    };
    std::mt19937 random(20240611);
    int fileNumber = 0;
    for (const Layout &layout : layouts) {
        for (int repeat = 0; repeat < 3; ++repeat, ++fileNumber) {
            const QString hexPath = dir.filePath(QStringLiteral("gen%1.hex").arg(fileNumber));
            const QString binPath = dir.filePath(QStringLiteral("gen%1.bin").arg(fileNumber));
            SCOPED_TRACE(hexPath.toStdString());
            QFile file(hexPath);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::fromStdString(generateHex(random, layout)));
            file.close();

            const QString command =
                QStringLiteral("'%1' -I ihex -O binary --gap-fill 0xff '%2' '%3'")
                    .arg(objcopy, hexPath, binPath);
            ASSERT_EQ(std::system(command.toLocal8Bit().constData()), 0);
            const QByteArray expected = readAll(binPath);
            ASSERT_FALSE(expected.isEmpty());

            ASSERT_EQ(download.loadImageFile(hexPath, 0), 0);
            ASSERT_EQ(download.imageLength[0], uint32_t(expected.size()));
            EXPECT_EQ(std::memcmp(slot.data(), expected.constData(), size_t(expected.size())), 0);
        }
    }
}
