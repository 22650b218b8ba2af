// Read-back services of the virtual probe: offline-job erase, range verify, MD5 and CRC-32 with
// their reply checksums, and the read-protected answer.
#include "probekit.h"

#include <numeric>

using namespace kit;

namespace {

Bytes hex(const char *text)
{
    Bytes out;
    for (size_t i = 0; text[i] && text[i + 1]; i += 2)
        out.push_back(uint8_t(std::stoi(std::string(text + i, 2), nullptr, 16)));
    return out;
}

Report rangeReport(uint8_t command, uint32_t address, uint32_t size, const Bytes &digest = {})
{
    Report r = report(command, {2});
    put32(r, 3, address);
    put32(r, 7, size);
    std::copy(digest.begin(), digest.end(), r.begin() + 11);
    return sealStandard(r);
}

class ReadBack : public ProbeTest
{
protected:
    void SetUp() override
    {
        ProbeTest::SetUp();
        Bytes counting(256);
        std::iota(counting.begin(), counting.end(), 0);
        probe().writeFlash(0x3000, counting);
    }
    void detectAndCheck()
    {
        exchange(report(0x94));
        exchange(report(0x95, {2}));
    }
};

TEST_F(ReadBack, OfflineEraseTakesOnlyTheFixedReport)
{
    Report fixed{};
    for (size_t k = 0; k <= 64; ++k)
        fixed[k] = uint8_t(k);
    fixed[0] = 0;
    fixed[1] = 0x92;
    fixed[61] = 0xB7, fixed[62] = 0x07, fixed[63] = 0, fixed[64] = 0;
    Job job;
    job.fileCount = 0;
    job.program = false;
    job.offline = true;
    startJob(job, {});
    finish();
    ASSERT_TRUE(probe().storedJob().offlineJobStored);
    EXPECT_EQ(exchange(fixed, 600), reply64({0x92, 0xAA}));
    EXPECT_FALSE(probe().storedJob().offlineJobStored);

    fixed[30] = 0;
    EXPECT_EQ(status(sealStandard(fixed)), vprobe::BadLayout);
}

TEST_F(ReadBack, VerifyComparesTheRangeDigest)
{
    Bytes counting(256);
    std::iota(counting.begin(), counting.end(), 0);
    Bytes other = counting;
    other[255] = 0;
    EXPECT_EQ(status(rangeReport(0x93, 0x3000, 256, md5(counting))), vprobe::OutOfOrder);
    detectAndCheck();
    EXPECT_EQ(status(rangeReport(0x93, 0x3000, 256, md5(counting))), 0xAA);
    EXPECT_EQ(
        status(rangeReport(0x93, 0x3000, 255, md5(Bytes(counting.begin(), counting.end() - 1)))),
        0xAA)
        << "a length that is not a whole word";
    EXPECT_EQ(status(rangeReport(0x93, 0x3000, 256, md5(other))), 0x55);
    EXPECT_EQ(status(rangeReport(0x93, 0x3002, 4, md5(other))), vprobe::BadLayout);
}

TEST_F(ReadBack, Md5AndCrcRepliesCarryTheirOwnChecksum)
{
    struct Case
    {
        uint8_t command;
        uint32_t address, size;
        Bytes value; // reply bytes from 4 on
        size_t sumAt;
    };
    const Case cases[] = {
        {0x91, 0x3000, 256, hex("e2c865db4162bed963bfaa9ef6ac18f0"), 20},
        {0x91, 0x8000, 0, hex("d41d8cd98f00b204e9800998ecf8427e"), 20},
        {0x91, 0x8000, 4096, hex("6ae59e64850377ee5470c854761551ea"), 20},
        {0x8F, 0x3000, 256, {0x73, 0x8C, 0x05, 0x29}, 8},
        {0x8F, 0x8000, 4096, {0x0A, 0x67, 0x54, 0xF1}, 8},
    };
    for (const Case &c : cases) {
        detectAndCheck();
        const Bytes reply = exchange(rangeReport(c.command, c.address, c.size));
        ASSERT_EQ(reply.size(), 64u);
        EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 2), (Bytes{c.command, 0x00}));
        EXPECT_EQ(Bytes(reply.begin() + 4, reply.begin() + 4 + long(c.value.size())), c.value);
        const uint32_t sum = std::accumulate(reply.begin(), reply.begin() + long(c.sumAt), 0u);
        EXPECT_EQ(Bytes(reply.begin() + long(c.sumAt), reply.begin() + long(c.sumAt) + 4),
                  (Bytes{uint8_t(sum), uint8_t(sum >> 8), uint8_t(sum >> 16), uint8_t(sum >> 24)}));
    }
}

TEST_F(ReadBack, BadRequestsGetTheReadError)
{
    const Report cases[] = {
        rangeReport(0x91, 0x3001, 4), // unaligned address
        rangeReport(0x8F, 0x3000, 6), // size not a whole word
        rangeReport(0x8F, 0xFFFFFF00, 0x200), // runs past 4 GiB
        rangeReport(0x91, 0, 0x2000000), // longer than any chip's flash
    };
    for (const Report &r : cases) {
        detectAndCheck();
        EXPECT_EQ(exchange(r), reply64({r[1], 0xFF}));
    }
    detectAndCheck();
    Report badSum = rangeReport(0x91, 0x3000, 4);
    badSum[64] = 1;
    EXPECT_EQ(status(badSum), 0xFF);
}

TEST_F(ReadBack, ReadProtectedChipAnswersCcWithoutData)
{
    vprobe::ChipState chip;
    chip.readProtected = true;
    probe().setChip(chip);
    for (uint8_t command : {0x91, 0x8F, 0x93}) {
        detectAndCheck();
        EXPECT_EQ(exchange(rangeReport(command, 0x3000, 256)), reply64({command, 0xCC}));
    }
}

} // namespace
