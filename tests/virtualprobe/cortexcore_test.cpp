// The virtual board's core and private peripheral bus as a debugger drives them through the
// MEM-AP: register files, bus errors, halting, stepping, resets, exceptions, pacing.
#include "cmsisdap/cortexcore.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

using vprobe::CortexCore;
using Bank = TargetModel::Bank;

constexpr uint32_t kDhcsr = 0xE000EDF0, kDcrsr = 0xE000EDF4, kDcrdr = 0xE000EDF8,
                   kDemcr = 0xE000EDFC, kDfsr = 0xE000ED30, kAircr = 0xE000ED0C;
constexpr uint32_t kKey = 0xA05F0000, kDebugEn = 1, kHalt = 2, kStep = 4;
constexpr uint32_t kSHalt = 1u << 17, kSSleep = 1u << 18, kSLockup = 1u << 19, kSRetire = 1u << 24,
                   kSReset = 1u << 25;
enum Reg {
    R0 = 0,
    R1 = 1,
    R4 = 4,
    Sp = 13,
    Lr = 14,
    Pc = 15,
    Xpsr = 16,
    Msp = 17,
    Psp = 18,
    ControlPrimask = 20
};

// A QB48x whose flash holds a vector table (MSP 0x20001000, reset 0x100, HardFault 0x200,
// SVCall 0x220) and the given Thumb code at 0x100, 0x200 and 0x220.
struct Board
{
    TargetModel model;
    CortexCore core{model};
    uint64_t now = 0;

    explicit Board(std::initializer_list<uint16_t> code,
                   std::initializer_list<uint16_t> hardFault = {0xBE00},
                   std::initializer_list<uint16_t> svc = {0x4770})
    {
        std::vector<uint8_t> flash(0x300, 0xFF);
        auto put = [&](uint32_t at, uint32_t v, unsigned n) {
            for (unsigned i = 0; i < n; ++i)
                flash[at + i] = uint8_t(v >> (8 * i));
        };
        put(0x0, 0x20001000, 4);
        put(0x4, 0x101, 4);
        put(0xC, 0x201, 4);
        put(0x2C, 0x221, 4);
        uint32_t at = 0x100;
        for (uint16_t op : code)
            put(at, op, 2), at += 2;
        at = 0x200;
        for (uint16_t op : hardFault)
            put(at, op, 2), at += 2;
        at = 0x220;
        for (uint16_t op : svc)
            put(at, op, 2), at += 2;
        model.fill(Bank::Aprom, 0xFF);
        model.setFlash(Bank::Aprom, flash);
    }
    uint32_t peek(uint32_t address)
    {
        uint32_t v = 0xDEADBEEF;
        EXPECT_TRUE(core.read(address, v)) << std::hex << address;
        return v;
    }
    void poke(uint32_t address, uint32_t v) { EXPECT_TRUE(core.write(address, v)) << address; }
    uint32_t reg(int n)
    {
        poke(kDcrsr, uint32_t(n));
        return peek(kDcrdr);
    }
    void setReg(int n, uint32_t v)
    {
        poke(kDcrdr, v);
        poke(kDcrsr, uint32_t(n) | 0x10000);
    }
    void dhcsr(uint32_t bits) { poke(kDhcsr, kKey | bits); }
    // Halted at the reset vector: vector catch on the reset.
    void haltAtReset()
    {
        dhcsr(kDebugEn | kHalt);
        poke(kDemcr, 1);
        poke(kAircr, 0x05FA0004);
    }
    void tick(uint64_t ns) { core.setTime(now += ns); }
};

