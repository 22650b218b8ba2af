// Runs a job's images through the device's flash algorithms over SWD: the builder decides what
// each touched sector needs, this runner asks the target what it must (CRCs, the bytes to keep),
// then erases, programs and verifies, each under its own Init.
#include "swd/swdprogrammer.h"

#include "pack/targetcatalog.h"
#include "swd/jobrun.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace swdrun {

bool JobRun::loadBanks(const SwdJob &job, bool allBanks)
{
    m_target = job.target;
    QString error;
    QVector<pack::ImageSpan> spans;
    for (const SwdImage &image : job.images)
        spans.append({image.address, image.length, image.name});
    if (m_target.algorithms.isEmpty()
        && !swdLoadTarget(pack::defaultDeviceName(), m_target, error, {}, spans))
        return m_link.fail(SwdAlgorithmMissing, error);
    m_clockHz = m_target.processor.clock ? m_target.processor.clock : kDefaultDeviceClockHz;
    m_dir = job.flmDir.isEmpty() ? swdFlashAlgorithmDir() : job.flmDir;
    const SwdResult built = buildBanks(m_target, job.images, allBanks, m_banks);
    return built.ok() || fail(built);
}

bool JobRun::planRam(bool withCrc, bool crcIfThere)
{
    uint32_t algorithmSize = 0, pageSize = 4;
    for (const FlashBank &bank : m_banks) {
        algorithmSize = std::max(algorithmSize, uint32_t(bank.algorithm->blob().size()));
        pageSize = std::max(pageSize, bank.algorithm->pageSize());
    }
    QString error;
    const QString path = QDir(m_dir).filePath(QString::fromLatin1(kCrcRoutine));
    if (withCrc || (crcIfThere && QFileInfo::exists(path))) {
        if (!QFileInfo::exists(path))
            return m_link.fail(SwdAlgorithmMissing,
                               QStringLiteral("CRC routine %1 not found").arg(path));
        m_crc = CrcRoutine::load(path, error);
        if (!m_crc)
            return m_link.fail(SwdAlgorithmInvalid, error);
    }
    std::vector<const pack::FlashAlgorithmRef *> used;
    for (const FlashBank &bank : m_banks)
        used.push_back(bank.ref);
    const std::optional<quorvel::MemoryArea> ram = RamPlan::sharedRam(m_target, used, error);
    if (!ram)
        return m_link.fail(SwdBadJob, error);
    m_plan = RamPlan::make(*ram, algorithmSize, pageSize,
                           m_crc ? uint32_t(m_crc->blob().size()) : 0, error);
    if (!m_plan)
        return m_link.fail(SwdAlgorithmInvalid, error);
    if (!m_plan->withCrc)
        m_crc.reset(); // no room beside one page buffer: the job reads back instead
    if (!m_crc)
        return true;
    TargetCrc crc(m_port, *m_crc, *m_plan);
    return m_port.halt(kHaltTimeoutMs) && crc.load();
}

bool JobRun::verifySession(const FlashBank &bank, const std::function<bool(FlashSession &)> &reads)
{
    FlashSession session(m_port, *bank.algorithm, *m_plan);
    return load(session, bank) && session.init(FlashSession::FunctionVerify, m_clockHz)
        && reads(session) && session.uninit(FlashSession::FunctionVerify);
}

bool JobRun::crcs(const FlashBank &bank, const std::vector<std::pair<uint32_t, uint32_t>> &ranges,
                  std::vector<uint32_t> &out)
{
    std::vector<CrcRange> at;
    for (const auto &[offset, length] : ranges)
        at.push_back({bank.deviceAddress(offset), length});
    TargetCrc crc(m_port, *m_crc, *m_plan);
    return m_port.halt(kHaltTimeoutMs) && selectWindow(bank, true) && crc.run(at, out)
        && selectWindow(bank, false);
}

// The bytes no image gives, read from the sectors about to be erased or programmed over.
bool JobRun::mergeSectors(FlashBank &bank)
{
    std::vector<FlashSector *> sectors;
    for (FlashSector &sector : bank.sectors)
        if (sector.needsMerge)
            sectors.push_back(&sector);
    if (sectors.empty())
        return true;
    std::vector<std::vector<uint32_t>> words;
    if (!m_port.halt(kHaltTimeoutMs) || !selectWindow(bank, true))
        return false;
    for (FlashSector *sector : sectors) {
        words.emplace_back(sector->size / 4);
        if (!m_port.readBlock(bank.deviceAddress(sector->offset), words.back().data(),
                              words.back().size()))
            return false;
    }
    if (!m_port.sync() || !selectWindow(bank, false))
        return false;
    for (size_t i = 0; i < sectors.size(); ++i) {
        std::vector<uint8_t> bytes(sectors[i]->size);
        for (size_t b = 0; b < bytes.size(); ++b)
            bytes[b] = uint8_t(words[i][b / 4] >> (8 * (b % 4)));
        sectors[i]->merge(bytes);
    }
    return true;
}

