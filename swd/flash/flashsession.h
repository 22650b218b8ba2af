// One flash algorithm loaded into target RAM and driven through the debug port: routine calls
// with the calling convention, erase, pipelined page programming and read-back verify.
#pragma once

#include "swd/debug/debugport.h"
#include "swd/flash/flashalgorithm.h"
#include "swd/flash/pagepipeline.h"
#include "swd/flash/ramplan.h"

#include <functional>
#include <optional>

class FlashSession
{
public:
    enum Function { FunctionErase = 1, FunctionProgram = 2, FunctionVerify = 3 };

    using Progress = std::function<void(uint32_t done, uint32_t total)>;

    // The plan must have room for this algorithm and its pages.
    FlashSession(DebugPort &port, const FlashAlgorithm &algorithm, const RamPlan &plan);

    // Halts the core and, with `copy`, copies the algorithm (without: it is there from before).
    bool load(bool copy = true);
    // Every routine but Init and UnInit belongs to the session its function code opens: erases
    // to FunctionErase, pages to FunctionProgram. clockHz is the device's clock as Init takes it.
    bool init(Function function, uint32_t clockHz);
    bool uninit(Function function);
    // Closes the program session if one is open, erases `sectors` (offsets) in an erase session
    // of their own and, with `reopen`, opens the program session again: in one run of the
    // session chain where the plan holds it and the sectors fit its list, else call by call.
    // `erased` tells whether the erase session closed, whatever followed.
    bool eraseBetween(const std::vector<uint32_t> &sectors, bool reopen, uint32_t clockHz,
                      bool &erased);
    bool chains() const { return m_plan.chain != 0; }
    bool programOpen() const { return m_session == FunctionProgram; }
    // The algorithm's EraseChip; prepared pages travel while it runs, as with eraseSectors().
    bool eraseChip();
    bool eraseSectors(uint32_t offset, uint32_t length);
    // Offsets, each inside its sector. While the core erases, prepared pages travel into the
    // free page buffers.
    bool eraseSectors(const std::vector<uint32_t> &sectors);
    // offset from the device start; a partial first or last page is padded with the erased
    // value, so the caller gives whole pages where the flash is not blank.
    bool program(uint32_t offset, const std::vector<uint8_t> &bytes, const Progress &progress);
    // program() in steps: the pages are prepared once, then each step programs those that end
    // at or before `end` (an offset from the device start), so that erases can run between.
    void preparePages(uint32_t offset, const std::vector<uint8_t> &bytes);
    bool programPages(uint32_t end, const Progress &progress);
    // Where the next prepared page starts, nothing when all are programmed.
    std::optional<uint32_t> nextPage() const;
    // Reads the flash at readAddress back and compares every byte; a difference is reported at
    // its job address.
    bool verify(uint32_t readAddress, uint32_t jobAddress, const std::vector<uint8_t> &bytes,
                const Progress &progress);

private:
    bool startCall(const std::string &routine, const std::vector<uint32_t> &args);
    bool finishCall(const QString &what, uint32_t timeoutMs);
    // R0 and the PC of a routine that halted: it must have stopped at `expectedPc` with 0.
    bool checkReturn(const QString &what, uint32_t result, uint32_t pc, uint32_t expectedPc);
    bool chain(const std::vector<uint32_t> &sectors, bool reopen, uint32_t clockHz, bool &erased);
    bool call(const std::string &routine, const std::vector<uint32_t> &args, uint32_t timeoutMs);

    DebugPort &m_port;
    const FlashAlgorithm &m_algo;
    const RamPlan &m_plan;
    int m_session = 0; // the Function Init opened, 0 when none
    uint32_t m_firstPage = 0; // offset of the first prepared page
    std::vector<std::vector<uint32_t>> m_pages;
    std::optional<PagePipeline> m_pipeline;
    bool m_stubsWritten = false;
    std::optional<uint32_t> m_chainClock; // the clk of the chain in RAM, none: not written
};
