// The STM32F0 model as a debugger and a flash algorithm drive it over the bus: its memory map,
// the flash interface's unlock, program and erase rules, its identity registers and USART1.
#include "cmsisdap/cmsisdapdevice.h"
#include "cmsisdap/cortexcore.h"
#include "cmsisdap/parts/stm32f0.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using vprobe::Stm32f0Part;
using Variant = Stm32f0Part::Variant;

struct Access
{
    bool write;
    uint32_t address;
    unsigned size;
    uint32_t value; // written, or expected
    bool ok;
};

// Runs the accesses in order; a read's value is checked only when it succeeds.
void run(Stm32f0Part &part, std::initializer_list<Access> accesses)
{
    int step = 0;
    for (const Access &a : accesses) {
        uint32_t value = a.value;
        const bool ok =
            a.write ? part.write(a.address, a.size, a.value) : part.read(a.address, a.size, value);
        EXPECT_EQ(ok, a.ok) << "step " << step << " at 0x" << std::hex << a.address;
        if (!a.write && ok) {
            EXPECT_EQ(value, a.value) << "step " << step << " at 0x" << std::hex << a.address;
        }
        ++step;
    }
}

constexpr uint32_t kFlash = Stm32f0Part::kFlashBase, kKeyr = Stm32f0Part::kKeyr,
                   kSr = Stm32f0Part::kSr, kCr = Stm32f0Part::kCr, kAr = Stm32f0Part::kAr;
constexpr bool W = true, R = false;

TEST(Stm32f0Part, IdentityOptionBytesAndTheMap)
{
    struct Case
    {
        Variant variant;
        uint32_t idcode, flashKiB, ram, page;
    } cases[] = {{Variant::F030, 0x10000440, 64, 0x2000, 0x400},
                 {Variant::F072, 0x10000448, 128, 0x4000, 0x800}};
    for (const Case &c : cases) {
        Stm32f0Part part(c.variant, "QVP00000001");
        EXPECT_EQ(part.ramSize(), c.ram);
        EXPECT_EQ(part.pageSize(), c.page);
        run(part,
            {{R, 0x40015800, 4, c.idcode, true},
             {R, 0x1FFFF7CC, 2, c.flashKiB, true},
             {R, 0x1FFFF800, 4, 0x00FF55AA, true},
             {R, 0x1FFFF80C, 4, 0x00FF00FF, true},
             {W, 0x1FFFF800, 4, 0, false}, // option bytes: read-only
             {W, 0x40015800, 4, 0, false},
             {R, 0x1FFFF810, 4, 0, false}, // nothing there
             {R, 0x1FFFF000, 4, 0, false},
             {R, 0x40022024, 4, 0, false},
             {R, 0x40022010, 4, 0x80, true}, // CR: LOCK
             {R, 0x4002201C, 4, 0xFFFFFF00, true},
             {R, 0x40022020, 4, 0xFFFFFFFF, true},
             {R, kFlash + c.flashKiB * 1024 - 4, 4, 0xFFFFFFFF, true},
             {R, 0x00000000, 4, 0xFFFFFFFF, true},
             {R, kFlash + 1, 2, 0, false}}); // misaligned
    }
}

TEST(Stm32f0Part, UidDiffersPerProbe)
{
    Stm32f0Part a(Variant::F030, "QVP00000001"), b(Variant::F030, "QVP00000002");
    for (uint32_t at = Stm32f0Part::kUid; at < Stm32f0Part::kUid + 12; at += 4) {
        uint32_t x = 0, y = 0;
        ASSERT_TRUE(a.read(at, 4, x));
        ASSERT_TRUE(b.read(at, 4, y));
        EXPECT_NE(x, y) << std::hex << at;
    }
}

