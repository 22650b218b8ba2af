// CRC-32: the published check values, agreement with a bit-by-bit reference at every length and
// alignment (this covers all eight tables), and the per-slot checksums.
#include "engine/download.h"
#include "hexrecords.h"
#include "images/crc32.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

// Shift-register form of the same CRC, independent of the tables.
uint32_t bitwiseCrc32(const uint8_t *data, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

std::vector<uint8_t> randomBytes(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t &b : bytes)
        b = uint8_t(random());
    return bytes;
}

} // namespace

TEST(Crc32, CheckValues)
{
    const struct
    {
        std::vector<uint8_t> bytes;
        uint32_t crc;
    } cases[] = {
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0xCBF43926u},
        {{}, 0x00000000u},
        {{0x00}, 0xD202EF8Du},
        {{0xFF}, 0xFF000000u},
        {std::vector<uint8_t>(32, 0x00), 0x190A55ADu},
        {std::vector<uint8_t>(32, 0xFF), 0xFF6CAB0Bu},
    };
    for (const auto &c : cases)
        EXPECT_EQ(calcCrc32(c.bytes.data(), uint32_t(c.bytes.size())), c.crc);
}

TEST(Crc32, EmptyInputReadsNothing)
{
    EXPECT_EQ(calcCrc32(nullptr, 0), 0u);
}

TEST(Crc32, MatchesBitwiseReferenceAtEveryLengthAndAlignment)
{
    const std::vector<uint8_t> bytes = randomBytes(4096 + 64, 1);
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length : {1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 63, 64, 65, 1000, 4096}) {
            SCOPED_TRACE("offset " + std::to_string(offset) + ", length " + std::to_string(length));
            EXPECT_EQ(calcCrc32(bytes.data() + offset, uint32_t(length)),
                      bitwiseCrc32(bytes.data() + offset, length));
        }
    }
}

TEST(Crc32, FileCrcCoversListedSlotsOnly)
{
    std::vector<uint8_t> first = randomBytes(1001, 2);
    std::vector<uint8_t> second = first; // same bytes, another flash address
    std::vector<uint8_t> third = randomBytes(10, 3);
    Download download;
    download.imageData[0] = first.data();
    download.imageData[1] = second.data();
    download.imageData[2] = third.data();
    download.imageAddress[1] = 0x8000;
    for (int i = 0; i < 3; ++i)
        download.imageLength[i] = uint32_t(i < 2 ? first.size() : third.size());
    // Values the constructor never writes: a slot that is computed cannot keep them.
    for (uint32_t &crc : download.fileCrc)
        crc = 0x12345678;

    download.fileCount = 0;
    EXPECT_EQ(download.calcFileCrc32(), 0);
    for (uint32_t crc : download.fileCrc)
        EXPECT_EQ(crc, 0x12345678u);

    download.fileCount = 2;
    EXPECT_EQ(download.calcFileCrc32(), 0);
    EXPECT_EQ(download.fileCrc[0], bitwiseCrc32(first.data(), first.size()));
    EXPECT_EQ(download.fileCrc[1], download.fileCrc[0]);
    EXPECT_EQ(download.fileCrc[2], 0x12345678u);
}

TEST(Crc32, HexGapBytesAreSummed)
{
    using namespace hextest;
    QTemporaryDir dir;
    const QString path = dir.filePath("gap.hex");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(linear(0) + data(0, {1, 2}) + data(5, {3}) + endOfFile));
    file.close();
    std::vector<uint8_t> slot(Download::imageBufferSize);
    Download download;
    download.imageData[0] = slot.data();
    download.fileCount = 1;
    ASSERT_EQ(download.loadImageFile(path, 0), 0);
    download.calcFileCrc32();
    const uint8_t expected[] = {1, 2, 0xFF, 0xFF, 0xFF, 3};
    EXPECT_EQ(download.fileCrc[0], bitwiseCrc32(expected, sizeof expected));
}
