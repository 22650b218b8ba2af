// The verify step of a job run: CRCs on the target, or every byte read back.
#include "images/crc32.h"
#include "swd/jobrun.h"

namespace swdrun {

// Whole sectors where the run knows all they hold, else the image bytes in each. A sector
// skipped a moment ago by its CRC is not asked again.
bool JobRun::verifyByCrc(const FlashBank &bank, FlashSession &session)
{
    struct Check
    {
        uint32_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<Check> checks;
    for (const FlashSector &sector : bank.sectors) {
        if (m_programmed && sector.action == FlashSector::Skip)
            continue;
        if (m_programmed && !sector.needsMerge) {
            checks.push_back({sector.offset, sector.expected});
            continue;
        }
        for (const auto &[from, to] : sector.coveredRuns())
            checks.push_back(
                {from,
                 std::vector<uint8_t>(sector.expected.begin() + (from - sector.offset),
                                      sector.expected.begin() + (to - sector.offset))});
    }
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    for (const Check &c : checks)
        ranges.push_back({c.offset, uint32_t(c.bytes.size())});
    std::vector<uint32_t> answers;
    if (!ranges.empty() && !crcs(bank, ranges, answers))
        return false;
    for (size_t i = 0; i < checks.size(); ++i) {
        const Check &c = checks[i];
        if (answers[i] == calcCrc32(c.bytes.data(), uint32_t(c.bytes.size())))
            continue;
        // The CRC only says that something differs: the bytes say where.
        const uint32_t jobAddress = bank.jobAddress(c.offset);
        if (!m_port.halt(kHaltTimeoutMs) || !selectWindow(bank, true)
            || !session.verify(bank.deviceAddress(c.offset), jobAddress, c.bytes, {}))
            return false;
        return m_link.fail(SwdAlgorithmFailed,
                           QStringLiteral("CRC routine failed: CRC 0x%1 of %2 bytes at %3, but "
                                          "the bytes read back are right")
                               .arg(QStringLiteral("%1").arg(answers[i], 8, 16, QLatin1Char('0')),
                                    QString::number(c.bytes.size()), hex8(jobAddress)));
    }
    return true;
}

// Whether verify by CRC asks the bank anything: not when every sector was skipped a moment ago
// by its CRC, and a verify session with nothing in it is only round trips.
bool JobRun::crcLeftToCheck(const FlashBank &bank) const
{
    return !m_programmed
        || std::any_of(bank.sectors.begin(), bank.sectors.end(),
                       [](const FlashSector &s) { return s.action != FlashSector::Skip; });
}

bool JobRun::readBackImages(const FlashBank &bank, FlashSession &session, uint32_t &before)
{
    const uint32_t total = totalBytes();
    if (!m_port.halt(kHaltTimeoutMs) || !selectWindow(bank, true))
        return false;
    for (const SwdImage *image : bank.images) {
        const std::vector<uint8_t> bytes(image->data, image->data + image->length);
        auto step = [&](uint32_t done, uint32_t) {
            report("verify", int((before + uint64_t(done)) * 100 / total));
        };
        if (!session.verify(bank.deviceAddress(bank.offsetOf(*image)), image->address, bytes, step))
            return false;
        before += image->length;
    }
    return selectWindow(bank, false);
}

bool JobRun::verify(int verifyMode)
{
    uint32_t before = 0;
    report("verify", 0);
    for (size_t i = 0; i < m_banks.size(); ++i) {
        const FlashBank &bank = m_banks[i];
        if (bank.images.empty() || (verifyMode == SwdVerifyCrc && !crcLeftToCheck(bank)))
            continue;
        if (!verifySession(bank, [&](FlashSession &session) {
                return verifyMode == SwdVerifyCrc ? verifyByCrc(bank, session)
                                                  : readBackImages(bank, session, before);
            }))
            return false;
        report("verify", int(100 * (i + 1) / m_banks.size()));
    }
    report("verify", 100);
    return true;
}

} // namespace swdrun