TEST(Stm32f0Part, ProgramsHalfwordsOnlyAfterTheUnlock)
{
    Stm32f0Part part(Variant::F030);
    part.setBusyReads(1);
    run(part,
        {{W, kCr, 4, 1, true}, // ignored while locked
         {R, kCr, 4, 0x80, true},
         {W, kFlash, 2, 0x1234, false}, // not in PG
         {W, kKeyr, 4, 0x45670123, true},
         {W, kKeyr, 4, 0xCDEF89AB, true},
         {R, kCr, 4, 0x00, true},
         {W, kCr, 4, 1, true}, // PG
         {W, kFlash, 4, 0x11223344, false}, // a word: bus error
         {W, kFlash, 1, 0x44, false}, // a byte: bus error
         {W, kFlash, 2, 0x1234, true},
         {R, kSr, 4, 0x01, true}, // BSY
         {R, kSr, 4, 0x20, true}, // EOP
         {W, kSr, 4, 0x20, true},
         {W, kFlash, 2, 0x5678, true}, // not erased: PGERR, nothing written
         {R, kSr, 4, 0x04, true},
         {R, kFlash, 4, 0xFFFF1234, true},
         {W, kFlash, 2, 0x0000, true}, // zero over anything is allowed
         {R, kFlash, 2, 0x0000, true}, // the bus waits out BSY
         {R, kSr, 4, 0x24, true},
         {W, kCr, 4, 0x80, true}, // LOCK
         {W, kFlash + 2, 2, 0xABCD, false}});
}

TEST(Stm32f0Part, AWrongKeyLocksUntilReset)
{
    Stm32f0Part part(Variant::F030);
    run(part,
        {{W, kKeyr, 4, 0x45670123, true},
         {W, kKeyr, 4, 0x12345678, false},
         {W, kKeyr, 4, 0x45670123, false},
         {W, kKeyr, 4, 0xCDEF89AB, false},
         {R, kCr, 4, 0x80, true}});
    part.systemReset();
    run(part,
        {{W, kKeyr, 4, 0x45670123, true},
         {W, kKeyr, 4, 0xCDEF89AB, true},
         {R, kCr, 4, 0x00, true}});
}

TEST(Stm32f0Part, PageAndMassErase)
{
    struct Case
    {
        Variant variant;
        uint32_t address; // written to AR
        uint32_t cr;
        uint32_t erasedFrom, erasedTo;
    } cases[] = {{Variant::F030, kFlash + 0x7FE, 0x42, 0x400, 0x800},
                 {Variant::F072, kFlash + 0x7FE, 0x42, 0x000, 0x800},
                 {Variant::F072, 0x00000800, 0x42, 0x800, 0x1000}, // through the boot alias
                 {Variant::F030, kFlash, 0x44, 0x0, 0x10000}};
    for (const Case &c : cases) {
        Stm32f0Part part(c.variant);
        part.setBusyReads(0);
        run(part, {{W, kKeyr, 4, 0x45670123, true}, {W, kKeyr, 4, 0xCDEF89AB, true}});
        for (uint32_t at = 0; at < part.flashSize(); at += 0x400)
            run(part, {{W, kCr, 4, 1, true}, {W, kFlash + at + 2, 2, 0, true}});
        run(part,
            {{W, kCr, 4, c.cr & ~0x40u, true},
             {W, kAr, 4, c.address, true},
             {W, kCr, 4, c.cr, true},
             {R, kSr, 4, 0x20, true},
             {R, kCr, 4, c.cr & ~0x40u, true}});
        for (uint32_t at = 0; at < part.flashSize(); at += 0x400) {
            const uint8_t want = at >= c.erasedFrom && at < c.erasedTo ? 0xFF : 0x00;
            EXPECT_EQ(part.flash()[at + 2], want) << std::hex << at;
        }
    }
}

TEST(Stm32f0Part, UsartSendsOnceEnabled)
{
    Stm32f0Part part(Variant::F030, "");
    std::string line;
    part.setUart([&line](uint8_t byte) { line.push_back(char(byte)); });
    const uint32_t tdr = Stm32f0Part::kUsartTdr, cr1 = Stm32f0Part::kUsartCr1;
    run(part,
        {{R, Stm32f0Part::kUsartIsr, 4, 0xC0, true},
         {W, tdr, 4, 'x', true}, // not enabled: dropped
         {W, cr1, 4, 0x01, true},
         {W, tdr, 4, 'y', true}, // enabled, transmitter off: dropped
         {W, cr1, 4, 0x09, true},
         {W, tdr, 4, 'o', true},
         {W, tdr, 1, 'k', true},
         {W, tdr, 2, '\n', true},
         {R, Stm32f0Part::kUsartIsr, 4, 0xC0, true}});
    EXPECT_EQ(line, "ok\n");
}

