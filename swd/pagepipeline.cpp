// Pipelined ProgramPage calls through a stub: each call is one report (R0..R2, PC, run) and each
// poll one report (the next page's tail, then: halted? R0).
#include "pagepipeline.h"

namespace {

constexpr uint8_t kBd0 = 0x0, kBd1 = 0x4, kBd2 = 0x8, kDrw = 0xC;
constexpr uint32_t kRegWrite = 1u << 16;
constexpr uint32_t kStubReturn = 8; // the BKPT after BL, LSLS and ADDS
constexpr uint32_t kStubMark = 0xA5;

QString hex8(uint32_t v)
{
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')).toUpper().replace("0X", "0x");
}

} // namespace

PagePipeline::PagePipeline(DebugPort &port, const FlashAlgorithm &algorithm, uint32_t buffers,
                           uint32_t stub)
    : m_port(port)
    , m_algo(algorithm)
    , m_buffers(buffers)
    , m_stub(stub)
    , m_pageSize(algorithm.pageSize())
{ }

bool PagePipeline::sendReport(uint32_t page)
{
    const std::vector<uint32_t> &words = (*m_pages)[page];
    size_t &sent = m_sent[page];
    if (sent >= words.size())
        return true;
    const uint32_t address = bufferOf(page) + uint32_t(sent) * 4;
    // The page's first report sets SELECT and TAR and fills the rest with plain DRW writes.
    std::vector<dap::TransferOp> ops;
    m_port.memoryWindow(ops, address);
    if (ops.empty()) {
        const size_t n =
            std::min<size_t>({words.size() - sent, size_t(m_port.link().packetSize() - 5) / 4,
                              (0x400 - address % 0x400) / 4});
        sent += n;
        return m_port.writeBlock(address, words.data() + sent - n, n);
    }
    size_t n = 0;
    while (sent + n < words.size()
           && dap::transferRequestSize(ops) + 5 <= size_t(m_port.link().packetSize())) {
        ops.push_back(DebugPort::apWriteOp(kDrw, words[sent + n]));
        ++n;
        if ((address + 4 * n) % 0x400 == 0)
            break;
    }
    sent += n;
    m_port.tarAdvanced(address + 4 * uint32_t(n));
    return m_port.queue(std::move(ops), nullptr, address);
}

bool PagePipeline::sendWhileMore(uint32_t page, size_t keep)
{
    while ((*m_pages)[page].size() - m_sent[page] > keep) {
        if (!sendReport(page))
            return false;
    }
    return true;
}

bool PagePipeline::start(uint32_t page)
{
    std::vector<dap::TransferOp> ops;
    m_port.debugRegisterWindow(ops);
    const std::pair<int, uint32_t> regs[] = {{DebugPort::R0, m_first + page * m_pageSize},
                                             {DebugPort::R1, m_pageSize},
                                             {DebugPort::R2, bufferOf(page)},
                                             {DebugPort::PC, m_stub}};
    for (const auto &[reg, value] : regs) {
        ops.push_back(DebugPort::apWriteOp(kBd2, value));
        ops.push_back(DebugPort::apWriteOp(kBd1, kRegWrite | uint32_t(reg)));
    }
    ops.push_back(DebugPort::apWriteOp(
        kBd0, DebugPort::kDbgKey | DebugPort::kCDebugEn | DebugPort::kCMaskInts));
    return m_port.queue(std::move(ops), nullptr, DebugPort::kDhcsr);
}

bool PagePipeline::poll(uint32_t tailPage, bool &stillRunning, uint64_t &ticket)
{
    // The tail of the next page rides in front: those writes happen whatever the poll finds.
    std::vector<dap::TransferOp> ops;
    uint32_t address = 0;
    if (tailPage < m_pages->size()) {
        const std::vector<uint32_t> &words = (*m_pages)[tailPage];
        size_t &sent = m_sent[tailPage];
        address = bufferOf(tailPage) + uint32_t(sent) * 4;
        if (sent < words.size())
            m_port.memoryWindow(ops, address);
        for (; sent < words.size(); ++sent, address += 4)
            ops.push_back(DebugPort::apWriteOp(kDrw, words[sent]));
        m_port.tarAdvanced(address);
    }
    m_port.debugRegisterWindow(ops);
    ops.push_back({uint8_t(dap::request(true, true, kBd0) | dap::kMatchValue), DebugPort::kSHalt});
    ops.push_back(DebugPort::apWriteOp(kBd1, DebugPort::R0));
    ops.push_back(DebugPort::apReadOp(kBd2));
    return m_port.queue(std::move(ops), &m_result, DebugPort::kDhcsr, &stillRunning, &ticket);
}

bool PagePipeline::finish(uint32_t page, bool stillRunning)
{
    const uint32_t address = m_first + page * m_pageSize;
    const QString what = QStringLiteral("ProgramPage(%1)").arg(hex8(address));
    uint32_t pc = m_stub + kStubReturn;
    if (stillRunning) {
        // Slower than its successor's data, or halted in lockup: wait and look the plain way.
        if (!m_port.waitHalt(int(m_algo.programTimeoutMs()), what)
            || !m_port.readCoreRegister(DebugPort::R0, m_result)
            || !m_port.readCoreRegister(DebugPort::PC, pc))
            return false;
    }
    // The stub turns a return value v into v << 8 | 0xA5: a core stopped anywhere else shows.
    if (pc != m_stub + kStubReturn || (m_result & 0xFF) != kStubMark)
        return m_port.link().fail(SwdAlgorithmFailed,
                                  QStringLiteral("%1 failed: %2 stopped at %3 instead of returning")
                                      .arg(m_algo.deviceName(), what, hex8(pc)));
    if (m_result != kStubMark)
        return m_port.link().fail(SwdAlgorithmFailed,
                                  QStringLiteral("%1 failed: %2 returned %3")
                                      .arg(m_algo.deviceName(), what)
                                      .arg(m_result >> 8));
    return true;
}

bool PagePipeline::run(uint32_t first, const std::vector<std::vector<uint32_t>> &pages,
                       const std::function<void(uint32_t, uint32_t)> &progress)
{
    m_first = first;
    m_pages = &pages;
    m_sent.assign(pages.size(), 0);
    const uint32_t total = uint32_t(pages.size());
    // A poll matches a halted core that is not locked up.
    if (total == 0 || !sendWhileMore(0, 0)
        || !m_port.queue({{dap::kMatchMask, DebugPort::kSHalt | DebugPort::kSLockup}}, nullptr,
                         DebugPort::kDhcsr)
        || !start(0))
        return !m_port.link().failed();
    for (uint32_t page = 0; page < total; ++page) {
        bool stillRunning = false;
        uint64_t ticket = 0;
        if ((page + 1 < total && !sendWhileMore(page + 1, kTailWords))
            || !poll(page + 1, stillRunning, ticket))
            return false;
        for (int i = 0; i < kLookaheadReports && page + 2 < total; ++i) {
            if (!sendReport(page + 2))
                return false;
        }
        if (!m_port.syncThrough(ticket) || !finish(page, stillRunning))
            return false;
        if (progress)
            progress(page + 1, total);
        if (page + 1 < total && !start(page + 1))
            return false;
    }
    return m_port.sync();
}
