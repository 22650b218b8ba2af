// Runs a job's images through the device's flash algorithms over SWD, each image through the
// algorithm whose range holds it: sectors compared on the target by CRC first, erased and
// programmed only where needed, then verified by CRC or read-back.
#include "swd/swdprogrammer.h"

#include "images/crc32.h"
#include "job/memorygeometry.h"
#include "pack/jobalgorithms.h"
#include "pack/targetcatalog.h"
#include "swd/debug/debugport.h"
#include "swd/flash/flashsession.h"
#include "swd/flash/targetcrc.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace {

constexpr const char *kCrcRoutine = "Quorvel_Crc32.FLM";
constexpr int kHaltTimeoutMs = 500;

// A sector the job touches: what it must hold afterwards (images over the erased value, as the
// padded pages leave it) and what this run does to it.
struct Sector
{
    enum Action { EraseAndProgram, ProgramOnly, Skip };
    uint32_t offset; // from the device start
    uint32_t size;
    std::vector<uint8_t> expected;
    Action action = EraseAndProgram;
};

// One algorithm's range. Its routines take addresses from the descriptor's DevAdr on, wherever
// the pack places the range.
struct Bank
{
    const pack::FlashAlgorithmRef *ref;
    bool windowed; // read through the chip's read window, not where the pack places it
    uint32_t base; // job address of the algorithm's DevAdr: the range's start
    std::vector<const SwdImage *> images;
    std::optional<FlashAlgorithm> algorithm;
    std::vector<Sector> sectors;
};

class JobRun
{
public:
    JobRun(DapTransport &probe, const SwdProgress &progress)
        : m_link(probe)
        , m_port(m_link)
        , m_progress(progress)
    { }

    SwdResult finish()
    {
        m_port.disconnect();
        m_link.drain(); // after a failure, replies may still be owed
        SwdResult result = m_link.error();
        result.sectors = m_counts;
        return result;
    }
    bool connect(uint32_t clockHz)
    {
        report("connect", 0);
        return m_link.open() && m_port.connect(clockHz) && (report("connect", 100), true);
    }
    bool loadBanks(const SwdJob &job, bool bothBanks);
    bool planRam(bool withCrc);
    bool decide(int mode, bool program);
    bool erase(int mode);
    bool program(int mode);
    bool verify(int mode, int verifyMode);
    bool resetAndRun()
    {
        report("reset", 0);
        return m_port.resetAndRun() && (report("reset", 100), true);
    }

private:
    void report(const char *phase, int percent)
    {
        if (m_progress)
            m_progress(QString::fromLatin1(phase), percent);
    }
    bool selectWindow(const Bank &bank, bool on)
    {
        if (!m_chip)
            return true;
        const quorvel::ReadWindow &w = m_chip->window;
        return m_port.write32(w.selectRegister, on && bank.windowed ? w.ldrom : w.aprom);
    }
    // From the algorithm's DevAdr, as its sector table counts.
    uint32_t offsetOf(const Bank &bank, const SwdImage &image) const
    {
        return image.address - bank.base;
    }
    // Where the core reads the flash at `offset`: through the window at the routines' address, or
    // where the pack places it.
    uint32_t readAddress(const Bank &bank, uint32_t offset) const
    {
        return (bank.windowed ? bank.algorithm->deviceStart() : bank.base) + offset;
    }
    uint32_t totalBytes() const
    {
        uint32_t total = 0;
        for (const Bank &bank : m_banks)
            for (const SwdImage *image : bank.images)
                total += image->length;
        return std::max(total, 1u);
    }
    std::vector<uint32_t> erasedWhileProgramming(const Bank &bank, int mode) const;
    bool sectorCrcs(const Bank &bank, const std::vector<CrcRange> &ranges,
                    std::vector<uint32_t> &crcs);
    bool programImages(Bank &bank, FlashSession &session, uint32_t &done, uint32_t total);
    bool programSectors(Bank &bank, FlashSession &session, uint32_t &done, uint32_t total,
                        int mode);
    bool verifyByCrc(Bank &bank, FlashSession &session, bool wholeSectors);
    bool readBackImages(const Bank &bank, FlashSession &session, uint32_t &before);

