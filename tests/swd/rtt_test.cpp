// The RTT reader and the functional check against control blocks planted in a target's RAM: a
// fake memory for every hostile field, and the virtual probe's target through the debug port.
#include "cmsisdap/cmsisdapprobe.h"
#include "swd/rtt/debugmemory.h"
#include "swd/rtt/rttcheck.h"
#include "virtualprobe.h"

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kRam = 0x20000000;
constexpr uint32_t kRamSize = 8192;

// A RAM that counts its reads and fails them on request.
class FakeRam : public rtt::TargetMemory
{
public:
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kRamSize, 0);
    bool failReads = false;
    size_t wordsRead = 0;
    // Each exchange: 'r' a read of its words, 'w' a write, 'x' a read then a write together.
    std::vector<std::pair<char, uint32_t>> exchanges;

    bool readWords(uint32_t address, uint32_t *words, size_t count) override
    {
        exchanges.push_back({'r', uint32_t(count)});
        return read(address, words, count);
    }
    bool readWordsThenWrite(uint32_t address, uint32_t *words, size_t count, uint32_t at,
                            uint32_t value) override
    {
        exchanges.push_back({'x', uint32_t(count)});
        if (!read(address, words, count))
            return false;
        put(at, value);
        return true;
    }
    bool read(uint32_t address, uint32_t *words, size_t count)
    {
        if (failReads)
            return false;
        if (address % 4 || address < kRam || address - kRam + count * 4 > kRamSize) {
            ADD_FAILURE() << "read outside the RAM at " << std::hex << address;
            return false;
        }
        wordsRead += count;
        std::memcpy(words, &bytes[address - kRam], count * 4);
        return true;
    }
    bool writeWord(uint32_t address, uint32_t value) override
    {
        exchanges.push_back({'w', 1});
        put(address, value);
        return true;
    }
    // Planting stops at the end of the RAM, as the firmware's block would.
    void put(uint32_t address, uint32_t value)
    {
        if (address - kRam + 4 <= kRamSize)
            std::memcpy(&bytes[address - kRam], &value, 4);
    }
    uint32_t get(uint32_t address) const
    {
        uint32_t v;
        std::memcpy(&v, &bytes[address - kRam], 4);
        return v;
    }
    void text(uint32_t address, const char *s)
    {
        std::memcpy(&bytes[address - kRam], s, strlen(s));
    }
};

// A block with one up- and one down-buffer; up-buffer 0's descriptor as given.
void plant(FakeRam &ram, uint32_t at, uint32_t up, uint32_t buffer, uint32_t size, uint32_t wr,
           uint32_t rd)
{
    ram.text(at, "SEGGER RTT");
    ram.put(at + 16, up);
    ram.put(at + 20, 1);
    ram.put(at + 24 + 4, buffer);
    ram.put(at + 24 + 8, size);
    ram.put(at + 24 + 12, wr);
    ram.put(at + 24 + 16, rd);
}

rtt::CheckResult check(FakeRam &ram, const char *expect, const char *fail = "")
{
    rtt::UpReader reader(ram, {kRam, kRamSize});
    rtt::CheckOptions o;
    o.expect = QRegularExpression(expect);
    o.fail = QRegularExpression(fail);
    o.timeoutMs = 50;
    int64_t now = 0;
    return rtt::runCheck(
        reader, o, [&] { return now; }, [&](int ms) { now += ms; });
}

