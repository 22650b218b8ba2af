// The HEX reader on bytes in memory: record placement, phases, line ends, field reading and every
// way a line fails, each case also read in tiny blocks so that lines straddle reads.
#include "hexrecords.h"
#include "images/hexfilereader.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace hextest;

namespace {

constexpr int64_t anyStart = -1;

struct ReadCase
{
    const char *name;
    std::string text;
    int result;
    const char *image = ""; // expected bytes in hex (blanks ignored), for result 0
    int64_t start = anyStart;
};

struct ReadOutcome
{
    int result;
    QByteArray image;
    uint32_t start;
};

ReadOutcome readText(const std::string &text, int blockSize = HexFileReader::defaultBlockSize)
{
    QByteArray bytes(text.data(), int(text.size()));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    HexFileReader reader;
    reader.setBlockSize(blockSize);
    const int result = reader.readDevice(device);
    QByteArray image;
    if (result == 0)
        image = QByteArray(reinterpret_cast<const char *>(reader.image()), reader.length);
    return {result, image, reader.start};
}

const std::vector<uint8_t> four = {0x11, 0x22, 0x33, 0x44};

std::vector<ReadCase> placementCases()
{
    return {
        {"empty file", "", 0, ""},
        {"typical", linear(0) + data(0, four) + record(5, 0, {0, 0, 1, 0x41}) + endOfFile, 0,
         "11223344", 0},
        {"first record at 0x1000", linear(0) + data(0x1000, four) + endOfFile, 0, "11223344",
         0x1000},
        {"no end record", linear(0) + data(0, four), 0, "11223344"},
        {"gap reads 0xFF", linear(0) + data(0x10, {1, 2}) + data(0x14, {3}) + endOfFile, 0,
         "0102FFFF03", 0x10},
        {"crossing 64 KiB",
         linear(0) + data(0xFFFC, four) + linear(1) + data(0, {0x55, 0x66}) + endOfFile, 0,
         "11223344 5566", 0xFFFC},
        {"segment records",
         segment(0x1000) + data(0, four) + segment(0x1001) + data(0, {5}) + endOfFile, 0,
         "11223344 FFFFFFFFFFFFFFFFFFFFFFFF 05", 0x10000},
        {"second extended record before data",
         segment(0x1000) + segment(0x1001) + data(4, {9}) + endOfFile, 0,
         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF 09", 0x10000},
        {"descending records",
         linear(0) + data(0, four) + data(0x10, {0xAA, 0xBB, 0xCC, 0xDD}) + data(8, {0xEE, 0xFF})
             + endOfFile,
         0, "11223344 FFFFFFFF EEFF", 0},
        {"empty record fixes start",
         linear(1) + data(0x0200, {}) + data(0x0204, {7, 8}) + endOfFile, 0, "FFFFFFFF 0708",
         0x10200},
        {"empty record moves length on", linear(0) + data(0, {1, 2}) + data(6, {}) + endOfFile, 0,
         "0102FFFFFFFF", 0},
        {"empty record moves length back", linear(0) + data(0, four) + data(2, {}) + endOfFile, 0,
         "1122", 0},
        {"start records skipped",
         linear(0) + record(3, 0, {0, 0, 0, 0}) + data(0, {1}) + record(5, 0, {1, 2, 3, 4})
             + endOfFile,
         0, "01", 0},
        {"lines after the end record ignored",
         linear(0) + data(0, {1}) + endOfFile + "\n  garbage\n" + data(1, {2}) + ":000000", 0,
         "01"},
        // Mended: records before any extended address record are placed by their offsets (objcopy
        // writes no 04 record below 64 KiB) ...
        {"no extended record keeps gaps", data(0x100, {1, 2}) + data(0x104, {3, 4}) + endOfFile, 0,
         "0102FFFF0304", 0x100},
        // ... and the first extended address record does not wipe them.
        {"data before the first extended record",
         data(0, {1, 2}) + linear(0) + data(4, {3, 4}) + endOfFile, 0, "0102FFFF0304", 0},
        {"empty record before the first extended record",
         data(0, {}) + linear(0x0800) + data(0x10, {1, 2}) + endOfFile, 0, "0102", 0x08000010},
    };
}

std::vector<ReadCase> lineCases()
{
    return {
        {"lower-case digits", ":04000a00aabbccdde4\n:00000001ff\n", 0, "AABBCCDD", 10},
        {"CR LF line ends", ":0100000011EE\r\n:00000001FF\r\n", 0, "11"},
        {"last line without line end", ":0100000011EE", 0, "11"},
        {"last line ends in CR", ":0100000011EE\r", 0, "11"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF:0100000011EE\n", 0, "11"},
        {"pair 'A:' reads 0x0A", ":01000000A:F5\n", 0, "0A"},
        {"pair ':A' reads 0", ":01000000:AFF\n", 0, "00"},
        {"Latin-1 byte is one character",
         ":01000000\xE9"
         "0FF\n",
         0, "00"},
        {"blank line", ":0100000011EE\n\n:00000001FF\n", -1},
        {"trailing space", ":0100000011EE \n:00000001FF\n", -1},
        {"missing colon", "0100000011EE\n", -1},
        {"line too short", ":0100000011\n", -1},
        {"line too long", ":0100000011EE00\n", -1},
        {"checksum failure", ":0100000011EF\n", -1},
        {"type 06", record(6, 0, {}), -1},
        {"type FF", record(0xFF, 0, {1}), -1},
        {"lone CR inside a line", ":01000000\r11EE\n", -1},
        {"CR CR LF", ":0100000011EE\r\r\n", -1},
        {"bad line without end record", ":0100000011EE\n:01", -1},
        {"overlong line", ":" + std::string(100000, '0') + "\n", -1},
        {"overlong last line", ":" + std::string(100000, '0'), -1},
        {"extended record with one byte", record(4, 0, {1}) + data(0, {1}), -1},
        {"record before the start", linear(0) + data(0x10, four) + data(0x0C, four), -1},
        {"record crossing 4 MiB", linear(0) + data(0, {1}) + linear(0x3F) + data(0xFFFF, {1, 2}),
         -1},
        {"record 4 MiB past the start", linear(0) + data(0, {1}) + linear(0x40) + data(0, {1}), -1},
        {"empty record past 4 MiB", linear(0) + data(0, {1}) + linear(0x40) + data(1, {}), -1},
    };
}

void checkCases(const std::vector<ReadCase> &cases)
{
    for (const ReadCase &c : cases) {
        for (int blockSize : {HexFileReader::defaultBlockSize, 1, 2, 7, 64}) {
            SCOPED_TRACE(std::string(c.name) + ", block size " + std::to_string(blockSize));
            const ReadOutcome out = readText(c.text, blockSize);
            ASSERT_EQ(out.result, c.result);
            if (c.result != 0)
                continue;
            EXPECT_EQ(out.image.toHex().toUpper(), QByteArray::fromHex(c.image).toHex().toUpper());
            if (c.start != anyStart) {
                EXPECT_EQ(out.start, uint32_t(c.start));
            }
        }
    }
}

} // namespace

TEST(HexFileReader, PlacesRecords)
{
    checkCases(placementCases());
}

TEST(HexFileReader, ReadsLinesAndFields)
{
    checkCases(lineCases());
}

// Text saved as UTF-16 with a byte-order mark reads exactly like the same text in one byte each;
// a code unit beyond Latin-1 reads '?' (whose pair reads 0), and so does a dangling last byte.
TEST(HexFileReader, Utf16TextReadsLikeItsByteTwin)
{
    std::vector<ReadCase> cases = placementCases();
    for (const ReadCase &c : lineCases())
        cases.push_back(c);
    for (bool big : {false, true}) {
        for (const ReadCase &c : cases) {
            for (int blockSize : {HexFileReader::defaultBlockSize, 1, 7}) {
                SCOPED_TRACE(c.name + std::string(big ? ", BE " : ", LE ")
                             + std::to_string(blockSize));
                const ReadOutcome twin = readText(c.text, blockSize);
                const ReadOutcome out = readText(utf16(c.text, big), blockSize);
                ASSERT_EQ(out.result, twin.result);
                EXPECT_EQ(out.image, twin.image);
                EXPECT_EQ(out.start, twin.start);
            }
        }
        std::string beyond = utf16(":01000000A0FF\n", big);
        beyond[2 + 2 * 9 + (big ? 0 : 1)] = '\x01'; // 'A' becomes U+0141
        EXPECT_EQ(readText(beyond).image, QByteArray(1, '\0'));
        EXPECT_EQ(readText(utf16(":0100000011EE\n:00000001FF", big) + "\x01").result, -1);
    }
}

TEST(HexFileReader, UnsignedLinearAddressJoinsAcrossTheBoundary)
{
    // 0x0080 must give base 0x00800000: the record after 0x0081 lands 0xFFF0 bytes on.
    const ReadOutcome out =
        readText(linear(0x0080) + data(0x0010, {1}) + linear(0x0081) + data(0, {2}) + endOfFile);
    ASSERT_EQ(out.result, 0);
    EXPECT_EQ(out.start, 0x00800010u);
    ASSERT_EQ(out.image.size(), 0xFFF1);
    EXPECT_EQ(out.image.front(), '\x01');
    EXPECT_EQ(out.image.back(), '\x02');
    EXPECT_EQ(out.image.count('\xFF'), 0xFFEF);
}

TEST(HexFileReader, FillsTheWholeBufferUpToItsLastByte)
{
    const ReadOutcome out = readText(linear(0) + data(0, {1}) + linear(0x3F) + data(0xFFFF, {2}));
    ASSERT_EQ(out.result, 0);
    ASSERT_EQ(out.image.size(), HexFileReader::imageSize);
    EXPECT_EQ(out.image.front(), '\x01');
    EXPECT_EQ(out.image.back(), '\x02');
    EXPECT_EQ(out.image.count('\xFF'), HexFileReader::imageSize - 2);
}
