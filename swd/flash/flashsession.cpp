// Flash algorithm calls: arguments in R0..R2, static base in R9, return to a breakpoint.
#include "swd/flash/flashsession.h"

#include "swd/flash/corecall.h"
#include "swd/flash/pagepipeline.h"
#include "swd/flash/sessionchain.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>

namespace {

constexpr uint32_t kVerifyChunk = 0x1000; // bytes read back per pipelined batch
using corecall::kHaltTimeoutMs;
using corecall::kThumbState;

std::vector<uint32_t> toWords(const std::vector<uint8_t> &bytes, size_t from, size_t size,
                              uint8_t fill)
{
    std::vector<uint32_t> words((size + 3) / 4);
    for (size_t i = 0; i < words.size() * 4; ++i) {
        const uint8_t b = from + i < bytes.size() && i < size ? bytes[from + i] : fill;
        words[i / 4] |= uint32_t(b) << (8 * (i % 4));
    }
    return words;
}

QString callText(const std::string &routine, const std::vector<uint32_t> &args)
{
    QStringList shown;
    for (uint32_t a : args)
        shown << hex8(a);
    return QStringLiteral("%1(%2)").arg(QString::fromStdString(routine), shown.join(", "));
}

QString batchText(const std::vector<uint32_t> &addresses)
{
    return corecall::callsText("EraseSector", addresses.front(), addresses.back());
}

} // namespace

FlashSession::FlashSession(DebugPort &port, const FlashAlgorithm &algorithm, const RamPlan &plan)
    : m_port(port)
    , m_algo(algorithm)
    , m_plan(plan)
{ }

bool FlashSession::load(bool copy)
{
    // The writes follow the halt request in the probe's queue; the wait checks it took effect.
    const std::vector<uint32_t> words =
        copy ? toWords(m_algo.blob(), 0, m_algo.blob().size(), 0) : std::vector<uint32_t>();
    if (!m_port.requestHalt() || !m_port.writeBlock(m_plan.breakpoint, &corecall::kBkptPair, 1)
        || (!words.empty() && !m_port.writeBlock(m_plan.algorithm, words.data(), words.size()))
        || !m_port.waitHalt(kHaltTimeoutMs, QStringLiteral("halt request")))
        return false;
    // RAM that is not there, or is remapped or protected, would run as garbage: read it back
    // before the first call.
    std::vector<uint32_t> back(words.size());
    if (!words.empty()
        && (!m_port.readBlock(m_plan.algorithm, back.data(), back.size()) || !m_port.sync()))
        return false;
    for (size_t i = 0; i < words.size(); ++i)
        if (back[i] != words[i])
            return m_port.link().fail(
                SwdAlgorithmFailed,
                QStringLiteral("the flash algorithm did not load: RAM at %1 reads %2, not %3")
                    .arg(hex8(m_plan.algorithm + 4 * uint32_t(i)), hex8(back[i]), hex8(words[i])));
    return true;
}

bool FlashSession::startCall(const std::string &routine, const std::vector<uint32_t> &args)
{
    const uint32_t entry = m_plan.algorithm + *m_algo.entry(routine);
    std::vector<std::pair<int, uint32_t>> regs;
    for (size_t i = 0; i < args.size(); ++i)
        regs.emplace_back(int(i), args[i]);
    regs.emplace_back(DebugPort::R9, m_plan.algorithm + m_algo.dataOffset());
    regs.emplace_back(DebugPort::SP, m_plan.stackTop);
    regs.emplace_back(DebugPort::LR, m_plan.breakpoint | 1);
    regs.emplace_back(DebugPort::PC, entry);
    regs.emplace_back(DebugPort::XPSR, kThumbState);
    return m_port.writeCoreRegisters(regs) && m_port.run();
}

bool FlashSession::checkReturn(const QString &what, uint32_t result, uint32_t pc,
                               uint32_t expectedPc)
{
    // A routine that ran into a stray BKPT (or faulted into one) halted too, with anything in R0.
    if (pc != expectedPc)
        return m_port.link().fail(SwdAlgorithmFailed,
                                  QStringLiteral("%1 failed: %2 stopped at %3 instead of returning")
                                      .arg(m_algo.deviceName(), what, hex8(pc)));
    if (result != 0)
        return m_port.link().fail(SwdAlgorithmFailed,
                                  QStringLiteral("%1 failed: %2 returned %3")
                                      .arg(m_algo.deviceName(), what, QString::number(result)));
    return true;
}

