// Pipelined ProgramPage calls through per-buffer stubs; see the header for the shape.
#include "swd/flash/pagepipeline.h"

#include "swd/flash/corecall.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr uint8_t kBd0 = 0x0, kBd1 = 0x4, kBd2 = 0x8, kDrw = 0xC;
constexpr uint32_t kRegWrite = 1u << 16;
constexpr uint32_t kStubReturn = 0x1C; // offset of the BKPT a page that returned 0 stops at
constexpr uint32_t kStubFailed = 0x22; // the BKPT of any other value, kept whole in R1
// R0 at each: only a page that returned 0 leaves kStubMark, which the poll's match looks for.
constexpr uint32_t kStubMark = 0xA5, kFailMark = 0xA6;
constexpr uint32_t kStubLiterals = 0x24;

// Thumb BL from `at` to `target`: the two halfwords, first to last.
std::pair<uint16_t, uint16_t> branchAndLink(uint32_t at, uint32_t target)
{
    const int32_t offset = int32_t(target - (at + 4));
    const uint32_t s = (offset >> 24) & 1;
    const uint32_t i1 = (offset >> 23) & 1, i2 = (offset >> 22) & 1;
    const uint32_t j1 = (~(i1 ^ s)) & 1, j2 = (~(i2 ^ s)) & 1;
    return {uint16_t(0xF000 | s << 10 | ((uint32_t(offset) >> 12) & 0x3FF)),
            uint16_t(0xD000 | j1 << 13 | j2 << 11 | ((uint32_t(offset) >> 1) & 0x7FF))};
}

} // namespace

PagePipeline::PagePipeline(DebugPort &port, const FlashAlgorithm &algorithm, uint32_t entry,
                           uint32_t stubs, uint32_t slots, uint32_t buffers)
    : m_port(port)
    , m_algo(algorithm)
    , m_entry(entry)
    , m_stubs(stubs)
    , m_slots(slots)
    , m_pageSize(algorithm.pageSize())
    , m_buffers(std::max(buffers, 1u))
{ }

std::vector<uint32_t> PagePipeline::stubCode() const
{
    // The address word's room, then the stubs; run() sets the word.
    std::vector<uint32_t> code(kAddressWordSize / 4, 0);
    for (uint32_t k = 0; k < m_buffers; ++k) {
        const uint32_t at = stub(k);
        const auto program = branchAndLink(at + 0x08, m_entry);
        // The address word is read again after the call: ProgramPage may use any scratch
        // register, and a word it moved on by mistake would put the next page elsewhere.
        const uint16_t halves[kStubLiterals / 2] = {
            0x4B08, // LDR R3, =address word
            0x6818, // LDR R0, [R3]
            0x4908, // LDR R1, =page size
            0x4A09, // LDR R2, =buffer
            program.first,   program.second, // BL ProgramPage
            0x2800, // CMP R0, #0
            0xD106, // BNE failed
            0x4B04, // LDR R3, =address word
            0x6818, // LDR R0, [R3]
            0x4904, // LDR R1, =page size
            0x1840, // ADDS R0, R0, R1
            0x6018, // STR R0, [R3]
            0x20A5, // MOVS R0, #kStubMark
            corecall::kBkpt,
            0x0001, // failed: MOVS R1, R0
            0x20A6, // MOVS R0, #kFailMark
            corecall::kBkpt,
        };
        for (size_t i = 0; i < std::size(halves); i += 2)
            code.push_back(halves[i] | uint32_t(halves[i + 1]) << 16);
        const uint32_t literals[] = {m_stubs, m_pageSize, slot(k)};
        code.insert(code.end(), std::begin(literals), std::end(literals));
        code.resize((kAddressWordSize + (k + 1) * kStubSize) / 4, corecall::kBkptPair);
    }
    return code;
}

std::vector<uint32_t> PagePipeline::eraseLoopCode(uint32_t at, uint32_t eraseEntry)
{
    const auto erase = branchAndLink(at + 0x0A, eraseEntry);
    const uint16_t halves[] = {
        0x0004, // MOVS R4, R0
        0x000D, // MOVS R5, R1
        0x2D00, // loop: CMP R5, #0
        0xD007, // BEQ done
        0x6820, // LDR R0, [R4]
        erase.first,     erase.second, // BL EraseSector
        0x2800, // CMP R0, #0
        0xD103, // BNE fail
        0x3404, // ADDS R4, #4
        0x3D01, // SUBS R5, #1
        0xE7F5, // B loop
        0x2000, // done: MOVS R0, #0
        corecall::kBkpt, // fail
    };
    std::vector<uint32_t> code;
    for (size_t i = 0; i < std::size(halves); i += 2)
        code.push_back(halves[i] | uint32_t(halves[i + 1]) << 16);
    return code;
}