TEST(CortexCore, PrivatePeripheralBusRegistersReadAsArmv6mDefines)
{
    Board b({0xE7FE});
    const struct
    {
        uint32_t address;
        bool write;
        uint32_t value;
        uint32_t expected;
    } cases[] = {
        {0xE00FF000, false, 0, 0xFFF0F003}, // ROM table: SCS, DWT, FPB, end
        {0xE00FF004, false, 0, 0xFFF02003},
        {0xE00FF008, false, 0, 0xFFF03003},
        {0xE00FF00C, false, 0, 0},
        {0xE00FFFCC, false, 0, 0x1},
        {0xE00FFFF4, false, 0, 0x10}, // CID1: a ROM table
        {0xE00FFFE0, false, 0, 0x71},
        {0xE000EFF4, false, 0, 0xE0}, // CID1 of the SCS, DWT and FPB: generic IP
        {0xE000EFE0, false, 0, 0x08},
        {0xE0001FE0, false, 0, 0x0A},
        {0xE0002FE0, false, 0, 0x0B},
        {0xE000ED00, true, 0x12345678, 0x410CC200}, // CPUID: Cortex-M0 r0p0, read-only
        {0xE000ED0C, true, 0x00000004, 0xFA050000}, // no VECTKEY: ignored
        {0xE000ED14, true, 0, 0x208},
        {0xE000ED08, true, 0x20000000, 0}, // no VTOR on this part
        {0xE000ED10, true, 0xFFFFFFFF, 0x16},
        {0xE000ED20, true, 0xFFFFFFFF, 0xC0C00000},
        {0xE000E014, true, 0xFFFFFFFF, 0x00FFFFFF},
        {0xE000E400, true, 0xFFFFFFFF, 0xC0C0C0C0},
        {0xE0002000, false, 0, 0x40}, // FP_CTRL: four code comparators, off
        {0xE0002000, true, 0x1, 0x40}, // without KEY
        {0xE0002000, true, 0x3, 0x41},
        {0xE0002008, true, 0xFFFFFFFF, 0xDFFFFFFD},
        {0xE0001000, true, 0xFFFFFFFF, 0x20000000}, // DWT_CTRL: two comparators
        {0xE0001024, true, 0xFFFFFFFF, 0x1F},
        {0xE0001028, true, 0xFFFFFFFF, 0xF},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        if (c.write)
            b.poke(c.address, c.value);
        EXPECT_EQ(b.peek(c.address), c.expected);
    }
}

TEST(CortexCore, BusErrorsWhereTheSiliconHasNothingAndByteLanes)
{
    Board b({0xE7FE});
    b.model.setFlash(Bank::Ldrom, {0x11, 0x22, 0x33, 0x44});
    const struct
    {
        uint32_t address;
        unsigned size;
        bool ok;
    } reads[] = {
        {0x0001DFFC, 4, true},  {0x0001E000, 4, false}, {0x0001FFFC, 4, false},
        {0x10000000, 4, true},  {0x10001FFC, 4, true},  {0x10002000, 4, false},
        {0x20003FFC, 4, true},  {0x20004000, 4, false}, {0x20000001, 1, true},
        {0x20000001, 2, false}, {0x20000002, 4, false}, {0x30000000, 4, false},
        {0xE0000000, 4, false}, {0xE000ED00, 2, false}, {0xE0040000, 4, false},
    };
    for (const auto &r : reads) {
        uint32_t v = 0;
        EXPECT_EQ(b.core.read(r.address, r.size, v), r.ok) << std::hex << r.address;
    }
    uint32_t v = 0;
    ASSERT_TRUE(b.core.read(0x10000001, 2, v) == false && b.core.read(0x10000002, 2, v));
    EXPECT_EQ(v, 0x4433u);
    EXPECT_FALSE(b.core.write(0x10000000, 4, 0)); // the LDROM alias is read-only
    b.poke(0x20000010, 0x11223344);
    ASSERT_TRUE(b.core.write(0x20000013, 1, 0xAA) && b.core.write(0x20000010, 2, 0xBBCC));
    EXPECT_EQ(b.peek(0x20000010), 0xAA22BBCCu);
    ASSERT_TRUE(b.core.read(0x20000012, 2, v));
    EXPECT_EQ(v, 0xAA22u);
}

TEST(CortexCore, ResetLoadsTheVectorsAndARunningLoopKeepsPace)
{
    // MOVS R0,#0; loop: ADDS R0,#1; B loop
    Board b({0x2000, 0x3001, 0xE7FD});
    b.haltAtReset();
    EXPECT_EQ(b.peek(kDhcsr) & (kSHalt | kSReset), kSHalt | kSReset);
    EXPECT_EQ(b.peek(kDhcsr) & kSReset, 0u); // sticky until read
    EXPECT_EQ(b.peek(kDfsr), 0x9u); // HALTED, then VCATCH
    EXPECT_EQ(b.reg(Pc), 0x100u);
    EXPECT_EQ(b.reg(Msp), 0x20001000u);
    EXPECT_EQ(b.reg(Xpsr), 0x01000000u);
    EXPECT_EQ(b.reg(Lr), 0xFFFFFFFFu);

    // 16 MHz: a millisecond is 16000 instructions, half of them ADDS.
    b.dhcsr(kDebugEn);
    for (uint32_t expected : {8000u, 16000u}) {
        b.tick(1000000);
        EXPECT_EQ(b.peek(kDhcsr) & (kSHalt | kSRetire), kSRetire);
        b.dhcsr(kDebugEn | kHalt);
        EXPECT_EQ(b.reg(R0), expected);
        b.dhcsr(kDebugEn);
    }
}