bool FlashSession::finishCall(const QString &what, uint32_t timeoutMs)
{
    uint32_t result = 0, pc = 0;
    return m_port.waitHaltAndRead(int(timeoutMs), what, DebugPort::R0, result, &pc)
        && checkReturn(what, result, pc, m_plan.breakpoint);
}

bool FlashSession::call(const std::string &routine, const std::vector<uint32_t> &args,
                        uint32_t timeoutMs)
{
    return startCall(routine, args) && finishCall(callText(routine, args), timeoutMs);
}

bool FlashSession::init(Function function, uint32_t clockHz)
{
    if (!call("Init", {m_algo.deviceStart(), clockHz, uint32_t(function)}, kHaltTimeoutMs))
        return false;
    m_session = function;
    return true;
}

bool FlashSession::uninit(Function function)
{
    m_session = 0;
    return call("UnInit", {uint32_t(function)}, kHaltTimeoutMs);
}

bool FlashSession::eraseChip()
{
    if (m_session != FunctionErase)
        return m_port.link().fail(SwdBadJob, QStringLiteral("EraseChip outside an erase session"));
    if (!m_algo.entry("EraseChip"))
        return m_port.link().fail(SwdAlgorithmInvalid,
                                  QStringLiteral("%1 has no EraseChip").arg(m_algo.deviceName()));
    // toErase is per sector: the whole device may take as long as all of them, within what a
    // wait can count.
    const uint64_t sectors = m_algo.sectorsCovering(0, m_algo.deviceSize()).size();
    const uint64_t timeoutMs = uint64_t(m_algo.eraseTimeoutMs()) * std::max<uint64_t>(sectors, 1);
    // While the core erases, prepared pages travel into the free page buffers.
    return startCall("EraseChip", {}) && (!m_pipeline || m_pipeline->prefill())
        && finishCall(QStringLiteral("EraseChip()"),
                      uint32_t(std::min<uint64_t>(timeoutMs, INT32_MAX)));
}

// One run of a loop on the core for up to a buffer's worth of sectors: a round trip per batch
// instead of per sector.
bool FlashSession::eraseSectors(uint32_t offset, uint32_t length)
{
    return eraseSectors(m_algo.sectorsCovering(offset, length));
}

bool FlashSession::eraseSectors(const std::vector<uint32_t> &sectors)
{
    if (m_session != FunctionErase)
        return m_port.link().fail(SwdBadJob,
                                  QStringLiteral("EraseSector outside an erase session"));
    const std::vector<uint32_t> loop = PagePipeline::eraseLoopCode(
        m_plan.eraseLoop, m_plan.algorithm + *m_algo.entry("EraseSector"));
    if (!sectors.empty() && !m_port.writeBlock(m_plan.eraseLoop, loop.data(), loop.size()))
        return false;
    const size_t batch = RamPlan::kEraseBatch;
    for (size_t from = 0; from < sectors.size(); from += batch) {
        const size_t n = std::min(batch, sectors.size() - from);
        std::vector<uint32_t> addresses(n);
        for (size_t i = 0; i < n; ++i)
            addresses[i] = m_algo.deviceStart() + sectors[from + i];
        const QString what = batchText(addresses);
        uint32_t result = 0, left = 0, pc = 0;
        if (!m_port.writeBlock(m_plan.eraseList, addresses.data(), n)
            || !m_port.writeCoreRegisters({{DebugPort::R0, m_plan.eraseList},
                                           {DebugPort::R1, uint32_t(n)},
                                           {DebugPort::R9, m_plan.algorithm + m_algo.dataOffset()},
                                           {DebugPort::SP, m_plan.stackTop},
                                           {DebugPort::PC, m_plan.eraseLoop},
                                           {DebugPort::XPSR, kThumbState}})
            || !m_port.run() || (m_pipeline && !m_pipeline->prefill())
            || !m_port.waitHaltAndRead(int(m_algo.eraseTimeoutMs() * n), what, DebugPort::R0,
                                       result, &pc))
            return false;
        if (result != 0 && !m_port.readCoreRegister(DebugPort::R5, left))
            return false;
        const QString failed = result != 0 && left >= 1 && left <= n
            ? callText("EraseSector", {addresses[n - left]})
            : what;
        if (!checkReturn(failed, result, pc, m_plan.eraseLoop + PagePipeline::kEraseLoopReturn))
            return false;
    }
    return true;
}

