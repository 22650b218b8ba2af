// The nRF51822 on the virtual board: what its NVMC obeys and ignores, the FICR a tool identifies
// it by, UART0's transmitter, and the bus errors of its map.
#include "cmsisdap/cortexcore.h"
#include "cmsisdap/parts/nrf51part.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vprobe::Nrf51Part;

constexpr uint32_t kReady = Nrf51Part::kReady, kConfig = Nrf51Part::kConfig,
                   kErasePage = Nrf51Part::kErasePage, kEraseAll = Nrf51Part::kEraseAll,
                   kEraseUicr = Nrf51Part::kEraseUicr;

struct Access
{
    uint32_t address;
    unsigned size;
    uint32_t value;
};

uint32_t word(Nrf51Part &part, uint32_t address)
{
    uint32_t value = 0xDEADBEEF;
    EXPECT_TRUE(part.read(address, 4, value)) << std::hex << address;
    return value;
}

TEST(Nrf51Part, TheNvmcWritesUnderWenAndErasesUnderEenOnly)
{
    const struct
    {
        const char *name;
        std::vector<Access> writes;
        uint32_t flash400, uicr0;
        std::vector<std::string> log;
    } rows[] = {
        {"write under REN",
         {{kConfig, 4, 0}, {0x400, 4, 0}},
         0xFFFFFFFF,
         0xFFFFFFFF,
         {"write ignored under CONFIG 0 at 0x00000400"}},
        {"write under WEN", {{kConfig, 4, 1}, {0x400, 4, 0x12345678}}, 0x12345678, 0xFFFFFFFF, {}},
        {"a second write only clears bits",
         {{kConfig, 4, 1}, {0x400, 4, 0x0000FFFF}, {0x400, 4, 0xFFFF1234}},
         0x00001234,
         0xFFFFFFFF,
         {}},
        {"a halfword is refused",
         {{kConfig, 4, 1}, {0x402, 2, 0}},
         0xFFFFFFFF,
         0xFFFFFFFF,
         {"write not a whole word ignored at 0x00000402"}},
        {"write under EEN",
         {{kConfig, 4, 2}, {0x400, 4, 0}},
         0xFFFFFFFF,
         0xFFFFFFFF,
         {"write ignored under CONFIG 2 at 0x00000400"}},
        {"the UICR programs like flash",
         {{kConfig, 4, 1}, {0x10001000, 4, 0xFFFFFF00}},
         0xFFFFFFFF,
         0xFFFFFF00,
         {}},
        {"erase under WEN",
         {{kConfig, 4, 1}, {0x400, 4, 0}, {kErasePage, 4, 0x400}},
         0,
         0xFFFFFFFF,
         {"erase ignored under CONFIG 1 at 0x4001E508"}},
        {"page erase, any address in the page",
         {{kConfig, 4, 1}, {0x400, 4, 0}, {kConfig, 4, 2}, {kErasePage, 4, 0x7FC}},
         0xFFFFFFFF,
         0xFFFFFFFF,
         {"erase page 0x00000400"}},
        {"no page beyond the flash",
         {{kConfig, 4, 2}, {kErasePage, 4, 0x40000}},
         0xFFFFFFFF,
         0xFFFFFFFF,
         {"erase of no page ignored at 0x00040000"}},
        {"erase all takes the UICR too",
         {{kConfig, 4, 1}, {0x400, 4, 0}, {0x10001000, 4, 0}, {kConfig, 4, 2}, {kEraseAll, 4, 1}},
         0xFFFFFFFF,
         0xFFFFFFFF,
         {"erase all"}},
        {"erase UICR leaves the code",
         {{kConfig, 4, 1}, {0x400, 4, 0}, {0x10001000, 4, 0}, {kConfig, 4, 2}, {kEraseUicr, 4, 1}},
         0,
         0xFFFFFFFF,
         {"erase uicr"}},
        {"erase all needs its bit",
         {{kConfig, 4, 1}, {0x400, 4, 0}, {kConfig, 4, 2}, {kEraseAll, 4, 2}},
         0,
         0xFFFFFFFF,
         {}},
    };
    for (const auto &row : rows) {
        Nrf51Part part;
        for (const Access &a : row.writes)
            EXPECT_TRUE(part.write(a.address, a.size, a.value)) << row.name;
        EXPECT_EQ(word(part, 0x400), row.flash400) << row.name;
        EXPECT_EQ(word(part, 0x10001000), row.uicr0) << row.name;
        EXPECT_EQ(part.log(), row.log) << row.name;
        EXPECT_EQ(word(part, 0x800), 0xFFFFFFFFu) << row.name; // the next page is never hit
    }
}