    DapPipe m_link;
    DebugPort m_port;
    SwdProgress m_progress;
    pack::TargetDescription m_target;
    const quorvel::MemoryGeometry *m_chip = nullptr; // facts beyond the pack, if any
    QString m_dir;
    std::vector<Bank> m_banks;
    std::optional<CrcRoutine> m_crc;
    std::optional<RamPlan> m_plan;
    SwdSectorCounts m_counts;
    bool m_program = false; // pages follow the erase
};

bool JobRun::loadBanks(const SwdJob &job, bool bothBanks)
{
    m_target = job.target;
    QString error;
    QVector<pack::ImageSpan> spans;
    for (const SwdImage &image : job.images)
        spans.append({image.address, image.length, image.name});
    if (m_target.algorithms.isEmpty()
        && !swdLoadTarget(pack::defaultDeviceName(), m_target, error, {}, spans))
        return m_link.fail(SwdAlgorithmMissing, error);
    m_chip = quorvel::geometryForDevice(m_target.device.toUtf8().constData());
    m_dir = job.flmDir.isEmpty() ? swdFlashAlgorithmDir() : job.flmDir;
    std::vector<Bank> banks;
    for (const pack::FlashAlgorithmRef &ref : m_target.algorithms)
        banks.push_back({&ref,
                         m_chip && m_chip->areaFor(ref.start).base != m_chip->aprom.base,
                         ref.start,
                         {},
                         {},
                         {}});
    for (const SwdImage &image : job.images) {
        // An image outside every range goes to the nearest one below, which names it refused.
        const pack::FlashAlgorithmRef *ref = m_target.algorithmFor(image.address);
        size_t at = 0;
        for (size_t i = 0; i < banks.size(); ++i) {
            if (ref ? banks[i].ref == ref : banks[i].base <= image.address)
                at = i;
        }
        if (banks.empty())
            return m_link.fail(SwdBadJob,
                               QStringLiteral("%1 has no flash algorithm").arg(m_target.device));
        banks[at].images.push_back(&image);
    }
    for (Bank &bank : banks) {
        if (bank.images.empty() && !(bothBanks && bank.ref->fullErase))
            continue;
        const std::vector<uint8_t> bytes(bank.ref->image.begin(), bank.ref->image.end());
        bank.algorithm = FlashAlgorithm::parse(bytes, bank.ref->path, error);
        if (!bank.algorithm)
            return m_link.fail(SwdAlgorithmInvalid, error);
        const FlashAlgorithm &a = *bank.algorithm;
        const uint64_t rangeSize = std::min<uint64_t>(bank.ref->size, a.deviceSize());
        std::vector<uint32_t> starts;
        for (const SwdImage *image : bank.images) {
            const uint64_t offset = uint64_t(image->address) - bank.base;
            if (!image->data || image->length == 0 || image->address < bank.base
                || offset + image->length > rangeSize)
                return m_link.fail(SwdBadJob,
                                   QStringLiteral("%1 (%2 bytes at 0x%3) is outside %4")
                                       .arg(image->name)
                                       .arg(image->length)
                                       .arg(image->address, 8, 16, QLatin1Char('0'))
                                       .arg(a.deviceName()));
            const QString outside = pack::imageBoundsProblem(
                m_target, *bank.ref, {image->address, image->length, image->name});
            if (!outside.isEmpty())
                return m_link.fail(SwdBadJob, outside);
            for (uint32_t start : a.sectorsCovering(offsetOf(bank, *image), image->length))
                starts.push_back(start);
        }
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (uint32_t start : starts) {
            const uint32_t size = a.sectorSizeAt(start);
            bank.sectors.push_back({start, size, std::vector<uint8_t>(size, a.erasedValue()), {}});
        }
        // Images do not overlap (the file list's rule): each byte has one image to come from.
        for (Sector &sector : bank.sectors) {
            for (const SwdImage *image : bank.images) {
                const uint64_t from = std::max<uint64_t>(offsetOf(bank, *image), sector.offset);
                const uint64_t to =
                    std::min<uint64_t>(uint64_t(offsetOf(bank, *image)) + image->length,
                                       uint64_t(sector.offset) + sector.size);
                for (uint64_t at = from; at < to; ++at)
                    sector.expected[at - sector.offset] = image->data[at - offsetOf(bank, *image)];
            }
        }
        m_banks.push_back(std::move(bank));
    }
    return !m_banks.empty() || m_link.fail(SwdBadJob, QStringLiteral("the job has no image"));
}