bool FlashSession::eraseBetween(const std::vector<uint32_t> &sectors, bool reopen, uint32_t clockHz,
                                bool &erased)
{
    erased = false;
    if (chains() && !sectors.empty() && sectors.size() <= sessionchain::kListWords)
        return chain(sectors, reopen, clockHz, erased);
    if (m_session == FunctionProgram && !uninit(FunctionProgram))
        return false;
    erased = init(FunctionErase, clockHz) && eraseSectors(sectors) && uninit(FunctionErase);
    return erased && (!reopen || init(FunctionProgram, clockHz));
}

// A failure names the call that failed as its own run would.
bool FlashSession::chain(const std::vector<uint32_t> &sectors, bool reopen, uint32_t clockHz,
                         bool &erased)
{
    using namespace sessionchain;
    const bool close = m_session == FunctionProgram;
    const uint32_t adr = m_algo.deviceStart();
    if (m_chainClock != clockHz) {
        const std::vector<uint32_t> code = sessionchain::code(
            m_plan.algorithm + *m_algo.entry("Init"), m_plan.algorithm + *m_algo.entry("UnInit"),
            m_plan.algorithm + *m_algo.entry("EraseSector"), adr, clockHz);
        if (!m_port.writeBlock(m_plan.chain, code.data(), code.size()))
            return false;
        m_chainClock = clockHz;
    }
    const size_t n = sectors.size();
    std::vector<uint32_t> addresses(n);
    for (size_t i = 0; i < n; ++i)
        addresses[i] = adr + sectors[i];
    // What a step's own call would be named and given, R5 the sectors left in StepErase.
    auto named = [&](uint32_t step, uint32_t left, bool returned) -> std::pair<QString, uint32_t> {
        if (step == StepCloseProgram && close)
            return {callText("UnInit", {FunctionProgram}), kHaltTimeoutMs};
        if (step == StepInitErase)
            return {callText("Init", {adr, clockHz, FunctionErase}), kHaltTimeoutMs};
        if (step == StepErase)
            return {returned && left >= 1 && left <= n
                        ? callText("EraseSector", {addresses[n - left]})
                        : batchText(addresses),
                    m_algo.eraseTimeoutMs() * uint32_t(n)};
        if (step == StepCloseErase)
            return {callText("UnInit", {FunctionErase}), kHaltTimeoutMs};
        if (step == StepInitProgram && reopen)
            return {callText("Init", {adr, clockHz, FunctionProgram}), kHaltTimeoutMs};
        return {QStringLiteral("the calls around an erase"), 0};
    };
    m_session = 0;
    const uint32_t timeoutMs = m_algo.eraseTimeoutMs() * uint32_t(n) + 4 * kHaltTimeoutMs;
    uint32_t result = 0, pc = 0, step = 0, left = 0;
    bool late = false;
    if (!m_port.writeBlock(m_plan.chain + kList, addresses.data(), n)
        || !m_port.writeCoreRegisters(
            {{DebugPort::R4, m_plan.chain + kList},
             {DebugPort::R5, uint32_t(n)},
             {DebugPort::R7, m_plan.chain + kTable},
             {DebugPort::R8, reopen ? 1u : 0u},
             {DebugPort::R9, m_plan.algorithm + m_algo.dataOffset()},
             {DebugPort::SP, m_plan.stackTop},
             {DebugPort::PC, m_plan.chain + (close ? kEntryClose : kEntryInit)},
             {DebugPort::XPSR, kThumbState}})
        || !m_port.run() || (m_pipeline && !m_pipeline->prefill())
        || !m_port.waitHaltAndRead(int(timeoutMs), DebugPort::R0, result, late, &pc))
        return false;
    if (late) {
        // The step still running overran its own time: name it as its own call's wait would.
        if (!m_port.requestHalt()
            || !m_port.waitHalt(kHaltTimeoutMs, QStringLiteral("halt request"))
            || !m_port.read32(m_plan.chain + kStepWord, step))
            return false;
        const auto [what, ms] = named(step, left, false);
        return m_port.link().fail(SwdNoHalt,
                                  QStringLiteral("core did not halt within %1 ms (%2)")
                                      .arg(ms ? ms : timeoutMs)
                                      .arg(what));
    }
    if (pc == m_plan.chain + kReturn && result == 0) {
        m_session = reopen ? FunctionProgram : 0;
        erased = true;
        return true;
    }
    if (!m_port.read32(m_plan.chain + kStepWord, step)
        || !m_port.readCoreRegister(DebugPort::R5, left))
        return false;
    erased = step == StepInitProgram && reopen;
    return checkReturn(named(step, left, result != 0).first, result, pc, m_plan.chain + kReturn);
}