TEST(CortexCore, StepsOneInstructionAndStopsAtABreakpoint)
{
    Board b({0x2000, 0x3001, 0x3001, 0xE7FE});
    b.haltAtReset();
    b.poke(kDfsr, 0x1F);
    for (uint32_t expected : {0x102u, 0x104u}) {
        b.dhcsr(kDebugEn | kStep);
        EXPECT_EQ(b.peek(kDhcsr) & kSHalt, kSHalt);
        EXPECT_EQ(b.reg(Pc), expected);
    }
    EXPECT_EQ(b.reg(R0), 1u);
    EXPECT_EQ(b.peek(kDfsr), 0x1u);
    b.poke(0xE0002000, 0x3);
    b.poke(0xE0002008, 0x80000104 | 1); // the upper halfword of 0x104: 0x106
    b.dhcsr(kDebugEn);
    b.tick(1000000);
    EXPECT_EQ(b.peek(kDhcsr) & kSHalt, kSHalt);
    EXPECT_EQ(b.reg(Pc), 0x106u);
    EXPECT_EQ(b.reg(R0), 2u);
    EXPECT_EQ(b.peek(kDfsr), 0x3u);
}

// A debugger sets its breakpoints while halted in code the core has already run.
TEST(CortexCore, ABreakpointSetInCodeAlreadyRunIsHit)
{
    Board b({0x3001, 0xE7FD}); // adds r0, #1; b 0x100
    b.haltAtReset();
    b.dhcsr(kDebugEn);
    b.tick(1000000);
    b.dhcsr(kDebugEn | kHalt);
    EXPECT_EQ(b.peek(kDhcsr) & kSHalt, kSHalt);
    EXPECT_GT(b.reg(R0), 1000u);
    b.poke(kDfsr, 0x1F);
    b.poke(0xE0002000, 0x3);
    b.poke(0xE0002008, 0x80000100 | 1); // the upper halfword of 0x100: the branch
    b.dhcsr(kDebugEn);
    b.tick(1000000);
    EXPECT_EQ(b.peek(kDhcsr) & kSHalt, kSHalt);
    EXPECT_EQ(b.reg(Pc), 0x102u);
    EXPECT_EQ(b.peek(kDfsr), 0x2u);
}

