// Loading files into a slot: the suffix decides the kind, results 0..3, refusals of images that do
// not fit 4 MiB, and a failed load leaving the slot's earlier image as it was.
#include "engine/download.h"
#include "hexrecords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using namespace hextest;

namespace {

constexpr uint8_t earlierByte = 0xA5;
constexpr uint32_t earlierLength = 3;
const std::string hexText = linear(0) + data(0x20, {0xDE, 0xAD}) + data(0x24, {0xBE}) + endOfFile;
const QByteArray hexImage = QByteArray::fromHex("DEADFFFFBE");
const QByteArray binBytes = QByteArray::fromHex("000102FF0D0A3A");

class LoadImage : public ::testing::Test
{
protected:
    LoadImage()
        : slot(Download::imageBufferSize, earlierByte)
    {
        download.imageData[slotIndex] = slot.data();
        download.imageLength[slotIndex] = earlierLength;
    }

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return path;
    }

    QByteArray loaded() const
    {
        return QByteArray(reinterpret_cast<const char *>(slot.data()),
                          int(download.imageLength[slotIndex]));
    }

    bool untouched() const
    {
        return download.imageLength[slotIndex] == earlierLength
            && std::all_of(slot.begin(), slot.end(), [](uint8_t b) { return b == earlierByte; });
    }

    static constexpr int slotIndex = 4;
    QTemporaryDir dir;
    Download download;
    std::vector<uint8_t> slot;
};

} // namespace

TEST_F(LoadImage, SuffixChoosesTheKindIgnoringCase)
{
    const QByteArray hex = QByteArray::fromStdString(hexText);
    const QByteArray le = QByteArray::fromStdString(utf16(hexText, false));
    const QByteArray be = QByteArray::fromStdString(utf16(hexText, true));
    const struct
    {
        const char *name;
        QByteArray content;
        QByteArray image; // empty: the slot must stay as it was
    } cases[] = {
        {"a.hex", hex, hexImage},      {"a.HEX", hex, hexImage},
        {"a.Hex", hex, hexImage},      {"fw.bin.hex", hex, hexImage},
        {"b.bin", binBytes, binBytes}, {"b.BIN", binBytes, binBytes},
        {"b.bIn", binBytes, binBytes}, {"c.txt", hex, {}},
        {"noSuffix", hex, {}},         {"c.hex.bak", binBytes, {}},
        {"c.hexx", hex, {}},           {"le.hex", le, hexImage},
        {"be.hex", be, hexImage},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::fill(slot.begin(), slot.end(), earlierByte);
        download.imageLength[slotIndex] = earlierLength;
        EXPECT_EQ(download.loadImageFile(write(c.name, c.content), slotIndex), 0);
        if (c.image.isEmpty())
            EXPECT_TRUE(untouched());
        else
            EXPECT_EQ(loaded().toHex(), c.image.toHex());
    }
}

TEST_F(LoadImage, FailedLoadLeavesTheSlotAsItWas)
{
    const std::string farRecord = linear(0) + data(0, {1}) + linear(0x40) + data(0, {2});
    const struct
    {
        const char *name;
        QByteArray content; // null: the file is not created
        int result;
    } cases[] = {
        {"missing.hex", QByteArray(), 1},
        {"checksum.hex", QByteArray(":0100000011EF\n"), 1},
        {"invalidEarly.hex", QByteArray(":0100000011EE\n:0100010022DC\n\n") + hexText.c_str(), 1},
        {"past4MiB.hex", QByteArray::fromStdString(farRecord), 1},
        {"beforeStart.hex", QByteArray::fromStdString(linear(0) + data(8, {1}) + data(4, {2})), 1},
        {"missing.bin", QByteArray(), 2},
        {"over4MiB.bin", QByteArray(int(Download::imageBufferSize) + 1, '\x00'), 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = c.content.isNull() ? dir.filePath(c.name) : write(c.name, c.content);
        EXPECT_EQ(download.loadImageFile(path, slotIndex), c.result);
        EXPECT_TRUE(untouched());
    }
}

TEST_F(LoadImage, BinLoadsWholeFileOfExactly4MiB)
{
    QByteArray bytes(int(Download::imageBufferSize), '\x00');
    for (int k = 0; k < bytes.size(); ++k)
        bytes[k] = char(k * 7 + (k >> 16));
    ASSERT_EQ(download.loadImageFile(write("full.bin", bytes), slotIndex), 0);
    EXPECT_EQ(download.imageLength[slotIndex], Download::imageBufferSize);
    EXPECT_TRUE(loaded() == bytes);
}

TEST_F(LoadImage, EmptyFilesLoadWithLengthZero)
{
    for (const char *name : {"empty.hex", "empty.bin"}) {
        SCOPED_TRACE(name);
        download.imageLength[slotIndex] = earlierLength;
        EXPECT_EQ(download.loadImageFile(write(name, QByteArray()), slotIndex), 0);
        EXPECT_EQ(download.imageLength[slotIndex], 0u);
    }
}

TEST_F(LoadImage, ShortBinReadIsResultThree)
{
    // Attribute files of sysfs report a size of 4096 but deliver only a few bytes.
    const QString source = QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled");
    QFile probe(source);
    if (!probe.open(QIODevice::ReadOnly) || probe.readAll().size() >= QFileInfo(source).size())
        GTEST_SKIP() << "no sysfs attribute file to read short";
    const QString link = dir.filePath("short.bin");
    ASSERT_TRUE(QFile::link(source, link));
    EXPECT_EQ(download.loadImageFile(link, slotIndex), 3);
    EXPECT_TRUE(untouched());
}

TEST_F(LoadImage, SlotWithoutBufferIsRefused)
{
    const QString path = write("a.hex", QByteArray::fromStdString(hexText));
    EXPECT_EQ(download.loadImageFile(path, -1), -1);
    EXPECT_EQ(download.loadImageFile(path, Download::maxFiles), -1);
    EXPECT_EQ(download.loadImageFile(path, slotIndex + 1), -1);
    EXPECT_TRUE(untouched());
}