// Flash loaders run from the start of RAM, right above the system memory page, where a look
// back below the code must not count as the core's own bus error.
TEST(Stm32f0Part, CodeAtTheStartOfRamSteps)
{
    Stm32f0Part part(Variant::F030);
    TargetModel model;
    vprobe::CortexCore core(model, part);
    const uint32_t dhcsr = 0xE000EDF0, dcrsr = 0xE000EDF4, dcrdr = 0xE000EDF8;
    uint32_t v = 0;
    ASSERT_TRUE(core.write(dhcsr, 0xA05F0003)); // halted out of the blank part's lockup
    ASSERT_TRUE(core.write(0x20000000, 0xE7FD3001)); // adds r0, #1; b 0x20000000
    for (const auto &r : {std::make_pair(15u, 0x20000000u), std::make_pair(16u, 0x01000000u),
                          std::make_pair(0u, 0u)}) {
        ASSERT_TRUE(core.write(dcrdr, r.second));
        ASSERT_TRUE(core.write(dcrsr, r.first | 0x10000));
    }
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(core.write(dhcsr, 0xA05F0005));
    ASSERT_TRUE(core.read(dhcsr, v));
    EXPECT_EQ(v & 0xA0000, 0x20000u); // halted, not locked up
    ASSERT_TRUE(core.write(dcrsr, 15));
    ASSERT_TRUE(core.read(dcrdr, v));
    EXPECT_EQ(v, 0x20000002u);
    ASSERT_TRUE(core.write(dcrsr, 0));
    ASSERT_TRUE(core.read(dcrdr, v));
    EXPECT_EQ(v, 3u);
}

// The board outlives the host's session: after DAP_Disconnect, or once the host closes the probe
// without one, code the host left running gets to send what it sends.
TEST(Stm32f0Part, TheBoardRunsOnAfterTheHostLetsGo)
{
    const std::vector<uint8_t> disconnect{0x03};
    const struct
    {
        const char *trigger;
        std::function<void(vprobe::CmsisDapDevice &)> letGo;
    } cases[] = {
        {"DAP_Disconnect",
         [&](vprobe::CmsisDapDevice &d) {
             EXPECT_EQ(d.process(disconnect.data(), 1), (std::vector<uint8_t>{0x03, 0x00}));
         }},
        {"host close", [](vprobe::CmsisDapDevice &d) { d.runOn(); }},
    };
    // ldr r0, =USART1; movs r1, #9; str r1, [r0] (UE, TE); movs r1, #'Q'; str r1, [r0, #0x28];
    // b .
    const uint32_t program[] = {0x21094802, 0x21516001, 0xE7FE6281, Stm32f0Part::kUsart1};
    const uint32_t dhcsr = 0xE000EDF0, dcrsr = 0xE000EDF4, dcrdr = 0xE000EDF8;
    for (const auto &c : cases) {
        vprobe::CmsisDapDevice d;
        d.selectPart(vprobe::SimulatedPart::Stm32f030);
        ASSERT_NE(d.board(), nullptr);
        std::string line;
        d.board()->setUart([&line](uint8_t byte) { line.push_back(char(byte)); });
        vprobe::CortexCore &core = d.core();
        ASSERT_TRUE(core.write(dhcsr, 0xA05F0003));
        for (uint32_t i = 0; i < 4; ++i)
            ASSERT_TRUE(core.write(0x20000000 + 4 * i, program[i]));
        for (const auto &r : {std::make_pair(15u, 0x20000000u), std::make_pair(16u, 0x01000000u)}) {
            ASSERT_TRUE(core.write(dcrdr, r.second));
            ASSERT_TRUE(core.write(dcrsr, r.first | 0x10000));
        }
        ASSERT_TRUE(core.write(dhcsr, 0xA05F0001)); // run
        EXPECT_EQ(line, "") << c.trigger;
        c.letGo(d);
        EXPECT_EQ(line, "Q") << c.trigger;
    }
}

} // namespace