TEST(CortexCore, FaultsTakeTheHardFaultVectorOrLockUp)
{
    const struct
    {
        const char *name;
        std::initializer_list<uint16_t> handler;
        uint32_t demcr;
        uint32_t dhcsr; // status bits among S_HALT and S_LOCKUP
        uint32_t dfsr;
        uint32_t pc;
    } cases[] = {
        {"handler's BKPT", {0xBE00}, 0, kSHalt, 0x2, 0x200},
        {"vector catch", {0xBE00}, 0x401, kSHalt, 0x8, 0x200},
        {"fault in the handler", {0xDE00}, 0, kSLockup, 0x0, 0xFFFFFFFE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Board b({0x2000, 0xDE00}, c.handler); // MOVS R0,#0; UDF
        b.haltAtReset();
        b.poke(kDemcr, c.demcr);
        b.poke(kDfsr, 0x1F);
        b.dhcsr(kDebugEn);
        b.tick(1000000);
        EXPECT_EQ(b.peek(kDhcsr) & (kSHalt | kSLockup), c.dhcsr);
        EXPECT_EQ(b.peek(kDfsr), c.dfsr);
        if (c.dhcsr == kSLockup) {
            b.dhcsr(kDebugEn | kHalt); // a halt ends the lockup
            EXPECT_EQ(b.peek(kDhcsr) & (kSHalt | kSLockup), kSHalt);
        }
        EXPECT_EQ(b.reg(Pc), c.pc);
        if (c.dhcsr != kSHalt)
            continue;
        // The frame on the main stack: R0-R3, R12, LR, the UDF's address, xPSR (Z from MOVS).
        EXPECT_EQ(b.reg(Msp), 0x20000FE0u);
        EXPECT_EQ(b.reg(Lr), 0xFFFFFFF9u);
        EXPECT_EQ(b.reg(Xpsr), 0x41000003u);
        EXPECT_EQ(b.peek(0x20000FF8), 0x102u);
        EXPECT_EQ(b.peek(0x20000FFC), 0x41000000u);
    }
}

TEST(CortexCore, SvcReturnsThroughTheStackedFrameOnEitherStack)
{
    // SVC; BKPT with an SVCall handler MOVS R4,#5; BX LR.
    for (uint32_t control : {0x00000000u, 0x02000000u}) {
        SCOPED_TRACE(control);
        Board b({0xDF00, 0xBE00}, {0xBE00}, {0x2405, 0x4770});
        b.haltAtReset();
        b.setReg(Psp, 0x20000800);
        b.setReg(ControlPrimask, control | 1);
        EXPECT_EQ(b.reg(ControlPrimask), control | 1);
        EXPECT_EQ(b.reg(Sp), control ? 0x20000800u : 0x20001000u);
        b.dhcsr(kDebugEn);
        b.tick(1000000);
        EXPECT_EQ(b.peek(kDhcsr) & kSHalt, kSHalt);
        EXPECT_EQ(b.reg(Pc), 0x102u);
        EXPECT_EQ(b.reg(R4), 5u);
        EXPECT_EQ(b.reg(Xpsr), 0x01000000u);
        EXPECT_EQ(b.reg(Msp), 0x20001000u);
        EXPECT_EQ(b.reg(Psp), 0x20000800u);
        EXPECT_EQ(b.reg(ControlPrimask), control | 1);
    }
}

TEST(CortexCore, WfiSleepsAndAWatchpointHalts)
{
    Board sleeper({0xBF30, 0xE7FE});
    sleeper.haltAtReset();
    sleeper.dhcsr(kDebugEn);
    sleeper.tick(1000);
    EXPECT_EQ(sleeper.peek(kDhcsr) & (kSHalt | kSSleep), kSSleep);
    sleeper.dhcsr(kDebugEn | kHalt);
    EXPECT_EQ(sleeper.reg(Pc), 0x102u);

    // MOVS R0,#7; STR R0,[R1]; B . with R1 inside the watched 8 bytes.
    Board b({0x2007, 0x6008, 0xE7FE});
    b.haltAtReset();
    b.setReg(R1, 0x20000804);
    b.poke(0xE0001020, 0x20000800);
    b.poke(0xE0001024, 3);
    b.poke(0xE0001028, 6); // data write
    b.dhcsr(kDebugEn);
    b.tick(1000000);
    EXPECT_EQ(b.peek(kDhcsr) & kSHalt, kSHalt);
    EXPECT_EQ(b.peek(kDfsr) & 0x4, 0x4u);
    EXPECT_EQ(b.peek(0xE0001028), 0x01000006u); // MATCHED, cleared by the read
    EXPECT_EQ(b.peek(0xE0001028), 0x6u);
    EXPECT_EQ(b.peek(0x20000804), 7u);
}

TEST(CortexCore, ResetLineHoldsTheCoreAndReleasesIntoAHalt)
{
    Board b({0x2000, 0x3001, 0xE7FD});
    b.dhcsr(kDebugEn);
    b.core.setResetLine(true);
    b.dhcsr(kDebugEn | kHalt); // asked while held: halts at the reset vector
    b.tick(1000000);
    EXPECT_EQ(b.peek(kDhcsr) & (kSHalt | kSReset), kSReset);
    b.core.setResetLine(false);
    EXPECT_EQ(b.peek(kDhcsr) & (kSHalt | kSReset), kSHalt | kSReset);
    EXPECT_EQ(b.reg(Pc), 0x100u);
}

TEST(CortexCore, CodeAndDataInFlashAreWhatTheChipHoldsNow)
{
    // LDR R0,[R1]; BKPT, with R1 at a flash word whose bits 4-7 are stuck at 1.
    Board b({0x6808, 0xBE00});
    b.model.addStuckBits(Bank::Aprom, 0x2F0, 0xF0);
    const struct
    {
        uint16_t first; // replaces the LDR once the first run is over
        uint32_t r0;
    } runs[] = {{0x6808, 0xF0}, {0x202A, 42}}; // then MOVS R0,#42
    for (const auto &r : runs) {
        std::vector<uint8_t> flash = b.model.flash(Bank::Aprom);
        flash[0x100] = uint8_t(r.first);
        flash[0x101] = uint8_t(r.first >> 8);
        flash[0x2F0] = flash[0x2F1] = flash[0x2F2] = flash[0x2F3] = 0;
        b.model.setFlash(Bank::Aprom, flash);
        b.haltAtReset();
        b.setReg(R1, 0x2F0);
        b.dhcsr(kDebugEn);
        b.tick(1000000);
        EXPECT_EQ(b.reg(Pc), 0x102u);
        EXPECT_EQ(b.reg(R0), r.r0);
    }
}

TEST(CortexCore, EachPartHasItsRamAndVectorTable)
{
    Qs64Flash qs64;
    TargetModel model;
    CortexCore core(model, &qs64);
    uint32_t v = 0;
    EXPECT_TRUE(core.read(0x20001FFC, v));
    EXPECT_FALSE(core.read(0x20002000, v));
    ASSERT_TRUE(core.read(0xE000ED08, v));
    EXPECT_EQ(v, 0x08000000u);
    ASSERT_TRUE(core.read(0xE000ED00, v));
    EXPECT_EQ(v, 0x410CC601u);
}

} // namespace
