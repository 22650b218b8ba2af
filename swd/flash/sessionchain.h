// The calls around one erase chunk in a single run on the core: UnInit(2), Init(adr, clk, 1), the
// sectors' EraseSector, UnInit(1), Init(adr, clk, 2). Each routine still runs under its own
// function code; only the round trips between them go. ARMv6-M Thumb, generated at its address.
#pragma once

#include <cstdint>
#include <vector>

namespace sessionchain {

// Registers the host sets: R4 the sector list, R5 its count, R7 the table after the code, R8
// nonzero to end with Init(…, 2). At the BKPT R0 is 0 when every call returned 0, else the
// failing call's value, with R6 its step and, in StepErase, R5 the sectors left (it included).
// Each step is also stored in the table's last word: a routine halted inside keeps its own
// values in the registers.
enum Step { StepCloseProgram = 1, StepInitErase, StepErase, StepCloseErase, StepInitProgram };

inline constexpr uint32_t kEntryClose = 0x00; // starts with UnInit(2)
inline constexpr uint32_t kEntryInit = 0x0E; // no program session open: starts with Init(…, 1)
inline constexpr uint32_t kReturn = 0x5A; // the BKPT, from the start
inline constexpr uint32_t kTable = 0x5C; // Init, UnInit, EraseSector (Thumb), adr, clk, step
inline constexpr uint32_t kStepWord = kTable + 5 * 4;
inline constexpr uint32_t kList = kTable + 6 * 4; // the sectors' addresses
// Sectors per run. Over full-speed HID a chunk this long erases in about the time the free
// buffers take to fill (swd_bench: 512-byte sectors, 16 buffers); over bulk the flash bounds the
// job and longer chunks only save switches.
inline constexpr uint32_t kListWords = 40;
inline constexpr uint32_t kSize = kList + kListWords * 4;

// Entries are absolute routine addresses.
std::vector<uint32_t> code(uint32_t init, uint32_t uninit, uint32_t eraseSector, uint32_t adr,
                           uint32_t clk);

} // namespace sessionchain
