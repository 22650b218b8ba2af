// Pipelined ProgramPage calls through a BL stub: each call is one report (R0..R2, PC, run) and
// each poll one report (halted? then R0 and PC).
#include "pagepipeline.h"

namespace {

constexpr uint8_t kBd0 = 0x0, kBd1 = 0x4, kBd2 = 0x8, kDrw = 0xC;
constexpr uint32_t kRegWrite = 1u << 16;

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

bool PagePipeline::sendRest(uint32_t page)
{
    while (m_sent[page] < (*m_pages)[page].size()) {
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

bool PagePipeline::finish(uint32_t page)
{
    const uint32_t address = m_first + page * m_pageSize;
    const QString what = QStringLiteral("ProgramPage(%1)").arg(hex8(address));
    if (m_results[1] != m_stub + 4)
        return m_port.link().fail(SwdAlgorithmFailed,
                                  QStringLiteral("%1 failed: %2 stopped at %3 instead of returning")
                                      .arg(m_algo.deviceName(), what, hex8(m_results[1])));
    if (m_results[0] != 0)
        return m_port.link().fail(SwdAlgorithmFailed,
                                  QStringLiteral("%1 failed: %2 returned %3")
                                      .arg(m_algo.deviceName(), what)
                                      .arg(m_results[0]));
    return true;
}

bool PagePipeline::run(uint32_t first, const std::vector<std::vector<uint32_t>> &pages,
                       const std::function<void(uint32_t, uint32_t)> &progress)
{
    m_first = first;
    m_pages = &pages;
    m_sent.assign(pages.size(), 0);
    const uint32_t total = uint32_t(pages.size());
    // The poll's match looks at S_HALT only.
    if (total == 0 || !sendRest(0)
        || !m_port.queue({{dap::kMatchMask, DebugPort::kSHalt}}, nullptr, DebugPort::kDhcsr))
        return !m_port.link().failed();
    for (uint32_t page = 0; page < total; ++page) {
        if (!start(page) || (page + 1 < total && !sendRest(page + 1)))
            return false;
        std::vector<dap::TransferOp> poll;
        m_port.debugRegisterWindow(poll);
        poll.push_back(
            {uint8_t(dap::request(true, true, kBd0) | dap::kMatchValue), DebugPort::kSHalt});
        poll.push_back(DebugPort::apWriteOp(kBd1, DebugPort::R0));
        poll.push_back(DebugPort::apReadOp(kBd2));
        poll.push_back(DebugPort::apWriteOp(kBd1, DebugPort::PC));
        poll.push_back(DebugPort::apReadOp(kBd2));
        bool stillRunning = false;
        uint64_t ticket = 0;
        if (!m_port.queue(std::move(poll), m_results, DebugPort::kDhcsr, &stillRunning, &ticket))
            return false;
        for (int i = 0; i < kLookaheadReports && page + 2 < total; ++i) {
            if (!sendReport(page + 2))
                return false;
        }
        if (!m_port.syncThrough(ticket))
            return false;
        if (stillRunning) {
            // The page takes longer than its successor's data: wait for it the plain way.
            if (!m_port.waitHalt(
                    int(m_algo.programTimeoutMs()),
                    QStringLiteral("ProgramPage(%1)").arg(hex8(m_first + page * m_pageSize)))
                || !m_port.readCoreRegister(DebugPort::R0, m_results[0])
                || !m_port.readCoreRegister(DebugPort::PC, m_results[1]))
                return false;
        }
        if (!finish(page))
            return false;
        if (progress)
            progress(page + 1, total);
    }
    return m_port.sync();
}