size_t PagePipeline::streamLeft(uint32_t page) const
{
    if (page < m_streamPage)
        return 0;
    const size_t whole = m_pageSize / 4;
    return page == m_streamPage ? whole - m_streamSent : whole;
}

uint32_t PagePipeline::takeStreamWord()
{
    const uint32_t word = (*m_pages)[m_streamPage][m_streamSent];
    if (++m_streamSent == m_pageSize / 4) {
        ++m_streamPage;
        m_streamSent = 0;
    }
    return word;
}

size_t PagePipeline::contiguousWords(uint32_t lastPage, size_t most) const
{
    const uint32_t address = streamAddress();
    most = std::min<size_t>(most, (0x400 - address % 0x400) / 4);
    const uint32_t last = std::min<uint32_t>(lastPage, uint32_t(m_pages->size()) - 1);
    size_t n = 0;
    for (uint32_t page = m_streamPage; page <= last && n < most; ++page) {
        if (page != m_streamPage && slot(page) != slot(page - 1) + m_pageSize)
            break; // the ring wraps
        n += streamLeft(page);
    }
    return std::min(n, most);
}

// Appends stream words of pages up to lastPage while `reserve` request bytes stay free.
bool PagePipeline::fill(std::vector<dap::TransferOp> &ops, uint32_t lastPage, size_t reserve)
{
    const size_t room = size_t(m_port.link().packetSize()) - reserve;
    while (m_streamPage <= lastPage && m_streamPage < m_pages->size()) {
        const uint32_t address = streamAddress();
        const size_t window = m_port.memoryWindowCost(address);
        if (dap::transferRequestSize(ops) + 5 * window + 5 > room)
            break;
        m_port.memoryWindow(ops, address);
        ops.push_back(DebugPort::apWriteOp(kDrw, takeStreamWord()));
        m_port.tarAdvanced(address + 4);
    }
    return true;
}

bool PagePipeline::sendReport(uint32_t lastPage)
{
    if (m_streamPage > lastPage || m_streamPage >= m_pages->size())
        return true;
    const uint32_t address = streamAddress();
    if (m_port.memoryWindowCost(address) != 0) {
        std::vector<dap::TransferOp> ops;
        return fill(ops, lastPage, 0) && m_port.queue(std::move(ops), nullptr, address);
    }
    // TAR already points there: a block of as many words as fit, across pages where their
    // buffers follow each other.
    const size_t n = contiguousWords(lastPage, size_t(m_port.link().packetSize() - 5) / 4);
    std::vector<uint32_t> words(n);
    for (uint32_t &word : words)
        word = takeStreamWord();
    return m_port.writeBlock(address, words.data(), n);
}

bool PagePipeline::start(uint32_t page, uint32_t lastPage)
{
    while (streamLeft(page) > 0) {
        if (!sendReport(page))
            return false;
    }
    std::vector<dap::TransferOp> ops;
    m_port.debugRegisterWindow(ops);
    ops.push_back(DebugPort::apWriteOp(kBd2, stub(page)));
    ops.push_back(DebugPort::apWriteOp(kBd1, kRegWrite | uint32_t(DebugPort::PC)));
    ops.push_back(DebugPort::apWriteOp(
        kBd0, DebugPort::kDbgKey | DebugPort::kCDebugEn | DebugPort::kCMaskInts));
    return fill(ops, lastPage, 0) && m_port.queue(std::move(ops), nullptr, DebugPort::kDhcsr);
}

bool PagePipeline::poll(uint32_t page, bool startNext, bool &stillRunning, uint64_t &ticket)
{
    // Stream words that fit ride in front: those writes happen whatever the poll finds.
    // R0 is read once S_REGRDY is up; a register not ready in time counts as still running, and
    // finish() looks the plain way.
    std::vector<dap::TransferOp> ops;
    const size_t pollBytes = kPollBytes;
    // The next page starts right there when this one returned 0 (R0 exactly the mark): the probe
    // skips the rest of a transfer at a value that does not match, so a page that failed or
    // stopped elsewhere starts nothing, and the core does not wait for a round trip.
    const std::vector<dap::TransferOp> next = {
        {dap::kMatchMask, 0xFFFFFFFF},
        {uint8_t(dap::request(true, true, kBd2) | dap::kMatchValue), kStubMark},
        DebugPort::readyMaskOp(),
        DebugPort::apWriteOp(kBd2, stub(page + 1)),
        DebugPort::apWriteOp(kBd1, kRegWrite | uint32_t(DebugPort::PC)),
        DebugPort::apWriteOp(kBd0,
                             DebugPort::kDbgKey | DebugPort::kCDebugEn | DebugPort::kCMaskInts)};
    const size_t nextBytes = 5 * next.size();
    if (!fill(ops, std::min(page + 1, ahead(page)), pollBytes + (startNext ? nextBytes : 0)))
        return false;
    m_port.debugRegisterWindow(ops);
    ops.push_back({uint8_t(dap::request(true, true, kBd0) | dap::kMatchValue), DebugPort::kReady});
    DebugPort::coreRegisterReadOps(ops, DebugPort::R0);
    m_startedNext = startNext && streamLeft(page + 1) == 0
        && dap::transferRequestSize(ops) + nextBytes <= size_t(m_port.link().packetSize());
    if (m_startedNext)
        ops.insert(ops.end(), next.begin(), next.end());
    return m_port.queue(std::move(ops), &m_result, DebugPort::kDhcsr, &stillRunning, &ticket);
}

