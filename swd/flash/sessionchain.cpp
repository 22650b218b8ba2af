// The session chain's code; branch offsets are worked out from where their labels land.
#include "swd/flash/sessionchain.h"

#include "swd/flash/corecall.h"

#include <cstddef>
#include <map>
#include <vector>

namespace sessionchain {

namespace {

enum Label { Ret, Loop, Erased };

class Thumb
{
public:
    uint32_t here() const { return uint32_t(m_code.size() * 2); }
    void put(uint16_t half) { m_code.push_back(half); }
    void mark(Label label) { m_labels[label] = here(); }
    // B<cond> (T1; 0 EQ, 1 NE) or, with cond 0xE, B (T2), to a label placed before or after.
    void branch(uint32_t cond, Label label)
    {
        m_fixups.push_back({m_code.size(), cond, label});
        put(0);
    }
    void step(uint32_t number)
    {
        put(uint16_t(0x2600 | number)); // MOVS R6, #number
        put(0x617E); // STR R6, [R7, #20]: where the host looks when a routine stops elsewhere
    }
    // UnInit(R0) or Init(adr, clk, fnc), then on to Ret unless it returned 0.
    void call(uint16_t loadEntry) { put(loadEntry), put(0x4798); } // LDR R3, [R7, #n]; BLX R3
    void checked(uint16_t loadEntry)
    {
        call(loadEntry);
        put(0x2800); // CMP R0, #0
        branch(1, Ret);
    }
    std::vector<uint16_t> finish()
    {
        for (const Fixup &f : m_fixups) {
            const int32_t offset = (int32_t(m_labels[f.label]) - int32_t(f.at * 2 + 4)) / 2;
            m_code[f.at] = f.cond == 0xE ? uint16_t(0xE000 | (offset & 0x7FF))
                                         : uint16_t(0xD000 | f.cond << 8 | (offset & 0xFF));
        }
        return m_code;
    }

private:
    struct Fixup
    {
        size_t at;
        uint32_t cond;
        Label label;
    };
    std::vector<uint16_t> m_code;
    std::vector<Fixup> m_fixups;
    std::map<Label, uint32_t> m_labels;
};

constexpr uint16_t kLoadInit = 0x683B, kLoadUnInit = 0x687B, kLoadErase = 0x68BB; // into R3
constexpr uint16_t kLoadAdr = 0x68F8, kLoadClk = 0x6939; // into R0, R1

} // namespace

std::vector<uint32_t> code(uint32_t init, uint32_t uninit, uint32_t eraseSector, uint32_t adr,
                           uint32_t clk)
{
    Thumb t;
    t.step(StepCloseProgram); // kEntryClose
    t.put(0x2002); // MOVS R0, #2
    t.checked(kLoadUnInit);
    t.step(StepInitErase); // kEntryInit
    t.put(kLoadAdr), t.put(kLoadClk), t.put(0x2201); // MOVS R2, #1
    t.checked(kLoadInit);
    t.step(StepErase);
    t.mark(Loop);
    t.put(0x2D00); // CMP R5, #0
    t.branch(0, Erased);
    t.put(0x6820); // LDR R0, [R4]
    t.checked(kLoadErase);
    t.put(0x3404), t.put(0x3D01); // ADDS R4, #4; SUBS R5, #1
    t.branch(0xE, Loop);
    t.mark(Erased);
    t.step(StepCloseErase);
    t.put(0x2001); // MOVS R0, #1
    t.checked(kLoadUnInit);
    t.put(0x4640), t.put(0x2800); // MOV R0, R8; CMP R0, #0
    t.branch(0, Ret); // with R0 0: done
    t.step(StepInitProgram);
    t.put(kLoadAdr), t.put(kLoadClk), t.put(0x2202); // MOVS R2, #2
    t.call(kLoadInit);
    t.mark(Ret);
    t.put(corecall::kBkpt);
    std::vector<uint16_t> halves = t.finish();
    halves.resize(kTable / 2, corecall::kBkpt);
    std::vector<uint32_t> words;
    for (size_t i = 0; i < halves.size(); i += 2)
        words.push_back(halves[i] | uint32_t(halves[i + 1]) << 16);
    for (uint32_t literal : {init | 1, uninit | 1, eraseSector | 1, adr, clk, 0u})
        words.push_back(literal);
    return words;
}

} // namespace sessionchain
