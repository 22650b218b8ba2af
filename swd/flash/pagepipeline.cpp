// Pipelined ProgramPage calls through per-buffer stubs; see the header for the shape.
#include "swd/flash/pagepipeline.h"

#include "swd/flash/corecall.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr uint8_t kBd0 = 0x0, kBd1 = 0x4, kBd2 = 0x8, kDrw = 0xC;
constexpr uint32_t kRegWrite = 1u << 16;
// A stub's layout: an entry per run length, which sets R4 to it (the longest falls through);
// the page's call; then the BKPT of a run whose pages all returned 0 and that of any other value
// (kept whole in R1); the literals last.
constexpr uint32_t kStubCommon = PagePipeline::kMaxRunPages * 4 - 2; // where a run goes on
constexpr uint32_t kStubReturn = kStubCommon + 0x22;
constexpr uint32_t kStubFailed = kStubCommon + 0x28;
constexpr uint32_t kStubLiterals = kStubCommon + 0x2A;
static_assert(kStubLiterals + 12 == PagePipeline::kStubSize, "a stub's code and literals fill it");
// R0 at each: only a run whose pages returned 0 leaves kStubMark, which the poll's match looks for.
constexpr uint32_t kStubMark = 0xA5, kFailMark = 0xA6;

uint16_t loadLiteral(uint32_t reg, uint32_t at, uint32_t literal)
{
    return uint16_t(0x4800 | reg << 8 | (literal - ((at + 4) & ~3u)) / 4);
}

uint16_t branchIf(uint32_t condition, uint32_t at, uint32_t target)
{
    return uint16_t(0xD000 | condition << 8 | ((int32_t(target - (at + 4)) / 2) & 0xFF));
}

