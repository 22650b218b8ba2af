// Proves the test host's own safety net: a routine that does not return cleanly must fail the
// call, never pass it or hang the test.
#include "flashhost.h"
#include "variants.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kCode = 0x20000100;
constexpr uint32_t kCanary = FlashHost::kStackTop - FlashHost::kStackSize - 4;

std::vector<uint8_t> thumb(std::initializer_list<uint16_t> halfwords)
{
    std::vector<uint8_t> bytes;
    for (uint16_t h : halfwords) {
        bytes.push_back(uint8_t(h));
        bytes.push_back(uint8_t(h >> 8));
    }
    return bytes;
}

TEST(FlashHostTest, callFailsUnlessRoutineReturnsCleanly)
{
    const struct
    {
        const char *what;
        std::vector<uint8_t> code;
        std::vector<uint32_t> args;
        const char *failure; // empty: must return
    } cases[] = {
        {"returns 7", thumb({0x2007, 0x4770}), {}, ""}, // movs r0,#7; bx lr
        {"leaves SP lowered",
         thumb({0xB082, 0x4770}),
         {}, // sub sp,#8; bx lr
         "SP 0x20003EF8 not restored to 0x20003F00; "},
        {"writes below its stack",
         thumb({0x6001, 0x4770}),
         {kCanary, 0}, // str r1,[r0]
         "stack canary overwritten; wrote RAM outside its stack and PrgData at 0x20003CFC; "},
        {"writes into its own code",
         thumb({0x6001, 0x4770}),
         {kCode, 0},
         "wrote RAM outside its stack and PrgData at 0x20000100; "},
        {"spins",
         thumb({0xE7FE}),
         {}, // b .
         "no return within 10000 instructions (PC 0x20000100); "},
        {"uses r9 as a GOT base",
         thumb({0x4648, 0x6800, 0x4770}),
         {}, // mov r0,r9; ldr r0,[r0]
         "emulation stopped: Invalid memory read (UC_ERR_READ_UNMAPPED) at 0x20000102"},
    };
    for (const auto &c : cases) {
        TargetModel model;
        FlashHost host(model);
        ASSERT_EQ(host.setupError(), "");
        host.setInstructionBudget(10000);
        host.writeRam(kCode, c.code);
        const CallResult result = host.callAt(kCode, c.args);
        EXPECT_EQ(result.failure, c.failure) << c.what;
        EXPECT_EQ(result.returned, *c.failure == '\0') << c.what;
        if (result.returned) {
            EXPECT_EQ(result.value, 7u);
        }
    }
}

// A controller that never finishes: the erase routine waits without limit by design, and the
// host's instruction budget is what ends the call.
TEST(FlashHostTest, stalledControllerFailsEraseWithinBudget)
{
    TargetModel model;
    FlashHost host(model);
    std::string error;
    const std::optional<ElfImage> image = ElfImage::load(kMainFlash.path, error);
    ASSERT_TRUE(image) << error;
    ASSERT_TRUE(host.load(*image, 0x20000400, error)) << error;
    ASSERT_TRUE(host.call("Init", {0, 0, 1}).returned);
    model.setStalled(true);
    host.setInstructionBudget(50000);
    const CallResult result = host.call("EraseSector", {0x200});
    EXPECT_FALSE(result.returned);
    EXPECT_EQ(result.failure.rfind("no return within 50000 instructions", 0), 0u) << result.failure;
}

} // namespace
