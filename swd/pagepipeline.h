// Page programming with the link kept busy: while the core programs one page, the next page
// travels into a second buffer and the first reports of the one after into a third; the poll for
// the running page goes out among them, so the next call starts as soon as its answer is in.
#pragma once

#include "debugport.h"
#include "flashalgorithm.h"

#include <functional>

class PagePipeline
{
public:
    static constexpr int kBuffers = 3;
    static constexpr int kLookaheadReports = 2; // of the page after next, sent behind the poll
    static constexpr size_t kTailWords = 6; // of the next page, sent in front of the poll

    // buffers: kBuffers page buffers in a row; stub: BL ProgramPage, LSLS R0,#8, ADDS R0,#0xA5,
    // BKPT, in target RAM.
    PagePipeline(DebugPort &port, const FlashAlgorithm &algorithm, uint32_t buffers, uint32_t stub);

    // pages: the page images (page size each) for device addresses first, first + page, ...
    bool run(uint32_t first, const std::vector<std::vector<uint32_t>> &pages,
             const std::function<void(uint32_t done, uint32_t total)> &progress);

private:
    bool sendReport(uint32_t page); // one report of a page's data; false on failure
    bool sendWhileMore(uint32_t page, size_t keep); // until at most `keep` words are left
    bool start(uint32_t page);
    bool poll(uint32_t tailPage, bool &stillRunning, uint64_t &ticket);
    bool finish(uint32_t page, bool stillRunning);
    uint32_t bufferOf(uint32_t page) const { return m_buffers + (page % kBuffers) * m_pageSize; }

    DebugPort &m_port;
    const FlashAlgorithm &m_algo;
    uint32_t m_buffers;
    uint32_t m_stub;
    uint32_t m_pageSize;
    uint32_t m_first = 0;
    const std::vector<std::vector<uint32_t>> *m_pages = nullptr;
    std::vector<size_t> m_sent; // words of each page already queued
    uint32_t m_result = 0; // R0 of the page polled last, as the stub left it
};