// Sector and auto ask the target for the CRCs the erase rule needs; every mode but full reads
// what it keeps of the sectors it writes.
bool JobRun::decide(int mode, bool program)
{
    const bool compare = program && m_crc && (mode == job::SectorErase || mode == job::AutoErase);
    for (FlashBank &bank : m_banks) {
        std::vector<uint32_t> answers;
        decideSectors(bank, mode, {});
        const bool reads = std::any_of(bank.sectors.begin(), bank.sectors.end(),
                                       [](const FlashSector &s) { return s.needsMerge; });
        if (!program || bank.images.empty() || !(compare || reads))
            continue;
        if (!verifySession(bank, [&](FlashSession &) {
                if (compare && !crcs(bank, comparedRanges(bank), answers))
                    return false;
                decideSectors(bank, mode, answers);
                return mergeSectors(bank);
            }))
            return false;
    }
    return true;
}

// Every erase of the run, in one erase session per bank before any page: with full, each bank by
// its EraseChip where it has one, else every sector of its extent one by one.
bool JobRun::erase(int mode)
{
    if (mode == job::NoErase)
        return true;
    report("erase", 0);
    for (size_t i = 0; i < m_banks.size(); ++i) {
        const FlashBank &bank = m_banks[i];
        const FullEraseWay way = fullEraseWay(bank, mode);
        if (way == FullEraseWay::Chip) {
            if (!eraseByChip(bank))
                return false;
            report("erase", int(100 * (i + 1) / m_banks.size()));
            continue;
        }
        const std::vector<uint32_t> sectors = sectorsToErase(bank, mode);
        if (sectors.empty())
            continue;
        FlashSession session(m_port, *bank.algorithm, *m_plan);
        if (!load(session, bank) || !session.init(FlashSession::FunctionErase, m_clockHz)
            || !session.eraseSectors(sectors) || !session.uninit(FlashSession::FunctionErase))
            return false;
        m_counts.erased += int(sectors.size());
        if (way == FullEraseWay::Sectors)
            noteFullErase(bank, "sectors", sectors.size());
        report("erase", int(100 * (i + 1) / m_banks.size()));
    }
    report("erase", 100);
    return true;
}

bool JobRun::program(int mode)
{
    std::vector<std::vector<ProgramSpan>> spans;
    uint64_t total = 0, done = 0;
    for (const FlashBank &bank : m_banks) {
        spans.push_back(programSpans(bank, mode));
        for (const ProgramSpan &span : spans.back())
            total += span.bytes.size();
    }
    report("program", 0);
    for (size_t b = 0; b < m_banks.size(); ++b) {
        FlashBank &bank = m_banks[b];
        int programmed = 0;
        for (const FlashSector &sector : bank.sectors) {
            programmed += sector.action != FlashSector::Skip;
            m_counts.skipped += sector.action == FlashSector::Skip;
        }
        if (spans[b].empty()) {
            m_counts.programmed += programmed;
            continue;
        }
        FlashSession session(m_port, *bank.algorithm, *m_plan);
        if (!load(session, bank) || !session.init(FlashSession::FunctionProgram, m_clockHz))
            return false;
        for (const ProgramSpan &span : spans[b]) {
            auto step = [&](uint32_t pagesDone, uint32_t pages) {
                report("program",
                       int((done + span.bytes.size() * pagesDone / pages) * 100 / total));
            };
            if (!session.program(span.offset, span.bytes, step))
                return false;
            done += span.bytes.size();
        }
        if (!session.uninit(FlashSession::FunctionProgram))
            return false;
        m_counts.programmed += programmed;
    }
    m_programmed = true;
    report("program", 100);
    return true;
}