TEST(RttCheck, EachOutcomeAndEveryHostileFieldGivesItsVerdict)
{
    const struct
    {
        const char *name;
        uint32_t at, up, buffer, size, wr, rd;
        const char *printed; // at buffer + rd
        const char *fail;
        rtt::Verdict verdict;
        const char *text;
        const char *error;
    } cases[] = {
        {"pass", 0x20000100, 3, 0x20000400, 64, 23, 0, "boot\nSELFTEST PASS 3/3\n", "FAIL",
         rtt::Verdict::Passed, "boot\nSELFTEST PASS 3/3\n", ""},
        {"fail pattern", 0x20000100, 1, 0x20000400, 64, 18, 0, "SELFTEST FAIL adc\n", "FAIL",
         rtt::Verdict::Failed, "SELFTEST FAIL adc\n", ""},
        {"time-out", 0x20000100, 1, 0x20000400, 64, 8, 0, "booting\n", "", rtt::Verdict::TimedOut,
         "booting\n", ""},
        {"id across two search chunks", 0x20001EC8, 1, 0x20001800, 32, 14, 0, "SELFTEST PASS\n", "",
         rtt::Verdict::Passed, "SELFTEST PASS\n", ""},
        {"no block", 0, 0, 0, 0, 0, 0, "", "", rtt::Verdict::NoControlBlock, "",
         "no RTT control block in 0x20000000+8192"},
        {"up count", 0x20000100, 0xFFFFFFFF, 0x20000400, 64, 0, 0, "", "", rtt::Verdict::BadBlock,
         "", "RTT control block at 0x20000100 has 4294967295 up- and 1 down-buffers"},
        {"block past the RAM", 0x20001FE0, 1, 0x20000400, 64, 0, 0, "", "", rtt::Verdict::BadBlock,
         "", "RTT control block at 0x20001fe0 runs past the RAM"},
        {"buffer past the RAM", 0x20000100, 1, 0x20001FF0, 256, 0, 0, "", "",
         rtt::Verdict::BadBlock, "", "RTT up-buffer 0 at 0x20001ff0+256 is not in the RAM"},
        {"buffer size wraps", 0x20000100, 1, 0x20000400, 0xFFFFFFFF, 0, 0, "", "",
         rtt::Verdict::BadBlock, "", "RTT up-buffer 0 at 0x20000400+4294967295 is not in the RAM"},
        {"write offset past the buffer", 0x20000100, 1, 0x20000400, 64, 4096, 0, "", "",
         rtt::Verdict::BadBlock, "", "RTT up-buffer 0 offsets 4096/0 past its 64 bytes"},
        {"read offset past the buffer", 0x20000100, 1, 0x20000400, 64, 0, 64, "", "",
         rtt::Verdict::BadBlock, "", "RTT up-buffer 0 offsets 0/64 past its 64 bytes"},
    };
    for (const auto &c : cases) {
        FakeRam ram;
        if (c.at)
            plant(ram, c.at, c.up, c.buffer, c.size, c.wr, c.rd);
        if (*c.printed)
            ram.text(c.buffer + c.rd, c.printed);
        const rtt::CheckResult r = check(ram, "SELFTEST PASS", c.fail);
        EXPECT_EQ(r.verdict, c.verdict) << c.name;
        EXPECT_EQ(r.text, QByteArray(c.text)) << c.name;
        EXPECT_EQ(r.error, QString(c.error)) << c.name;
        // However hostile the block, the reads stay bounded: at most one search of the RAM and
        // one poll per look, six looks in the time-out.
        EXPECT_LE(ram.wordsRead, 6 * (kRamSize / 4 + 16 + 32)) << c.name;
        if (c.verdict == rtt::Verdict::Passed) {
            EXPECT_EQ(ram.get(c.at + 24 + 16), c.wr) << c.name; // handed back to the firmware
        }
    }
}

TEST(RttCheck, TextThatWrappedIsReadInOrderAndAFailedReadIsItsOwnVerdict)
{
    FakeRam ram;
    plant(ram, 0x20000100, 1, 0x20000400, 16, 6, 10);
    ram.text(0x20000400 + 10, "SELFTE");
    ram.text(0x20000400, "ST OK\n");
    rtt::CheckResult r = check(ram, "SELFTEST OK");
    EXPECT_EQ(r.verdict, rtt::Verdict::Passed);
    EXPECT_EQ(r.text, QByteArray("SELFTEST OK\n"));
    EXPECT_EQ(ram.get(0x20000100 + 24 + 16), 6u);

    rtt::UpReader reader(ram, {kRam, kRamSize});
    ASSERT_EQ(reader.find(), rtt::Status::Ok);
    ram.failReads = true;
    r = check(ram, "SELFTEST OK");
    EXPECT_EQ(r.verdict, rtt::Verdict::ReadFailed);
    EXPECT_EQ(r.error, "RTT read at 0x20000000 failed");
    EXPECT_EQ(reader.blockAddress(), 0x20000100u);
    EXPECT_EQ(reader.find(0x20000102), rtt::Status::NotFound);
    EXPECT_EQ(reader.error(), "no RTT control block at 0x20000102: not a word in the RAM");
}