uint16_t branch(uint32_t at, uint32_t target)
{
    return uint16_t(0xE000 | ((int32_t(target - (at + 4)) / 2) & 0x7FF));
}

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
    static_assert(kMaxBuffers * kStubSize < 2048, "a stub's run goes on with a B to the next");
    constexpr uint32_t kEq = 0x0, kNe = 0x1;
    // The address word's room, then the stubs; run() sets the word.
    std::vector<uint32_t> code(kAddressWordSize / 4, 0);
    for (uint32_t k = 0; k < m_buffers; ++k) {
        const uint32_t at = stub(k);
        const uint32_t next = stub(k + 1) + kStubCommon; // the ring's last goes on at the first
        const uint32_t word = at + kStubLiterals, size = word + 4, buffer = word + 8;
        const uint32_t c = at + kStubCommon;
        const auto program = branchAndLink(c + 0x08, m_entry);
        std::vector<uint16_t> halves;
        for (uint32_t n = 1; n < kMaxRunPages; ++n) {
            halves.push_back(uint16_t(0x2400 | n)); // MOVS R4, #n
            halves.push_back(branch(at + n * 4 - 2, c));
        }
        halves.push_back(uint16_t(0x2400 | kMaxRunPages));
        // The address word is read again after the call: ProgramPage may use any scratch
        // register, and a word it moved on by mistake would put the next page elsewhere.
        const uint16_t call[] = {
            loadLiteral(3, c, word), // common: LDR R3, =address word
            0x6818, // LDR R0, [R3]
            loadLiteral(1, c + 0x04, size), // LDR R1, =page size
            loadLiteral(2, c + 0x06, buffer), // LDR R2, =buffer
            program.first,
            program.second, // BL ProgramPage
            0x2800, // CMP R0, #0
            branchIf(kNe, c + 0x0E, at + kStubFailed - 4),
            loadLiteral(3, c + 0x10, word), // LDR R3, =address word
            0x6818, // LDR R0, [R3]
            loadLiteral(1, c + 0x14, size), // LDR R1, =page size
            0x1840, // ADDS R0, R0, R1
            0x6018, // STR R0, [R3]
            0x3C01, // SUBS R4, #1
            branchIf(kEq, c + 0x1C, at + kStubReturn - 2),
            branch(c + 0x1E, next), // the run's next page, in the next buffer
            0x20A5, // MOVS R0, #kStubMark
            corecall::kBkpt,
            0x0001, // failed: MOVS R1, R0
            0x20A6, // MOVS R0, #kFailMark
            corecall::kBkpt,
        };
        halves.insert(halves.end(), std::begin(call), std::end(call));
        for (size_t i = 0; i < std::size(halves); i += 2)
            code.push_back(halves[i] | uint32_t(halves[i + 1]) << 16);
        const uint32_t literals[] = {m_stubs, m_pageSize, slot(k)};
        code.insert(code.end(), std::begin(literals), std::end(literals));
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

uint32_t PagePipeline::longestRun() const
{
    // A run's buffers and the next run's, which travels meanwhile, side by side.
    return std::clamp(m_buffers / 2, 1u, kMaxRunPages);
}

uint32_t PagePipeline::entry(uint32_t page, uint32_t count) const
{
    return stub(page) + (count - 1) * 4;
}

QString PagePipeline::calls(uint32_t page, uint32_t count) const
{
    return corecall::callsText("ProgramPage", m_first + page * m_pageSize,
                               m_first + (page + count - 1) * m_pageSize);
}

bool PagePipeline::start(uint32_t page, uint32_t count, bool setAddress)
{
    while (streamLeft(page + count - 1) > 0) {
        if (!sendReport(page + count - 1))
            return false;
    }
    std::vector<dap::TransferOp> ops;
    if (setAddress) {
        // The mask every poll matches with (the slow path's reads set the same one), and the
        // device address of the run's first page, which the stubs move on from.
        ops.push_back(DebugPort::readyMaskOp());
        m_port.memoryWindow(ops, m_stubs);
        ops.push_back(DebugPort::apWriteOp(kDrw, m_first + page * m_pageSize));
        m_port.tarAdvanced(m_stubs + 4);
    }
    m_port.debugRegisterWindow(ops);
    ops.push_back(DebugPort::apWriteOp(kBd2, entry(page, count)));
    ops.push_back(DebugPort::apWriteOp(kBd1, kRegWrite | uint32_t(DebugPort::PC)));
    ops.push_back(DebugPort::apWriteOp(
        kBd0, DebugPort::kDbgKey | DebugPort::kCDebugEn | DebugPort::kCMaskInts));
    return fill(ops, ahead(page), 0) && m_port.queue(std::move(ops), nullptr, DebugPort::kDhcsr);
}

bool PagePipeline::poll(uint32_t page, uint32_t next, uint32_t nextCount, bool &stillRunning,
                        uint64_t &ticket)
{
    // Stream words that fit ride in front: those writes happen whatever the poll finds.
    // R0 is read once S_REGRDY is up; a register not ready in time counts as still running, and
    // finish() looks the plain way.
    std::vector<dap::TransferOp> ops;
    // The next run starts right there when this one's pages returned 0 (R0 exactly the mark):
    // the probe skips the rest of a transfer at a value that does not match, so a run that
    // failed or stopped elsewhere starts nothing, and the core does not wait for a round trip.
    const std::vector<dap::TransferOp> start = {
        {dap::kMatchMask, 0xFFFFFFFF},
        {uint8_t(dap::request(true, true, kBd2) | dap::kMatchValue), kStubMark},
        DebugPort::readyMaskOp(),
        DebugPort::apWriteOp(kBd2, nextCount ? entry(next, nextCount) : 0),
        DebugPort::apWriteOp(kBd1, kRegWrite | uint32_t(DebugPort::PC)),
        DebugPort::apWriteOp(kBd0,
                             DebugPort::kDbgKey | DebugPort::kCDebugEn | DebugPort::kCMaskInts)};
    const size_t startBytes = nextCount ? 5 * start.size() : 0;
    const uint32_t lastNext = nextCount ? next + nextCount - 1 : page;
    if (!fill(ops, std::min(lastNext, ahead(page)), kPollBytes + startBytes))
        return false;
    m_port.debugRegisterWindow(ops);
    ops.push_back({uint8_t(dap::request(true, true, kBd0) | dap::kMatchValue), DebugPort::kReady});
    DebugPort::coreRegisterReadOps(ops, DebugPort::R0);
    m_startedNext = nextCount && streamLeft(lastNext) == 0
        && dap::transferRequestSize(ops) + startBytes <= size_t(m_port.link().packetSize());
    if (m_startedNext)
        ops.insert(ops.end(), start.begin(), start.end());
    return m_port.queue(std::move(ops), &m_result, DebugPort::kDhcsr, &stillRunning, &ticket);
}

bool PagePipeline::finish(uint32_t page, uint32_t count, bool stillRunning)
{
    if (stillRunning) {
        // Slower than its successors' data, or halted in lockup: wait and look the plain way.
        if (!m_port.waitHaltAndRead(int(m_algo.programTimeoutMs() * count), calls(page, count),
                                    DebugPort::R0, m_result))
            return false;
    }
    if (m_result == kStubMark)
        return true;
    // The page that stopped the run: the address word, which each page that returned 0 moved
    // on, points at it.
    uint32_t pc = 0, value = 0, address = 0;
    if (!m_port.readCoreRegister(DebugPort::PC, pc)
        || !m_port.readCoreRegister(DebugPort::R1, value) || !m_port.readBlock(m_stubs, &address, 1)
        || !m_port.sync())
        return false;
    uint32_t failed = page;
    for (uint32_t k = page; k < page + count; ++k) {
        if (address == m_first + k * m_pageSize)
            failed = k;
    }
    const QString what = calls(failed, 1);
    if (pc == stub(failed) + kStubFailed && m_result == kFailMark)
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
    // With one buffer the next page can only travel once this one is done.
    const bool overlap = m_buffers > 1;
    uint32_t page = from;
    uint32_t count = std::min(longestRun(), to - from);
    if (!start(page, count, true))
        return false;
    for (;;) {
        // The next run's pages must be whole before its start, which then rides on the poll;
        // the block that completes them carries later pages' first words, into buffers done
        // pages freed.
        const uint32_t next = page + count;
        const uint32_t nextCount = std::min(longestRun(), to - next);
        const bool ride = overlap && nextCount > 0;
        const uint32_t lastNext = next + nextCount - 1;
        const bool wholeBefore = ride && streamLeft(lastNext) == 0;
        // Where the next run fills the ring, nothing may travel after it until this run is
        // found done: the poll goes out a few reports before the next run is whole, and its
        // answer is back by then; the next run then starts in a report of its own. Only over
        // HID, where a reply waited for costs frames; and a core slower than the link, found
        // still running that early, stops it.
        const bool ringFull =
            m_pollEarly && m_port.link().isHid() && ride && lastNext >= ahead(page);
        bool stillRunning = false, polled = false;
        uint64_t ticket = 0;
        while (ride && streamLeft(lastNext) > 0) {
            if (ringFull && !polled && streamLeft(lastNext) <= kEarlyPollWords) {
                if (!poll(page, next, 0, stillRunning, ticket))
                    return false;
                polled = true;
            }
            if (!sendReport(ahead(page)))
                return false;
        }
        // The next run was there before this one started (it travelled during an erase): give
        // the core the time of a few reports of later pages before the poll looks, or the poll
        // finds it still running and the slow path costs round trips.
        for (uint32_t i = 0; wholeBefore && i < kLookaheadReports * count; ++i) {
            if (!sendReport(ahead(page)))
                return false;
        }
        if (!polled && !poll(page, next, ride ? nextCount : 0, stillRunning, ticket))
            return false;
        for (int i = 0; !polled && i < kLookaheadReports; ++i) {
            if (!sendReport(ahead(page)))
                return false;
        }
        if (!m_port.syncThrough(ticket) || !finish(page, count, stillRunning))
            return false;
        m_pollEarly = m_pollEarly && !(polled && stillRunning);
        m_done = next;
        if (progress)
            progress(next, total);
        if (nextCount == 0)
            break;
        if (!(m_startedNext && !stillRunning) && !start(next, nextCount, false))
            return false;
        page = next;
        count = nextCount;
    }
    return m_port.sync();
}
