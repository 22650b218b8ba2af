// The virtual board's reset wiring, driven with raw command bytes: nRESET from DAP_SWJ_Pins and
// DAP_ResetTarget reaches the part, the reset request meets the board's wiring, and a part whose
// firmware took the SWD pins answers again only once nRESET is held.
#include "rawdap.h"

#include <gtest/gtest.h>

namespace {

using rawdap::Bytes;
using vprobe::CmsisDapDevice;

constexpr uint32_t kSReset = 1u << 25, kSHalt = 1u << 17;

using rawdap::bringUp;
using rawdap::run;

Bytes le(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// TAR then DRW: the reply of the pair.
Bytes write32(CmsisDapDevice &d, uint32_t address, uint32_t value)
{
    Bytes c{0x05, 0, 2, 0x05};
    for (uint8_t b : le(address))
        c.push_back(b);
    c.push_back(0x0D);
    for (uint8_t b : le(value))
        c.push_back(b);
    return run(d, c);
}

uint32_t read32(CmsisDapDevice &d, uint32_t address)
{
    Bytes c{0x05, 0, 2, 0x05};
    for (uint8_t b : le(address))
        c.push_back(b);
    c.push_back(0x0F);
    const Bytes r = run(d, c);
    if (r.size() != 7 || r[2] != 0x01)
        return 0xDEADBEEF;
    return uint32_t(r[3]) | uint32_t(r[4]) << 8 | uint32_t(r[5]) << 16 | uint32_t(r[6]) << 24;
}

const Bytes kIdcodeRead{0x05, 0, 1, 0x02};
const Bytes kIdcodeReply{0x05, 0x01, 0x01, 0x77, 0x14, 0xB1, 0x0B};
const Bytes kNoAck{0x05, 0x00, 0x07};

TEST(ResetWiring, NResetHoldsThePartWhileTheDebugPortStillAnswers)
{
    CmsisDapDevice d;
    bringUp(d);
    ASSERT_EQ(write32(d, 0xE000EDF0, 0xA05F0001), (Bytes{0x05, 0x02, 0x01}));
    read32(d, 0xE000EDF0); // the sticky reset flag of power-up

    // Held low: the pins read back with nRESET low, the DP answers, the core is in reset.
    EXPECT_EQ(run(d, {0x10, 0x00, 0x80, 0, 0, 0, 0}), (Bytes{0x10, 0x03}));
    EXPECT_EQ(run(d, kIdcodeRead), kIdcodeReply);
    EXPECT_EQ(read32(d, 0xE000EDF0) & (kSReset | kSHalt), kSReset);
    // C_HALT while held: released, the core stops before its first instruction.
    ASSERT_EQ(write32(d, 0xE000EDF0, 0xA05F0003), (Bytes{0x05, 0x02, 0x01}));
    EXPECT_EQ(run(d, {0x10, 0x80, 0x80, 0, 0, 0, 0}), (Bytes{0x10, 0x83}));
    EXPECT_EQ(read32(d, 0xE000EDF0) & (kSReset | kSHalt), kSReset | kSHalt);

    // DAP_ResetTarget pulses nRESET and says it did.
    EXPECT_EQ(run(d, {0x0A}), (Bytes{0x0A, 0x00, 0x01}));
    EXPECT_EQ(read32(d, 0xE000EDF0) & kSReset, kSReset);
    EXPECT_EQ(read32(d, 0xE000EDF0) & kSReset, 0u);
}

TEST(ResetWiring, TheResetRequestMeetsTheBoardsWiring)
{
    using Request = CmsisDapDevice::ResetRequest;
    const struct
    {
        Request how;
        Bytes reply; // of the TAR and DRW writes
        uint32_t reset;
    } rows[] = {
        {Request::Acked, {0x05, 0x02, 0x01}, kSReset},
        {Request::AckLost, {0x05, 0x01, 0x07}, kSReset},
        {Request::Ignored, {0x05, 0x02, 0x01}, 0},
    };
    for (const auto &row : rows) {
        CmsisDapDevice d;
        d.setResetRequest(row.how);
        bringUp(d);
        read32(d, 0xE000EDF0);
        EXPECT_EQ(write32(d, 0xE000ED0C, 0x05FA0004), row.reply) << int(row.how);
        EXPECT_EQ(read32(d, 0xE000EDF0) & kSReset, row.reset) << int(row.how);
        // Only the reset request loses its ACK; a VECTCLRACTIVE write does not.
        EXPECT_EQ(write32(d, 0xE000ED0C, 0x05FA0002), (Bytes{0x05, 0x02, 0x01}));
    }
}

TEST(ResetWiring, PinsTakenForGpioAnswerAgainOnlyUnderNReset)
{
    CmsisDapDevice d;
    bringUp(d);
    // Another value leaves the pins alone.
    ASSERT_EQ(write32(d, 0x40000030, 0x0000A5D0), (Bytes{0x05, 0x02, 0x01}));
    EXPECT_EQ(run(d, kIdcodeRead), kIdcodeReply);
    ASSERT_EQ(write32(d, 0x40000030, 0x0000A5D1), (Bytes{0x05, 0x02, 0x01}));
    EXPECT_EQ(run(d, kIdcodeRead), kNoAck);
    // A line reset does not bring them back; nRESET does, and they stay the DP's after it.
    run(d, {0x12, 51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(run(d, kIdcodeRead), kNoAck);
    run(d, {0x10, 0x00, 0x80, 0, 0, 0, 0});
    EXPECT_EQ(run(d, kIdcodeRead), kIdcodeReply);
    EXPECT_EQ(read32(d, 0x40000030), 0u);
    run(d, {0x10, 0x80, 0x80, 0, 0, 0, 0});
    EXPECT_EQ(run(d, kIdcodeRead), kIdcodeReply);
}

} // namespace