// The firmware moves WrOff between looks, or sets its block up again (both offsets back to 0, a
// new text): each look reads both offsets in one read (the search already read the block: the id
// is past the first chunk), the text and the new RdOff go in one exchange, and an offset gone
// past the buffer ends the check before a byte is read with it.
TEST(RttCheck, OffsetsThatChangeBetweenLooksAreCheckedEachTime)
{
    constexpr uint32_t kKeep = 0xDEADBEEF; // leaves the field as it is
    const struct
    {
        const char *name;
        uint32_t wr[3]; // WrOff after the first, second and third pause
        const char *restart; // the text a firmware that starts again writes at the first pause
        rtt::Verdict verdict;
        const char *text;
        const char *error;
        std::vector<std::pair<char, uint32_t>> exchanges;
        uint32_t rdAfter;
    } cases[] = {
        {"write offset past the buffer on the second look",
         {4096, kKeep, kKeep},
         nullptr,
         rtt::Verdict::BadBlock,
         "boot\n",
         "RTT up-buffer 0 offsets 4096/5 past its 64 bytes",
         {{'r', 64}, {'r', 128}, {'x', 2}, {'r', 2}},
         5},
        {"a look with nothing new reads the offsets and writes nothing",
         {kKeep, 19, kKeep},
         nullptr,
         rtt::Verdict::Passed,
         "boot\nSELFTEST PASS\n",
         "",
         {{'r', 64}, {'r', 128}, {'x', 2}, {'r', 2}, {'r', 2}, {'x', 4}},
         19},
        {"the firmware sets its block up again",
         {14, kKeep, kKeep},
         "SELFTEST PASS\n",
         rtt::Verdict::Passed,
         "boot\nSELFTEST PASS\n",
         "",
         {{'r', 64}, {'r', 128}, {'x', 2}, {'r', 2}, {'x', 4}},
         14},
    };
    constexpr uint32_t at = 0x20000100, buffer = 0x20000400, wrOff = at + 24 + 12;
    for (const auto &c : cases) {
        FakeRam ram;
        plant(ram, at, 1, buffer, 64, 5, 0);
        ram.text(buffer, "boot\nSELFTEST PASS\n");
        rtt::UpReader reader(ram, {kRam, kRamSize});
        rtt::CheckOptions o;
        o.expect = QRegularExpression("SELFTEST PASS");
        o.timeoutMs = 50;
        int64_t now = 0;
        int pauses = 0;
        const rtt::CheckResult r = rtt::runCheck(
            reader, o, [&] { return now; },
            [&](int ms) {
                now += ms;
                if (pauses == 0 && c.restart) {
                    ram.text(buffer, c.restart);
                    ram.put(wrOff + 4, 0);
                }
                if (pauses < 3 && c.wr[pauses] != kKeep)
                    ram.put(wrOff, c.wr[pauses]);
                ++pauses;
            });
        EXPECT_EQ(r.verdict, c.verdict) << c.name;
        EXPECT_EQ(r.text, QByteArray(c.text)) << c.name;
        EXPECT_EQ(r.error, QString(c.error)) << c.name;
        EXPECT_EQ(ram.exchanges, c.exchanges) << c.name;
        EXPECT_EQ(ram.get(wrOff + 4), c.rdAfter) << c.name;
    }
}

// The block planted in the virtual target's RAM and read through the debug port as on a board.
TEST(RttCheck, ReadsABlockInTheVirtualTargetsRamThroughTheDebugPort)
{
    vprobe::VirtualProbe::instance().reset();
    vprobe::CmsisDapProbe::instance().reset();
    vprobe::CmsisDapProbe::instance().setEnabled(true);
    hid_device *dev = hid_open(0x0D28, 0x0204, nullptr);
    ASSERT_NE(dev, nullptr);
    {
        HidTransport hid(dev);
        DapPipe link(hid);
        DebugPort port(link);
        ASSERT_TRUE(link.open() && port.connect(1000000));
        const char printed[] = "SELFTEST PASS crc=1f\n\0\0";
        std::vector<uint32_t> block = {0x47474553, 0x52205245, 0x00005454, 0,  1, 1,
                                       0,          0x20000800, 256,        21, 0, 0};
        block.resize(18, 0);
        std::vector<uint32_t> text(6);
        std::memcpy(text.data(), printed, 24);
        ASSERT_TRUE(port.writeBlock(0x20000200, block.data(), block.size())
                    && port.writeBlock(0x20000800, text.data(), text.size()) && port.sync());
        rtt::DebugMemory memory(port);
        rtt::UpReader reader(memory, {0x20000000, 0x4000});
        rtt::CheckOptions o;
        o.expect = QRegularExpression("SELFTEST PASS");
        o.timeoutMs = 0;
        const rtt::CheckResult r = rtt::runCheck(reader, o);
        EXPECT_EQ(r.verdict, rtt::Verdict::Passed) << r.error.toStdString();
        EXPECT_EQ(r.text, QByteArray("SELFTEST PASS crc=1f\n"));
        uint32_t rd = 0;
        ASSERT_TRUE(port.read32(0x20000200 + 24 + 16, rd));
        EXPECT_EQ(rd, 21u);
    }
    hid_close(dev);
    vprobe::CmsisDapProbe::instance().setEnabled(false);
}

} // namespace