bool JobRun::planRam(bool withCrc)
{
    uint32_t algorithmSize = 0, pageSize = 4;
    for (const Bank &bank : m_banks) {
        algorithmSize = std::max(algorithmSize, uint32_t(bank.algorithm->blob().size()));
        pageSize = std::max(pageSize, bank.algorithm->pageSize());
    }
    QString error;
    if (withCrc) {
        const QString path = QDir(m_dir).filePath(QString::fromLatin1(kCrcRoutine));
        if (!QFileInfo::exists(path))
            return m_link.fail(SwdAlgorithmMissing,
                               QStringLiteral("CRC routine %1 not found").arg(path));
        m_crc = CrcRoutine::load(path, error);
        if (!m_crc)
            return m_link.fail(SwdAlgorithmInvalid, error);
    }
    // Where every algorithm of the job may run: the RAM their RAMstart/RAMsize share, or the
    // device's default RAM when they do not say.
    uint64_t ramStart = 0, ramEnd = ~uint32_t(0);
    bool said = false;
    for (const Bank &bank : m_banks) {
        if (!bank.ref->ramStart || !bank.ref->ramSize)
            continue;
        said = true;
        ramStart = std::max<uint64_t>(ramStart, *bank.ref->ramStart);
        ramEnd = std::min<uint64_t>(ramEnd, uint64_t(*bank.ref->ramStart) + *bank.ref->ramSize);
    }
    if (!said) {
        const pack::MemoryRegion *ram = nullptr;
        for (const pack::MemoryRegion &m : m_target.memories) {
            if (m.writable() && (!ram || (m.isDefault && !ram->isDefault)))
                ram = &m;
        }
        if (!ram)
            return m_link.fail(
                SwdBadJob,
                QStringLiteral("%1 has no RAM to run its flash algorithm in").arg(m_target.device));
        ramStart = ram->start;
        ramEnd = ram->end();
    }
    if (ramEnd <= ramStart)
        return m_link.fail(
            SwdBadJob,
            QStringLiteral("the flash algorithms of %1 share no RAM").arg(m_target.device));
    const quorvel::MemoryArea ram{"RAM", uint32_t(ramStart), uint32_t(ramEnd - ramStart)};
    m_plan = RamPlan::make(ram, algorithmSize, pageSize, m_crc ? uint32_t(m_crc->blob().size()) : 0,
                           error);
    if (!m_plan)
        return m_link.fail(SwdAlgorithmInvalid, error);
    if (!m_crc)
        return true;
    TargetCrc crc(m_port, *m_crc, *m_plan);
    return m_port.halt(kHaltTimeoutMs) && crc.load();
}

bool JobRun::sectorCrcs(const Bank &bank, const std::vector<CrcRange> &ranges,
                        std::vector<uint32_t> &crcs)
{
    TargetCrc crc(m_port, *m_crc, *m_plan);
    return m_port.halt(kHaltTimeoutMs) && selectWindow(bank, true) && crc.run(ranges, crcs)
        && selectWindow(bank, false);
}

// What each touched sector needs. Full and none program every one; sector and auto first ask the
// target for the CRC of each: a sector already holding its expected content is skipped whole, and
// in auto a blank one is programmed without an erase.
bool JobRun::decide(int mode, bool program)
{
    const bool compare = program && (mode == job::SectorErase || mode == job::AutoErase);
    m_program = program;
    for (Bank &bank : m_banks) {
        const FlashAlgorithm &a = *bank.algorithm;
        std::vector<uint32_t> crcs;
        if (compare) {
            std::vector<CrcRange> ranges;
            for (const Sector &sector : bank.sectors)
                ranges.push_back({readAddress(bank, sector.offset), sector.size});
            if (!sectorCrcs(bank, ranges, crcs))
                return false;
        }
        for (size_t i = 0; i < bank.sectors.size(); ++i) {
            Sector &sector = bank.sectors[i];
            sector.action = (mode == job::FullErase && bank.ref->fullErase) || mode == job::NoErase
                ? Sector::ProgramOnly
                : Sector::EraseAndProgram;
            if (compare) {
                const std::vector<uint8_t> blank(sector.size, a.erasedValue());
                if (crcs[i] == calcCrc32(sector.expected.data(), sector.size))
                    sector.action = Sector::Skip;
                else if (mode == job::AutoErase && crcs[i] == calcCrc32(blank.data(), sector.size))
                    sector.action = Sector::ProgramOnly;
            }
            m_counts.skipped += sector.action == Sector::Skip;
            m_counts.programmed += program && sector.action != Sector::Skip;
            m_counts.erased += !(mode == job::FullErase && bank.ref->fullErase)
                && sector.action == Sector::EraseAndProgram;
        }
        if (mode == job::FullErase && bank.ref->fullErase)
            m_counts.erased += int(a.sectorsCovering(0, a.deviceSize()).size());
    }
    return true;
}

