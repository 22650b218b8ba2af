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

bool TargetCrc::batch(const CrcRange *ranges, uint32_t count, uint32_t *crcs)
{
    std::vector<uint32_t> pairs;
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < count; ++i) {
        pairs.push_back(ranges[i].address);
        pairs.push_back(ranges[i].length);
        bytes += ranges[i].length;
    }
    const QString what = QStringLiteral("Crc32Ranges(%1 ranges from %2)")
                             .arg(count)
                             .arg(hex8(count ? ranges[0].address : 0));
    const uint32_t returnAddress = m_plan.breakpoint;
    if (!m_port.writeBlock(m_plan.crcRanges, pairs.data(), pairs.size())
        || !m_port.writeCoreRegisters({{DebugPort::R0, m_plan.crcRanges},
                                       {DebugPort::R1, count},
                                       {DebugPort::R2, m_plan.crcResults},
                                       {DebugPort::R3, m_plan.crcTable},
                                       {DebugPort::SP, m_plan.stackTop},
                                       {DebugPort::LR, returnAddress | 1},
                                       {DebugPort::PC, m_plan.crcRoutine + m_routine.entry()},
                                       {DebugPort::XPSR, kThumbState}})
        || !m_port.run())
        return false;
    uint32_t done = 0, pc = 0;
    const int timeoutMs = int(kBaseTimeoutMs + bytes / kBytesPerMs);
    // The PC comes back with the halt, the results in the next round trip; they count only if
    // the PC says the routine returned.
    if (!m_port.waitHaltAndRead(timeoutMs, what, DebugPort::R0, done, &pc)
        || !m_port.readBlock(m_plan.crcResults, crcs, count) || !m_port.sync())
        return false;
    // Garbage or a fault never passes for a checksum: the routine must be back where it was sent.
    if (pc != returnAddress || done != count)
        return m_port.link().fail(SwdAlgorithmFailed,
                                  QStringLiteral("CRC routine failed: %1 stopped at %2 with %3")
                                      .arg(what, hex8(pc), QString::number(done)));
    return true;
}

bool TargetCrc::run(const std::vector<CrcRange> &ranges, std::vector<uint32_t> &crcs)
{
    crcs.assign(ranges.size(), 0);
    for (size_t at = 0; at < ranges.size(); at += m_plan.crcBatch) {
        const uint32_t n = uint32_t(std::min<size_t>(m_plan.crcBatch, ranges.size() - at));
        if (!batch(ranges.data() + at, n, crcs.data() + at))
            return false;
    }
    return true;
}
