// Page programming with the link kept busy. Pages stream into a ring of buffers laid end to end,
// so the words of consecutive pages go as one stream; one stub per buffer takes the page's device
// address from a word in front of the stubs, calls ProgramPage, moves that word on by a page when
// it returned 0 and goes on with the next buffer's stub for the rest of its run, so starting a
// run of pages is a PC write (the entry gives its length) and a run. While the core programs one
// run, the next ones travel; the poll goes out among them and every report that has room carries
// stream words too.
#pragma once

#include "swd/debug/debugport.h"
#include "swd/flash/flashalgorithm.h"

#include <functional>

class PagePipeline
{
public:
    // Enough for the pages that travel while a chain of erases runs; more only waits longer.
    static constexpr uint32_t kMaxBuffers = 24;
    static constexpr uint32_t kAddressWordSize = 16; // in front of the stubs, aligned as they are
    static constexpr int kLookaheadReports = 2; // sent behind a poll while its answer travels
    // Pages one start programs one after the other: fewer polls, which over HID cost a report
    // each; a stub has an entry per run length.
    static constexpr uint32_t kMaxRunPages = 3;
    static constexpr uint32_t kStubSize = kMaxRunPages * 4 + 0x34; // entries, call, literals
    static constexpr size_t kPollBytes = 26; // window, halt match, R0 read, count byte
    static constexpr size_t kEarlyPollWords = 3 * 14; // a few full HID reports' worth
    // Where the erase loop's BKPT is, from its start.
    static constexpr uint32_t kEraseLoopReturn = 0x1A;

    // The address word and a stub per buffer; then the buffers, a page each.
    static uint32_t stubsSize(uint32_t buffers) { return kAddressWordSize + buffers * kStubSize; }
    static uint32_t slotsSize(uint32_t pageSize, uint32_t buffers) { return buffers * pageSize; }
    static uint32_t perBufferSize(uint32_t pageSize) { return kStubSize + pageSize; }

    PagePipeline(DebugPort &port, const FlashAlgorithm &algorithm, uint32_t entry, uint32_t stubs,
                 uint32_t slots, uint32_t buffers);

    // The stubs' code, to be written at `stubs` before run().
    std::vector<uint32_t> stubCode() const;
    // A loop at `at` calling EraseSector for each of R1 words at R0 and stopping at the BKPT at
    // kEraseLoopReturn: R0 is 0 when all returned 0, else the failing call's value with R5 the
    // sectors left (it included).
    static std::vector<uint32_t> eraseLoopCode(uint32_t at, uint32_t eraseEntry);
    // pages: page images (page size each) for device addresses first, first + page, ...; they
    // must outlive the runs.
    void begin(uint32_t first, const std::vector<std::vector<uint32_t>> &pages);
    // Streams pages into the free buffers while the core does something else (an erase).
    bool prefill();
    // Programs the pages up to `to` (exclusive) from where the last run stopped.
    bool run(uint32_t to, const std::function<void(uint32_t done, uint32_t total)> &progress);
    uint32_t done() const { return m_done; }

private:
    uint32_t slot(uint32_t page) const { return m_slots + (page % m_buffers) * m_pageSize; }
    uint32_t stub(uint32_t page) const
    {
        return m_stubs + kAddressWordSize + (page % m_buffers) * kStubSize;
    }
    // The last page that may travel while `page` is being programmed.
    uint32_t ahead(uint32_t page) const { return page + m_buffers - 1; }
    size_t streamLeft(uint32_t page) const;
    uint32_t streamAddress() const { return slot(m_streamPage) + uint32_t(m_streamSent) * 4; }
    // The next stream word, which then counts as sent.
    uint32_t takeStreamWord();
    // Stream words from the next one on that one block write can carry: in pages up to
    // lastPage, without a wrap of the ring or of TAR's auto-increment.
    size_t contiguousWords(uint32_t lastPage, size_t most) const;
    bool fill(std::vector<dap::TransferOp> &ops, uint32_t lastPage, size_t reserve);
    bool sendReport(uint32_t lastPage);
    // Runs of pages: at most kMaxRunPages, and half the buffers.
    uint32_t longestRun() const;
    // Where the core starts a run of `count` pages from `page`.
    uint32_t entry(uint32_t page, uint32_t count) const;
    QString calls(uint32_t page, uint32_t count) const; // the calls a run makes, for messages
    // setAddress: the first run of a run() call, which also sets the address word.
    bool start(uint32_t page, uint32_t count, bool setAddress);
    // Looks whether the run from `page` is done; starts the one of nextCount pages from `next`
    // in the same transfer where it fits, when nextCount is not 0.
    bool poll(uint32_t page, uint32_t next, uint32_t nextCount, bool &stillRunning,
              uint64_t &ticket);
    bool finish(uint32_t page, uint32_t count, bool stillRunning);

    DebugPort &m_port;
    const FlashAlgorithm &m_algo;
    uint32_t m_entry;
    uint32_t m_stubs;
    uint32_t m_slots;
    uint32_t m_pageSize;
    uint32_t m_buffers;
    uint32_t m_first = 0;
    uint32_t m_done = 0; // pages programmed
    const std::vector<std::vector<uint32_t>> *m_pages = nullptr;
    uint32_t m_streamPage = 0; // page being streamed
    size_t m_streamSent = 0; // of its words
    uint32_t m_result = 0; // R0 of the page polled last, as the stub left it: kStubMark or not
    bool m_startedNext = false; // the last poll starts the next run if the polled one passed
    bool m_pollEarly = true; // until an early poll finds a run still running
};