// The sectors whose erase the page pipeline runs just before their first page, on the core while
// the link carries the next pages: those the program phase writes and the erase mode erases.
std::vector<uint32_t> JobRun::erasedWhileProgramming(const Bank &bank, int mode) const
{
    std::vector<uint32_t> offsets;
    if (!m_program || mode == job::NoErase || bank.images.empty())
        return offsets;
    for (const Sector &sector : bank.sectors) {
        if (sector.action == Sector::EraseAndProgram
            || (mode == job::FullErase && sector.action == Sector::ProgramOnly))
            offsets.push_back(sector.offset);
    }
    return offsets;
}

// Erases what the program phase does not: with full, every sector of each bank one by one (the
// algorithms' EraseChip may stop short of the device's end: the QB48x's at 64 KiB unless the
// chip is configured for 120 KiB).
bool JobRun::erase(int mode)
{
    if (mode == job::NoErase)
        return true;
    report("erase", 0);
    for (size_t i = 0; i < m_banks.size(); ++i) {
        const Bank &bank = m_banks[i];
        const FlashAlgorithm &a = *bank.algorithm;
        std::vector<uint32_t> sectors;
        // Full erase erases the ranges the device's own algorithms cover; another algorithm
        // (option bytes, OTP, a loader) only the sectors its images need.
        if (mode == job::FullErase && bank.ref->fullErase) {
            sectors = a.sectorsCovering(0, a.deviceSize());
        } else {
            for (const Sector &sector : bank.sectors)
                if (sector.action == Sector::EraseAndProgram)
                    sectors.push_back(sector.offset);
        }
        const std::vector<uint32_t> later = erasedWhileProgramming(bank, mode);
        sectors.erase(std::remove_if(sectors.begin(), sectors.end(),
                                     [&](uint32_t s) {
                                         return std::binary_search(later.begin(), later.end(), s);
                                     }),
                      sectors.end());
        if (sectors.empty())
            continue;
        FlashSession session(m_port, a, *m_plan);
        if (!session.load() || !session.init(FlashSession::FunctionErase)
            || !session.eraseSectors(sectors) || !session.uninit(FlashSession::FunctionErase))
            return false;
        report("erase", int(100 * (i + 1) / m_banks.size()));
    }
    report("erase", 100);
    return true;
}

// Without an erase, only the image bytes are written: the rest of a page may hold anything.
bool JobRun::programImages(Bank &bank, FlashSession &session, uint32_t &done, uint32_t total)
{
    for (const SwdImage *image : bank.images) {
        const std::vector<uint8_t> bytes(image->data, image->data + image->length);
        auto step = [&](uint32_t pagesDone, uint32_t pages) {
            report("program",
                   int((done + uint64_t(image->length) * pagesDone / pages) * 100 / total));
        };
        if (!session.program(offsetOf(bank, *image), bytes, step))
            return false;
        done += image->length;
    }
    return true;
}