// Bank by bank, erase and program sessions alternate a chunk of sectors at a time: while a chunk
// erases on the core, the pages after it travel into the free page buffers, so the link does not
// wait for the erase. Every sector a page lies in is erased before the page is programmed. A bank
// a full erase blanks by EraseChip is erased whole before its first page.
bool JobRun::eraseAndProgram(int mode)
{
    constexpr size_t kChunk = 48; // sectors per erase session; small jobs erase in one
    std::vector<std::vector<ProgramSpan>> spans;
    std::vector<std::vector<uint32_t>> erases;
    uint64_t total = 0, done = 0, sectorsTotal = 0, sectorsDone = 0;
    for (const FlashBank &bank : m_banks) {
        spans.push_back(programSpans(bank, mode));
        for (const ProgramSpan &span : spans.back())
            total += span.bytes.size();
        erases.push_back(fullEraseWay(bank, mode) == FullEraseWay::Chip
                             ? std::vector<uint32_t>()
                             : sectorsToErase(bank, mode));
        std::sort(erases.back().begin(), erases.back().end());
        sectorsTotal += erases.back().size();
    }
    total = std::max<uint64_t>(total, 1);
    // The phases show as they begin: erase until the first page is programmed, then program,
    // which includes the erases after it.
    bool programming = false;
    report("erase", 0);
    for (size_t b = 0; b < m_banks.size(); ++b) {
        FlashBank &bank = m_banks[b];
        const std::vector<uint32_t> &sectors = erases[b];
        int programmed = 0, skipped = 0;
        for (const FlashSector &sector : bank.sectors) {
            programmed += sector.action != FlashSector::Skip;
            skipped += sector.action == FlashSector::Skip;
        }
        m_counts.skipped += skipped;
        bool byChip = fullEraseWay(bank, mode) == FullEraseWay::Chip;
        if (byChip && spans[b].empty() && !eraseByChip(bank))
            return false;
        if (sectors.empty() && spans[b].empty()) {
            m_counts.programmed += programmed;
            continue;
        }
        FlashSession session(m_port, *bank.algorithm, *m_plan);
        if (!load(session, bank))
            return false;
        size_t e = 0;
        auto eraseUpTo = [&](size_t end) {
            const std::vector<uint32_t> chunk(sectors.begin() + long(e),
                                              sectors.begin() + long(end));
            if (!session.init(FlashSession::FunctionErase, m_clockHz)
                || !session.eraseSectors(chunk) || !session.uninit(FlashSession::FunctionErase))
                return false;
            m_counts.erased += int(chunk.size());
            sectorsDone += chunk.size();
            e = end;
            if (!programming)
                report("erase", int(sectorsDone * 100 / std::max<uint64_t>(sectorsTotal, 1)));
            return true;
        };
        for (const ProgramSpan &span : spans[b]) {
            session.preparePages(span.offset, span.bytes);
            if (byChip && !eraseByChip(bank, &session))
                return false;
            byChip = false;
            auto step = [&](uint32_t pagesDone, uint32_t pages) {
                if (!programming)
                    report("erase", 100);
                programming = true;
                report("program",
                       int((done + span.bytes.size() * pagesDone / pages) * 100 / total));
            };
            while (const std::optional<uint32_t> page = session.nextPage()) {
                if (e < sectors.size() && sectors[e] < *page + bank.algorithm->pageSize()) {
                    if (!eraseUpTo(std::min(sectors.size(), e + kChunk)))
                        return false;
                    continue;
                }
                const uint32_t end = e < sectors.size() ? sectors[e] : ~uint32_t(0);
                if (!session.init(FlashSession::FunctionProgram, m_clockHz)
                    || !session.programPages(end, step)
                    || !session.uninit(FlashSession::FunctionProgram))
                    return false;
            }
            done += span.bytes.size();
        }
        if (e < sectors.size() && !eraseUpTo(sectors.size()))
            return false;
        if (fullEraseWay(bank, mode) == FullEraseWay::Sectors)
            noteFullErase(bank, "sectors", sectors.size());
        m_counts.programmed += programmed;
    }
    m_programmed = true;
    if (!programming)
        report("erase", 100);
    report("program", 100);
    return true;
}

} // namespace swdrun

using swdrun::JobRun;

SwdResult runSwdJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress)
{
    JobRun run(probe, progress);
    const bool compare =
        job.program && (job.eraseMode == job::SectorErase || job.eraseMode == job::AutoErase);
    const bool crc = compare || (job.verify && job.verifyMode == SwdVerifyCrc);
    const bool steps = job.program && job.eraseMode != job::NoErase;
    if (run.connect(job) && run.loadBanks(job, job.eraseMode == job::FullErase)
        && run.planRam(crc, run.anyChipErase(job.eraseMode))
        && run.decide(job.eraseMode, job.program)
        && (steps && run.interleaves() ? run.eraseAndProgram(job.eraseMode) && run.programDone()
                                       : run.erase(job.eraseMode) && run.eraseDone(job.eraseMode)
                    && (!job.program || (run.program(job.eraseMode) && run.programDone())))
        && (!job.verify || run.verify(run.verifyModeFor(job.verifyMode))) && job.resetAndRun
        && run.resetAndRun() && job.checks())
        run.selfTest(job.selfTest);
    return run.finish();
}

SwdResult eraseChip(DapTransport &probe, const QString &flmDir, const SwdProgress &progress,
                    uint32_t clockHz)
{
    SwdJob job;
    job.flmDir = flmDir;
    job.clockHz = clockHz;
    return eraseDevice(probe, job, progress);
}

SwdResult eraseDevice(DapTransport &probe, const SwdJob &job, const SwdProgress &progress)
{
    JobRun run(probe, progress);
    if (run.connect(job) && run.loadBanks(job, true)
        && run.planRam(false, run.anyChipErase(job::FullErase))
        && run.decide(job::FullErase, false))
        run.erase(job::FullErase) && run.eraseDone(job::FullErase);
    return run.finish();
}

SwdResult verifyJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress)
{
    JobRun run(probe, progress);
    if (run.connect(job) && run.loadBanks(job, false) && run.planRam(job.verifyMode == SwdVerifyCrc)
        && run.decide(job::NoErase, false))
        run.verify(run.verifyModeFor(job.verifyMode));
    return run.finish();
}
