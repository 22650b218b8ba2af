// Runs a job's images through the two QB48x flash algorithms over SWD, then verifies by reading
// the flash back over the debug port.
#include "swdprogrammer.h"

#include "debugport.h"
#include "flashsession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <optional>

namespace {

constexpr const char *kApromAlgorithm = "QB48x_Flash_AP.FLM";
constexpr const char *kLdromAlgorithm = "QB48x_Flash_LD.FLM";
// The flash window shows the LDROM while the controller selects it, else the APROM.
constexpr uint32_t kFmcCommand = 0x4000B010;
constexpr uint32_t kFmcLockedLdrom = 0x80000100;
constexpr uint32_t kFmcLocked = 0x80000000;

struct Bank
{
    const char *file;
    bool ldrom;
    std::vector<const SwdImage *> images;
    std::optional<FlashAlgorithm> algorithm;
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
        return m_link.error();
    }
    bool connect(uint32_t clockHz)
    {
        report("connect", 0);
        return m_link.open() && m_port.connect(clockHz) && (report("connect", 100), true);
    }
    bool loadBanks(const SwdJob &job, bool bothBanks);
    bool erase(int mode);
    bool program();
    bool verify();
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
        return m_port.write32(kFmcCommand, on && bank.ldrom ? kFmcLockedLdrom : kFmcLocked);
    }
    uint32_t offsetOf(const Bank &bank, const SwdImage &image) const
    {
        return image.address - (bank.ldrom ? kSwdLdromBase : 0) - bank.algorithm->deviceStart();
    }
    uint32_t totalBytes() const
    {
        uint32_t total = 0;
        for (const Bank &bank : m_banks)
            for (const SwdImage *image : bank.images)
                total += image->length;
        return std::max(total, 1u);
    }

    DapPipe m_link;
    DebugPort m_port;
    SwdProgress m_progress;
    std::vector<Bank> m_banks;
};

bool JobRun::loadBanks(const SwdJob &job, bool bothBanks)
{
    const QDir dir(job.flmDir.isEmpty() ? swdFlashAlgorithmDir() : job.flmDir);
    Bank banks[] = {{kApromAlgorithm, false, {}, {}}, {kLdromAlgorithm, true, {}, {}}};
    for (const SwdImage &image : job.images)
        banks[image.address >= kSwdLdromBase ? 1 : 0].images.push_back(&image);
    for (Bank &bank : banks) {
        if (bank.images.empty() && !bothBanks)
            continue;
        const QString path = dir.filePath(QString::fromLatin1(bank.file));
        if (!QFileInfo::exists(path))
            return m_link.fail(SwdAlgorithmMissing,
                               QStringLiteral("flash algorithm %1 not found").arg(path));
        QString error;
        bank.algorithm = FlashAlgorithm::load(path, error);
        if (!bank.algorithm)
            return m_link.fail(SwdAlgorithmInvalid, error);
        for (const SwdImage *image : bank.images) {
            const uint64_t offset = uint64_t(image->address) - (bank.ldrom ? kSwdLdromBase : 0);
            const FlashAlgorithm &a = *bank.algorithm;
            if (!image->data || image->length == 0 || offset < a.deviceStart()
                || offset + image->length > uint64_t(a.deviceStart()) + a.deviceSize())
                return m_link.fail(SwdBadJob,
                                   QStringLiteral("%1 (%2 bytes at 0x%3) is outside %4")
                                       .arg(image->name)
                                       .arg(image->length)
                                       .arg(image->address, 8, 16, QLatin1Char('0'))
                                       .arg(a.deviceName()));
        }
        m_banks.push_back(std::move(bank));
    }
    return !m_banks.empty() || m_link.fail(SwdBadJob, QStringLiteral("the job has no image"));
}

bool JobRun::erase(int mode)
{
    if (mode == SwdEraseNone)
        return true;
    report("erase", 0);
    for (size_t i = 0; i < m_banks.size(); ++i) {
        const Bank &bank = m_banks[i];
        FlashSession session(m_port, *bank.algorithm);
        if (!session.load() || !session.init(FlashSession::FunctionErase))
            return false;
        if (mode == SwdEraseFull) {
            if (!session.eraseChip())
                return false;
        } else {
            for (const SwdImage *image : bank.images)
                if (!session.eraseSectors(offsetOf(bank, *image), image->length))
                    return false;
        }
        if (!session.uninit(FlashSession::FunctionErase))
            return false;
        report("erase", int(100 * (i + 1) / m_banks.size()));
    }
    return true;
}

bool JobRun::program()
{
    const uint32_t total = totalBytes();
    uint32_t before = 0;
    report("program", 0);
    for (const Bank &bank : m_banks) {
        FlashSession session(m_port, *bank.algorithm);
        if (!session.load() || !session.init(FlashSession::FunctionProgram))
            return false;
        for (const SwdImage *image : bank.images) {
            const std::vector<uint8_t> bytes(image->data, image->data + image->length);
            auto step = [&](uint32_t done, uint32_t pages) {
                report("program",
                       int((before + uint64_t(image->length) * done / pages) * 100 / total));
            };
            if (!session.program(offsetOf(bank, *image), bytes, step))
                return false;
            before += image->length;
        }
        if (!session.uninit(FlashSession::FunctionProgram))
            return false;
    }
    return true;
}

bool JobRun::verify()
{
    const uint32_t total = totalBytes();
    uint32_t before = 0;
    report("verify", 0);
    for (const Bank &bank : m_banks) {
        FlashSession session(m_port, *bank.algorithm);
        if (!m_port.halt(500) || !selectWindow(bank, true))
            return false;
        for (const SwdImage *image : bank.images) {
            const std::vector<uint8_t> bytes(image->data, image->data + image->length);
            auto step = [&](uint32_t done, uint32_t) {
                report("verify", int((before + uint64_t(done)) * 100 / total));
            };
            const uint32_t address = bank.algorithm->deviceStart() + offsetOf(bank, *image);
            if (!session.verify(address, image->address, bytes, step))
                return false;
            before += image->length;
        }
        if (!selectWindow(bank, false))
            return false;
    }
    return true;
}

} // namespace

SwdResult runSwdJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress)
{
    JobRun run(probe, progress);
    if (run.connect(job.clockHz) && run.loadBanks(job, false) && run.erase(job.eraseMode)
        && (!job.program || run.program()) && (!job.verify || run.verify()) && job.resetAndRun)
        run.resetAndRun();
    return run.finish();
}

SwdResult eraseChip(DapTransport &probe, const QString &flmDir, const SwdProgress &progress,
                    uint32_t clockHz)
{
    SwdJob job;
    job.flmDir = flmDir;
    job.clockHz = clockHz;
    JobRun run(probe, progress);
    if (run.connect(job.clockHz) && run.loadBanks(job, true))
        run.erase(SwdEraseFull);
    return run.finish();
}

SwdResult verifyJob(DapTransport &probe, const SwdJob &job, const SwdProgress &progress)
{
    JobRun run(probe, progress);
    if (run.connect(job.clockHz) && run.loadBanks(job, false))
        run.verify();
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
        if (QFileInfo::exists(QDir(dir).filePath(QString::fromLatin1(kApromAlgorithm))))
            return QDir::cleanPath(dir);
    }
    return QDir::cleanPath(candidates.front());
}
