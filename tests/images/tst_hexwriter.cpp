// Read-outs saved as HEX: records checked against hand-computed lines, and the reader takes
// them back to the same bytes.
#include "images/hexfilereader.h"
#include "images/hexwriter.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace {

QByteArray counting(int from, int to)
{
    QByteArray bytes;
    for (int i = from; i < to; ++i)
        bytes.append(char(i));
    return bytes;
}

TEST(HexWriter, RecordsSplitAt64KiBAndEndWithTheEndRecord)
{
    const struct
    {
        uint32_t address;
        QByteArray bytes;
        const char *text;
    } cases[] = {
        {0x0000FFF8, counting(0, 20),
         ":020000040000FA\n:08FFF8000001020304050607E5\n:020000040001F9\n"
         ":0C00000008090A0B0C0D0E0F1011121352\n:00000001FF\n"},
        {0x10000010, counting(0, 16) + QByteArray(1, char(0xAB)),
         ":020000041000EA\n:10001000000102030405060708090A0B0C0D0E0F68\n:01002000AB34\n"
         ":00000001FF\n"},
        {0x100, QByteArray(), ":00000001FF\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(intelHex(c.address, c.bytes), QByteArray(c.text)) << c.address;
}

TEST(HexWriter, ReaderLoadsWhatItWrote)
{
    QByteArray bytes;
    for (int i = 0; i < 70000; ++i)
        bytes.append(char((i * 13 + 5) & 0xFF));
    QByteArray text = intelHex(0x0001FF00, bytes);
    QBuffer buffer(&text);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    HexFileReader reader;
    ASSERT_EQ(reader.readDevice(buffer), 0);
    ASSERT_EQ(reader.length, bytes.size());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(reader.image()), reader.length), bytes);
}

} // namespace