// Runs of neighbouring sectors to program, each from its first image byte to its last: the bytes
// between images in the same sector are the erased value on an erased sector.
bool JobRun::programSectors(Bank &bank, FlashSession &session, uint32_t &done, uint32_t total,
                            int mode)
{
    const std::vector<uint32_t> later = erasedWhileProgramming(bank, mode);
    uint64_t imageFirst = ~uint64_t(0), imageEnd = 0;
    for (const SwdImage *image : bank.images) {
        imageFirst = std::min<uint64_t>(imageFirst, offsetOf(bank, *image));
        imageEnd = std::max<uint64_t>(imageEnd, uint64_t(offsetOf(bank, *image)) + image->length);
    }
    for (size_t i = 0; i < bank.sectors.size();) {
        if (bank.sectors[i].action == Sector::Skip) {
            done += bank.sectors[i++].size;
            report("program", int(uint64_t(done) * 100 / total));
            continue;
        }
        std::vector<uint8_t> bytes = bank.sectors[i].expected;
        size_t j = i + 1;
        while (j < bank.sectors.size() && bank.sectors[j].action != Sector::Skip
               && bank.sectors[j].offset == bank.sectors[j - 1].offset + bank.sectors[j - 1].size) {
            bytes.insert(bytes.end(), bank.sectors[j].expected.begin(),
                         bank.sectors[j].expected.end());
            ++j;
        }
        const uint32_t runStart = bank.sectors[i].offset;
        const uint32_t from = uint32_t(std::max<uint64_t>(imageFirst, runStart));
        const uint32_t to = uint32_t(std::min<uint64_t>(imageEnd, runStart + bytes.size()));
        const std::vector<uint8_t> span(bytes.begin() + (from - runStart),
                                        bytes.begin() + (to - runStart));
        const uint32_t runBytes = uint32_t(bytes.size());
        auto step = [&](uint32_t pagesDone, uint32_t pages) {
            report("program", int((done + uint64_t(runBytes) * pagesDone / pages) * 100 / total));
        };
        std::vector<uint32_t> erase;
        for (uint32_t sector : later)
            if (sector >= runStart && sector - runStart < runBytes)
                erase.push_back(sector);
        if (!session.program(from, span, step, erase))
            return false;
        done += runBytes;
        i = j;
    }
    return true;
}

bool JobRun::program(int mode)
{
    uint32_t total = 0;
    for (const Bank &bank : m_banks)
        for (const Sector &sector : bank.sectors)
            total += mode == job::NoErase ? 0 : sector.size;
    if (mode == job::NoErase)
        total = totalBytes();
    uint32_t done = 0;
    report("program", 0);
    for (Bank &bank : m_banks) {
        if (bank.images.empty())
            continue;
        const bool all = std::all_of(bank.sectors.begin(), bank.sectors.end(),
                                     [](const Sector &s) { return s.action == Sector::Skip; });
        if (all && mode != job::NoErase) {
            for (const Sector &sector : bank.sectors)
                done += sector.size;
            report("program", int(uint64_t(done) * 100 / std::max(total, 1u)));
            continue;
        }
        FlashSession session(m_port, *bank.algorithm, *m_plan);
        if (!session.load() || !session.init(FlashSession::FunctionProgram))
            return false;
        if (!(mode == job::NoErase ? programImages(bank, session, done, total)
                                   : programSectors(bank, session, done, total, mode)))
            return false;
        if (!session.uninit(FlashSession::FunctionProgram))
            return false;
    }
    report("program", 100);
    return true;
}

// Whole sectors where the run knows all they must hold, else the image bytes in each. A sector
// skipped a moment ago by its CRC is not asked again.
bool JobRun::verifyByCrc(Bank &bank, FlashSession &session, bool wholeSectors)
{
    struct Check
    {
        uint32_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<Check> checks;
    for (const Sector &sector : bank.sectors) {
        if (wholeSectors) {
            if (sector.action != Sector::Skip)
                checks.push_back({sector.offset, sector.expected});
            continue;
        }
        for (const SwdImage *image : bank.images) {
            const uint64_t from = std::max<uint64_t>(offsetOf(bank, *image), sector.offset);
            const uint64_t to = std::min<uint64_t>(uint64_t(offsetOf(bank, *image)) + image->length,
                                                   uint64_t(sector.offset) + sector.size);
            if (from < to)
                checks.push_back(
                    {uint32_t(from),
                     std::vector<uint8_t>(sector.expected.begin() + (from - sector.offset),
                                          sector.expected.begin() + (to - sector.offset))});
        }
    }
    std::vector<CrcRange> ranges;
    for (const Check &c : checks)
        ranges.push_back({readAddress(bank, c.offset), uint32_t(c.bytes.size())});
    std::vector<uint32_t> crcs;
    if (!ranges.empty() && !sectorCrcs(bank, ranges, crcs))
        return false;
    for (size_t i = 0; i < checks.size(); ++i) {
        const Check &c = checks[i];
        if (crcs[i] == calcCrc32(c.bytes.data(), uint32_t(c.bytes.size())))
            continue;
        // The CRC only says that something differs: the bytes say where.
        const uint32_t jobAddress = bank.base + c.offset;
        if (!m_port.halt(kHaltTimeoutMs) || !selectWindow(bank, true)
            || !session.verify(readAddress(bank, c.offset), jobAddress, c.bytes, {}))
            return false;
        return m_link.fail(SwdAlgorithmFailed,
                           QStringLiteral("CRC routine failed: CRC 0x%1 of %2 bytes at %3, but "
                                          "the bytes read back are right")
                               .arg(crcs[i], 8, 16, QLatin1Char('0'))
                               .arg(c.bytes.size())
                               .arg(hex8(jobAddress)));
    }
    return true;
}

bool JobRun::readBackImages(const Bank &bank, FlashSession &session, uint32_t &before)
{
    const uint32_t total = totalBytes();
    if (!m_port.halt(kHaltTimeoutMs) || !selectWindow(bank, true))
        return false;
    for (const SwdImage *image : bank.images) {
        const std::vector<uint8_t> bytes(image->data, image->data + image->length);
        auto step = [&](uint32_t done, uint32_t) {
            report("verify", int((before + uint64_t(done)) * 100 / total));
        };
        const uint32_t address = readAddress(bank, offsetOf(bank, *image));
        if (!session.verify(address, image->address, bytes, step))
            return false;
        before += image->length;
    }
    return selectWindow(bank, false);
}

bool JobRun::verify(int mode, int verifyMode)
{
    uint32_t before = 0;
    report("verify", 0);
    const bool wholeSectors = mode != job::NoErase;
    for (size_t i = 0; i < m_banks.size(); ++i) {
        Bank &bank = m_banks[i];
        if (bank.images.empty())
            continue;
        FlashSession session(m_port, *bank.algorithm, *m_plan);
        if (!(verifyMode == SwdVerifyCrc ? verifyByCrc(bank, session, wholeSectors)
                                         : readBackImages(bank, session, before)))
            return false;
        report("verify", int(100 * (i + 1) / m_banks.size()));
    }
    report("verify", 100);
    return true;
}

} // namespace