TEST(Nrf51Part, TheFicrNamesTheChipAndEachBoardHasItsOwnId)
{
    Nrf51Part a, b;
    a.setSerial("QVP00000001");
    b.setSerial("QVP00000002");
    const struct
    {
        uint32_t offset, value;
    } rows[] = {{0x010, 1024},       {0x014, 256},        {0x028, 0xFFFFFFFF},
                {0x034, 4},          {0x038, 0x1000},     {0x044, 0x1000},
                {0x05C, 0xFFFF0072}, {0x100, 0xFFFFFFFF}, {0x3FC, 0xFFFFFFFF}};
    for (const auto &row : rows)
        EXPECT_EQ(word(a, 0x10000000 + row.offset), row.value) << std::hex << row.offset;
    const uint64_t idA = uint64_t(word(a, 0x10000064)) << 32 | word(a, 0x10000060);
    EXPECT_EQ(idA, a.deviceId());
    EXPECT_NE(a.deviceId(), b.deviceId());
    a.setSerial("QVP00000002");
    EXPECT_EQ(a.deviceId(), b.deviceId()); // the same board in the next run
    uint32_t half = 0;
    ASSERT_TRUE(a.read(0x10000012, 2, half));
    EXPECT_EQ(half, 0u); // CODEPAGESIZE's upper half
}

TEST(Nrf51Part, Uart0SendsOnlyWhileEnabledAndStarted)
{
    Nrf51Part part;
    std::string sent;
    part.setUart([&](uint8_t c) { sent += char(c); });
    const auto put = [&](uint32_t address, uint32_t value) {
        EXPECT_TRUE(part.write(address, 4, value));
    };
    put(Nrf51Part::kTxd, 'a'); // disabled
    put(Nrf51Part::kUartEnable, 4);
    put(Nrf51Part::kTxd, 'b'); // not started
    EXPECT_EQ(word(part, Nrf51Part::kEventsTxdRdy), 0u);
    put(Nrf51Part::kStartTx, 1);
    put(Nrf51Part::kTxd, 'c');
    EXPECT_EQ(word(part, Nrf51Part::kEventsTxdRdy), 1u);
    put(Nrf51Part::kEventsTxdRdy, 0);
    put(Nrf51Part::kTxd, 'd');
    put(Nrf51Part::kStopTx, 1);
    put(Nrf51Part::kTxd, 'e');
    EXPECT_EQ(sent, "cd");
}

TEST(Nrf51Part, TheMapFaultsWhereTheChipHasNothing)
{
    TargetModel unused;
    Nrf51Part part;
    vprobe::CortexCore core(unused, part);
    ASSERT_EQ(core.setupError(), "");
    uint32_t value = 0;
    ASSERT_TRUE(core.read(0xE000ED00, value));
    EXPECT_EQ(value, 0x410CC200u);
    const struct
    {
        uint32_t address;
        unsigned size;
        bool ok;
    } rows[] = {{0x0003FFFC, 4, true},  {0x00040000, 4, false}, {0x10000400, 4, false},
                {0x100010FC, 4, true},  {0x10001100, 4, false}, {0x10002000, 4, false},
                {0x20003FFC, 4, true},  {0x20004000, 4, false}, {0x40002000, 4, true},
                {0x40003000, 4, false}, {kReady, 2, false},     {kReady, 4, true},
                {0x40010600, 4, true},  {0x4001F000, 4, false}, {0x60000000, 4, false}};
    for (const auto &row : rows)
        EXPECT_EQ(core.read(row.address, row.size, value), row.ok) << std::hex << row.address;
}

TEST(Nrf51Part, TheDebuggerSeesTheControllerBusyUntilAnEraseCompletes)
{
    TargetModel unused;
    Nrf51Part part;
    vprobe::CortexCore core(unused, part);
    uint32_t ready = 0;
    ASSERT_TRUE(core.write(kConfig, 2));
    core.setTime(1000000);
    ASSERT_TRUE(core.write(kErasePage, 0));
    ASSERT_TRUE(core.read(kReady, ready));
    EXPECT_EQ(ready, 0u);
    core.setTime(1000000 + Nrf51Part::kPageEraseNs - 1);
    ASSERT_TRUE(core.read(kReady, ready));
    EXPECT_EQ(ready, 0u);
    core.setTime(1000000 + Nrf51Part::kPageEraseNs);
    ASSERT_TRUE(core.read(kReady, ready));
    EXPECT_EQ(ready, 1u);
}

} // namespace
