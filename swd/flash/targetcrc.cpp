// Loading and calling the CRC routine; see the header.
#include "swd/flash/targetcrc.h"

#include "swd/flash/corecall.h"
#include "swd/flash/elfimage.h"

namespace {

using corecall::kThumbState;
constexpr uint32_t kMaxBlob = 0x400;
// A slow core (12 MHz, a dozen cycles a byte) needs about 1 ms per KiB: ten times that, and more.
constexpr uint32_t kBaseTimeoutMs = 200;
constexpr uint32_t kBytesPerMs = 100;

} // namespace

std::optional<CrcRoutine> CrcRoutine::load(const QString &path, QString &error)
{
    std::string why;
    const std::optional<ElfImage> image = ElfImage::load(path.toStdString(), why);
    if (!image) {
        error = QStringLiteral("%1: %2").arg(path, QString::fromStdString(why));
        return std::nullopt;
    }
    const ElfSection *code = image->section("PrgCode");
    const ElfSection *data = image->section("PrgData");
    const ElfSymbol *entry = image->symbol("Crc32Ranges");
    if (!code || !data || !entry || code->addr != 0 || data->addr != code->size
        || uint64_t(code->size) + data->size > kMaxBlob || (entry->value & ~1u) >= code->size
        || !(entry->value & 1)) {
        error = QStringLiteral("%1: no PrgCode, PrgData and Thumb routine Crc32Ranges").arg(path);
        return std::nullopt;
    }
    CrcRoutine r;
    r.m_blob = image->contents(*code);
    const std::vector<uint8_t> rest = image->contents(*data);
    r.m_blob.insert(r.m_blob.end(), rest.begin(), rest.end());
    r.m_blob.resize((code->size + data->size + 3) & ~3u, 0);
    r.m_entry = entry->value & ~1u;
    return r;
}

TargetCrc::TargetCrc(DebugPort &port, const CrcRoutine &routine, const RamPlan &plan)
    : m_port(port)
    , m_routine(routine)
    , m_plan(plan)
{ }

bool TargetCrc::load()
{
    std::vector<uint32_t> words(m_routine.blob().size() / 4);
    for (size_t i = 0; i < m_routine.blob().size(); ++i)
        words[i / 4] |= uint32_t(m_routine.blob()[i]) << (8 * (i % 4));
    return m_port.writeBlock(m_plan.breakpoint, &corecall::kBkptPair, 1)
        && m_port.writeBlock(m_plan.crcRoutine, words.data(), words.size()) && m_port.sync();
}

// A long range list is two halves, a batch in each, so that one batch's ranges travel while the
// core works through the other; a short one is a batch of its own, as the round trips each
// batch costs outweigh what the core's time would hide.
bool TargetCrc::halves() const
{
    return m_plan.crcBatch >= kHalvedBatch;
}

uint32_t TargetCrc::perBatch() const
{
    return halves() ? m_plan.crcBatch / 2 : m_plan.crcBatch;
}

uint32_t TargetCrc::half(size_t batch) const
{
    return halves() ? uint32_t(batch % 2) : 0;
}

uint32_t TargetCrc::count(const std::vector<CrcRange> &ranges, size_t batch) const
{
    return uint32_t(std::min<size_t>(ranges.size() - batch * perBatch(), perBatch()));
}

uint32_t TargetCrc::rangesAt(size_t batch) const
{
    return m_plan.crcRanges + half(batch) * perBatch() * 8;
}

uint32_t TargetCrc::resultsAt(size_t batch) const
{
    return m_plan.crcResults + half(batch) * perBatch() * 4;
}

bool TargetCrc::sendRanges(const std::vector<CrcRange> &ranges, size_t batch)
{
    const size_t from = batch * perBatch();
    std::vector<uint32_t> pairs;
    for (size_t i = from; i < from + count(ranges, batch); ++i) {
        pairs.push_back(ranges[i].address);
        pairs.push_back(ranges[i].length);
    }
    return m_port.writeBlock(rangesAt(batch), pairs.data(), pairs.size());
}

bool TargetCrc::start(const std::vector<CrcRange> &ranges, size_t batch)
{
    std::vector<std::pair<int, uint32_t>> registers = {
        {DebugPort::R0, rangesAt(batch)},
        {DebugPort::R1, count(ranges, batch)},
        {DebugPort::R2, resultsAt(batch)},
        {DebugPort::R3, m_plan.crcTable},
        {DebugPort::LR, m_plan.breakpoint | 1},
        {DebugPort::PC, m_plan.crcRoutine + m_routine.entry()}};
    // A batch after the first follows one that came back to the breakpoint: its SP is back at
    // the top, and the core ran in Thumb state all the way.
    if (batch == 0) {
        registers.push_back({DebugPort::SP, m_plan.stackTop});
        registers.push_back({DebugPort::XPSR, kThumbState});
    }
    return m_port.writeCoreRegisters(registers) && m_port.run();
}

bool TargetCrc::finish(const std::vector<CrcRange> &ranges, size_t batch)
{
    const size_t from = batch * perBatch();
    const uint32_t n = count(ranges, batch);
    uint64_t bytes = 0;
    for (size_t i = from; i < from + n; ++i)
        bytes += ranges[i].length;
    const QString what =
        QStringLiteral("Crc32Ranges(%1 ranges from %2)").arg(n).arg(hex8(ranges[from].address));
    uint32_t done = 0, pc = 0;
    const int timeoutMs = int(kBaseTimeoutMs + bytes / kBytesPerMs);
    if (!m_port.waitHaltAndRead(timeoutMs, what, DebugPort::R0, done, &pc))
        return false;
    // Garbage or a fault never passes for a checksum: the routine must be back where it was sent.
    if (pc != m_plan.breakpoint || done != n)
        return m_port.link().fail(SwdAlgorithmFailed,
                                  QStringLiteral("CRC routine failed: %1 stopped at %2 with %3")
                                      .arg(what, hex8(pc), QString::number(done)));
    return true;
}

bool TargetCrc::run(const std::vector<CrcRange> &ranges, std::vector<uint32_t> &crcs)
{
    crcs.assign(ranges.size(), 0);
    if (ranges.empty())
        return true;
    if (perBatch() == 0)
        return m_port.link().fail(SwdAlgorithmInvalid,
                                  QStringLiteral("no room in RAM for the CRC routine's ranges"));
    // With halves, the next batch's ranges travel while the core works through one, and its
    // results come back while the core works through the next.
    const size_t batches = (ranges.size() + perBatch() - 1) / perBatch();
    auto results = [&](size_t k) {
        return m_port.readBlock(resultsAt(k), crcs.data() + k * perBatch(), count(ranges, k));
    };
    if (!sendRanges(ranges, 0) || !start(ranges, 0))
        return false;
    for (size_t k = 0; k < batches; ++k) {
        const bool next = k + 1 < batches;
        if (!halves()) {
            // The results' read goes out before the next batch's ranges and start.
            if (!finish(ranges, k) || !results(k)
                || (next && (!sendRanges(ranges, k + 1) || !start(ranges, k + 1))))
                return false;
            continue;
        }
        // Batch k + 2, which uses these results' half, starts after a later halt wait, which
        // the queued read goes out before.
        if ((next && !sendRanges(ranges, k + 1)) || !finish(ranges, k)
            || (next && !start(ranges, k + 1)) || !results(k))
            return false;
    }
    return m_port.sync();
}