bool FlashSession::program(uint32_t offset, const std::vector<uint8_t> &bytes,
                           const Progress &progress)
{
    preparePages(offset, bytes);
    return programPages(~uint32_t(0), progress);
}

void FlashSession::preparePages(uint32_t offset, const std::vector<uint8_t> &bytes)
{
    const uint32_t page = m_algo.pageSize();
    // Pages start on page boundaries of the device; a partial first page is padded in front.
    m_firstPage = offset - offset % page;
    std::vector<uint8_t> padded(offset - m_firstPage, m_algo.erasedValue());
    padded.insert(padded.end(), bytes.begin(), bytes.end());
    m_pages.assign((padded.size() + page - 1) / page, {});
    for (size_t i = 0; i < m_pages.size(); ++i)
        m_pages[i] = toWords(padded, i * page, page, m_algo.erasedValue());
    m_pipeline.emplace(m_port, m_algo, m_plan.algorithm + *m_algo.entry("ProgramPage"),
                       m_plan.pageStubs, m_plan.buffers, m_plan.bufferCount);
    m_pipeline->begin(m_algo.deviceStart() + m_firstPage, m_pages);
}

std::optional<uint32_t> FlashSession::nextPage() const
{
    if (!m_pipeline || m_pipeline->done() >= m_pages.size())
        return std::nullopt;
    return m_firstPage + m_pipeline->done() * m_algo.pageSize();
}

bool FlashSession::programPages(uint32_t end, const Progress &progress)
{
    if (m_session != FunctionProgram)
        return m_port.link().fail(SwdBadJob,
                                  QStringLiteral("ProgramPage outside a program session"));
    if (!m_pipeline)
        return true;
    const uint32_t page = m_algo.pageSize();
    const uint64_t reach = end < m_firstPage ? 0 : (uint64_t(end) - m_firstPage) / page;
    const uint32_t to = uint32_t(std::min<uint64_t>(reach, m_pages.size()));
    if (to <= m_pipeline->done())
        return true;
    // R9, SP and xPSR survive every call, so they are set once a step.
    if (!m_stubsWritten) {
        const std::vector<uint32_t> stubs = m_pipeline->stubCode();
        if (!m_port.writeBlock(m_plan.pageStubs, stubs.data(), stubs.size()))
            return false;
        m_stubsWritten = true;
    }
    if (!m_port.writeCoreRegisters({{DebugPort::R9, m_plan.algorithm + m_algo.dataOffset()},
                                    {DebugPort::SP, m_plan.stackTop},
                                    {DebugPort::XPSR, kThumbState}}))
        return false;
    return m_pipeline->run(to, progress);
}

bool FlashSession::verify(uint32_t readAddress, uint32_t jobAddress,
                          const std::vector<uint8_t> &bytes, const Progress &progress)
{
    const uint32_t head = readAddress % 4;
    const uint32_t start = readAddress - head;
    const size_t total = head + bytes.size();
    std::vector<uint32_t> words((total + 3) / 4);
    // Each chunk is compared once its replies are in, while the next one is already on its way.
    std::vector<std::pair<size_t, uint64_t>> chunks; // end byte, ticket of its last reply
    for (size_t at = 0; at < total; at += kVerifyChunk) {
        const size_t n = std::min<size_t>(kVerifyChunk, total - at);
        if (!m_port.readBlock(start + uint32_t(at), words.data() + at / 4, (n + 3) / 4))
            return false;
        chunks.emplace_back(at + n, m_port.lastTicket());
    }
    size_t checked = 0;
    for (const auto &[end, ticket] : chunks) {
        if (!m_port.syncThrough(ticket))
            return false;
        for (; checked < end; ++checked) {
            if (checked < head)
                continue;
            const uint8_t got = uint8_t(words[checked / 4] >> (8 * (checked % 4)));
            const uint8_t want = bytes[checked - head];
            if (got != want)
                return m_port.link().fail(
                    SwdVerifyMismatch,
                    QStringLiteral("verify failed at %1: read 0x%2, expected 0x%3")
                        .arg(hex8(jobAddress + uint32_t(checked - head)))
                        .arg(got, 2, 16, QLatin1Char('0'))
                        .arg(want, 2, 16, QLatin1Char('0')));
        }
        if (progress)
            progress(uint32_t(end), uint32_t(total));
    }
    return true;
}
