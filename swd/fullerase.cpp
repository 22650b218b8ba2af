// Full erase of a bank by its algorithm's EraseChip. An EraseChip may stop short of the bank's
// end (the QB48x's at 64 KiB unless the chip is configured for 120 KiB), so the bank is checked
// blank after it and whatever it left is erased sector by sector.
#include "images/crc32.h"
#include "pack/jobalgorithms.h"
#include "swd/jobrun.h"

#include <map>
#include <optional>

namespace swdrun {

void JobRun::noteFullErase(const FlashBank &bank, const char *by, size_t sectors)
{
    m_fullErase.append({pack::algorithmName(*bank.ref), QString::fromLatin1(by), int(sectors)});
}

bool JobRun::eraseByChip(const FlashBank &bank, FlashSession *given)
{
    std::optional<FlashSession> own;
    if (!given && !load(own.emplace(m_port, *bank.algorithm, *m_plan), bank))
        return false;
    FlashSession &session = given ? *given : *own;
    if (!session.init(FlashSession::FunctionErase, m_clockHz) || !session.eraseChip()
        || !session.uninit(FlashSession::FunctionErase))
        return false;
    std::vector<uint32_t> left;
    if (!verifySession(bank, [&](FlashSession &) { return notBlank(bank, left); }))
        return false;
    if (!left.empty()
        && !(session.init(FlashSession::FunctionErase, m_clockHz) && session.eraseSectors(left)
             && session.uninit(FlashSession::FunctionErase)))
        return false;
    // Every sector of the bank is blank now, whichever way it got there.
    m_counts.erased += int(bank.extentSectors().size());
    noteFullErase(bank, left.empty() ? "chip" : "chip+sectors", left.size());
    return true;
}

bool JobRun::notBlank(const FlashBank &bank, std::vector<uint32_t> &sectors)
{
    const std::vector<uint32_t> extent = bank.extentSectors();
    return m_crc ? notBlankByCrc(bank, extent, sectors) : notBlankByReading(bank, extent, sectors);
}

// One CRC per sector: a single pass over the bank finds exactly the sectors left.
bool JobRun::notBlankByCrc(const FlashBank &bank, const std::vector<uint32_t> &extent,
                           std::vector<uint32_t> &sectors)
{
    const FlashAlgorithm &a = *bank.algorithm;
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    for (uint32_t start : extent)
        ranges.push_back({start, a.sectorSizeAt(start)});
    std::vector<uint32_t> answers;
    if (!crcs(bank, ranges, answers))
        return false;
    std::map<uint32_t, uint32_t> blankCrc; // by sector size
    for (size_t i = 0; i < ranges.size(); ++i) {
        const uint32_t size = ranges[i].second;
        auto known = blankCrc.find(size);
        if (known == blankCrc.end()) {
            const std::vector<uint8_t> blank(size, a.erasedValue());
            known = blankCrc.emplace(size, calcCrc32(blank.data(), size)).first;
        }
        if (i >= answers.size() || answers[i] != known->second)
            sectors.push_back(ranges[i].first);
    }
    return true;
}

bool JobRun::notBlankByReading(const FlashBank &bank, const std::vector<uint32_t> &extent,
                               std::vector<uint32_t> &sectors)
{
    const FlashAlgorithm &a = *bank.algorithm;
    std::vector<std::vector<uint32_t>> words;
    if (!m_port.halt(kHaltTimeoutMs) || !selectWindow(bank, true))
        return false;
    for (uint32_t start : extent) {
        words.emplace_back((a.sectorSizeAt(start) + 3) / 4);
        if (!m_port.readBlock(bank.deviceAddress(start), words.back().data(), words.back().size()))
            return false;
    }
    if (!m_port.sync() || !selectWindow(bank, false))
        return false;
    for (size_t i = 0; i < extent.size(); ++i) {
        const uint32_t size = a.sectorSizeAt(extent[i]);
        for (uint32_t b = 0; b < size; ++b) {
            if (uint8_t(words[i][b / 4] >> (8 * (b % 4))) != a.erasedValue()) {
                sectors.push_back(extent[i]);
                break;
            }
        }
    }
    return true;
}

} // namespace swdrun