SwdResult runSwdJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress)
{
    JobRun run(probe, progress);
    const bool compare =
        job.program && (job.eraseMode == job::SectorErase || job.eraseMode == job::AutoErase);
    const bool crc = compare || (job.verify && job.verifyMode == SwdVerifyCrc);
    if (run.connect(job.clockHz) && run.loadBanks(job, job.eraseMode == job::FullErase)
        && run.planRam(crc) && run.decide(job.eraseMode, job.program) && run.erase(job.eraseMode)
        && (!job.program || run.program(job.eraseMode))
        && (!job.verify
            || run.verify(job.program ? job.eraseMode : int(job::NoErase), job.verifyMode))
        && job.resetAndRun)
        run.resetAndRun();
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
    if (run.connect(job.clockHz) && run.loadBanks(job, true) && run.planRam(false)
        && run.decide(job::FullErase, false))
        run.erase(job::FullErase);
    return run.finish();
}

SwdResult verifyJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress)
{
    JobRun run(probe, progress);
    if (run.connect(job.clockHz) && run.loadBanks(job, false)
        && run.planRam(job.verifyMode == SwdVerifyCrc) && run.decide(job::NoErase, false))
        run.verify(job::NoErase, job.verifyMode);
    return run.finish();
}

QString swdFlashAlgorithmDir()
{
    const QString fromEnvironment = qEnvironmentVariable("QUORVEL_FLASHALGO_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString here =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    const QStringList candidates{QDir(here).filePath(QStringLiteral(QUORVEL_LIBEXEC_TO_FLASHALGO)),
                                 QDir(here).filePath(QStringLiteral(QUORVEL_BIN_TO_FLASHALGO)),
                                 QStringLiteral(QUORVEL_BUILD_FLASHALGO_DIR)};
    for (const QString &dir : candidates) {
        if (QFileInfo::exists(QDir(dir).filePath(QString::fromLatin1(kCrcRoutine))))
            return QDir::cleanPath(dir);
    }
    return QDir::cleanPath(candidates.front());
}

bool swdLoadTarget(const QString &name, pack::TargetDescription &out, QString &error,
                   const QString &folder, const QVector<pack::ImageSpan> &images)
{
    pack::TargetCatalog catalog;
    if (!catalog.addFolder(folder.isEmpty() ? pack::shippedPackFolder() : folder, error))
        return false;
    const pack::TargetCatalog::Resolution r = catalog.resolve(name);
    if (!r.device) {
        error = r.message;
        return false;
    }
    out = *r.device;
    return pack::selectCore(out, {}, error) && pack::selectAlgorithms(out, images, {}, error)
        && pack::loadAlgorithms(out, pack::PackLimits(), error);
}