bool PagePipeline::finish(uint32_t page, bool stillRunning)
{
    const uint32_t address = m_first + page * m_pageSize;
    const QString what = QStringLiteral("ProgramPage(%1)").arg(hex8(address));
    if (stillRunning) {
        // Slower than its successors' data, or halted in lockup: wait and look the plain way.
        if (!m_port.waitHaltAndRead(int(m_algo.programTimeoutMs()), what, DebugPort::R0, m_result))
            return false;
    }
    if (m_result == kStubMark)
        return true;
    uint32_t pc = 0, value = 0;
    if (!m_port.readCoreRegister(DebugPort::PC, pc)
        || !m_port.readCoreRegister(DebugPort::R1, value))
        return false;
    if (pc == stub(page) + kStubFailed && m_result == kFailMark)
        return m_port.link().fail(SwdAlgorithmFailed,
                                  QStringLiteral("%1 failed: %2 returned %3")
                                      .arg(m_algo.deviceName(), what, QString::number(value)));
    return m_port.link().fail(SwdAlgorithmFailed,
                              QStringLiteral("%1 failed: %2 stopped at %3 instead of returning")
                                  .arg(m_algo.deviceName(), what, hex8(pc)));
}

void PagePipeline::begin(uint32_t first, const std::vector<std::vector<uint32_t>> &pages)
{
    m_first = first;
    m_pages = &pages;
    m_streamPage = 0;
    m_streamSent = 0;
    m_done = 0;
}

bool PagePipeline::prefill()
{
    // No page is running: every buffer from the next page to program on is free.
    const uint32_t last = ahead(m_done);
    while (m_streamPage <= last && m_streamPage < m_pages->size()) {
        if (!sendReport(last))
            return false;
    }
    return true;
}

bool PagePipeline::run(uint32_t to, const std::function<void(uint32_t, uint32_t)> &progress)
{
    const uint32_t total = uint32_t(m_pages->size());
    to = std::min(to, total);
    const uint32_t from = m_done;
    if (from >= to)
        return true;
    // The mask every poll matches with (the slow path's reads set the same one), and the device
    // address of the first page the stubs will program.
    std::vector<dap::TransferOp> setup = {DebugPort::readyMaskOp()};
    m_port.memoryWindow(setup, m_stubs);
    setup.push_back(DebugPort::apWriteOp(kDrw, m_first + from * m_pageSize));
    m_port.tarAdvanced(m_stubs + 4);
    if (!m_port.queue(std::move(setup), nullptr, m_stubs))
        return false;
    // With one buffer the next page can only travel once this one is done.
    const uint32_t beside = m_buffers > 1 ? 1 : 0;
    if (!start(from, from + beside))
        return false;
    for (uint32_t page = from; page < to; ++page) {
        // Page + 1 must be whole before its start, which then rides on the poll; the block that
        // completes it carries the next page's first words, into buffers done pages freed.
        const bool next = page + 1 < to;
        const bool overlap = next && beside;
        const bool wholeBefore = overlap && streamLeft(page + 1) == 0;
        while (overlap && streamLeft(page + 1) > 0) {
            if (!sendReport(ahead(page)))
                return false;
        }
        // Page + 1 was there before this one started (it travelled during an erase): give the
        // core the time of a few reports of later pages before the poll looks, or the poll
        // finds it still running and the slow path costs round trips.
        for (int i = 0; wholeBefore && i < kLookaheadReports; ++i) {
            if (!sendReport(ahead(page)))
                return false;
        }
        bool stillRunning = false;
        uint64_t ticket = 0;
        if (!poll(page, overlap, stillRunning, ticket))
            return false;
        for (int i = 0; i < kLookaheadReports; ++i) {
            if (!sendReport(ahead(page)))
                return false;
        }
        if (!m_port.syncThrough(ticket) || !finish(page, stillRunning))
            return false;
        m_done = page + 1;
        if (progress)
            progress(page + 1, total);
        if (next && !(m_startedNext && !stillRunning) && !start(page + 1, page + 1 + beside))
            return false;
    }
    return m_port.sync();
}
