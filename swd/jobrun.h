// One SWD job run on one probe: the steps the entry points of swdprogrammer.h chain, with the
// state they share. Internal to the SWD host.
#pragma once

#include "job/memorygeometry.h"
#include "swd/builder/flashbuilder.h"
#include "swd/debug/debugport.h"
#include "swd/debug/targetcontrol.h"
#include "swd/flash/corecall.h"
#include "swd/flash/flashsession.h"
#include "swd/flash/targetcrc.h"
#include "swd/swdprogrammer.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace swdrun {

inline constexpr const char *kCrcRoutine = "Quorvel_Crc32.FLM";
using corecall::kHaltTimeoutMs;
// Init's clk for a device whose pack gives no Dclock.
inline constexpr uint32_t kDefaultDeviceClockHz = 8000000;

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
        if (!result.ok() && m_control && !m_control->advice().isEmpty())
            result.message += QStringLiteral("; ") + m_control->advice();
        result.sectors = m_counts;
        result.functional = m_functional;
        result.functionalText = m_functionalText;
        result.fullErase = m_fullErase;
        if (result.ok() && !m_functional.isEmpty() && m_functional != QLatin1String("passed")) {
            result.code = SwdSelfTestFailed;
            result.message = m_checkMessage;
        }
        if (m_plan) {
            result.pageBuffers = int(m_plan->bufferCount);
            result.crcRoutine = m_plan->withCrc;
        }
        return result;
    }
    // Connected, then reset and halted before any algorithm is loaded, so nothing of the
    // application (watchdog, clocks, DMA) stays live under it.
    bool connect(const SwdJob &job)
    {
        report("connect", 0);
        m_control.emplace(m_port, job.target, job.connect);
        return m_link.open() && m_control->connect(job.clockHz) && m_control->resetAndHalt()
            && (report("connect", 100), true);
    }
    bool loadBanks(const SwdJob &job, bool allBanks);
    // withCrc: the CRC routine is needed, its file missing is a failure; crcIfThere: it is used
    // when its file is there.
    bool planRam(bool withCrc, bool crcIfThere = false);
    // Whether a full erase in `mode` would use EraseChip on a bank, which is checked blank after.
    bool anyChipErase(int mode) const
    {
        return std::any_of(m_banks.begin(), m_banks.end(), [mode](const FlashBank &b) {
            return fullEraseWay(b, mode) == FullEraseWay::Chip;
        });
    }
    bool decide(int mode, bool program);
    bool erase(int mode);
    bool program(int mode);
    // erase() and program() with the sessions alternating, for devices with no step of their own
    // between the two.
    bool eraseAndProgram(int mode);
    bool interleaves() const { return !m_control->definesStep("FlashEraseDone"); }
    bool verify(int verifyMode);
    // The verify a job gets: by CRC only where the routine fitted in RAM.
    int verifyModeFor(int asked) const
    {
        return asked == SwdVerifyCrc && !m_crc ? SwdVerifyReadback : asked;
    }
    // The device's own steps once its flash is erased or programmed.
    bool eraseDone(int mode) { return mode == job::NoErase || m_control->flashEraseDone(); }
    bool programDone() { return m_control->flashProgramDone(); }
    bool resetAndRun()
    {
        report("reset", 0);
        return m_control->resetAndRun() && (report("reset", 100), true);
    }

    // The board's own check after the reset; false only when the debug port failed.
    bool selfTest(const rtt::CheckOptions &options);

private:
    void report(const char *phase, int percent)
    {
        if (m_progress)
            m_progress(QString::fromLatin1(phase), percent);
    }
    bool fail(const SwdResult &r) { return m_link.fail(r.code, r.message); }
    // The bank's algorithm copied into RAM unless it is the one there already.
    bool load(FlashSession &session, const FlashBank &bank)
    {
        const bool copy = m_loaded != &*bank.algorithm;
        m_loaded = &*bank.algorithm;
        return session.load(copy);
    }
    // Every window of the device shows what it shows at reset, but the bank's own when `on`.
    bool selectWindow(const FlashBank &bank, bool on)
    {
        for (const pack::MemoryRegion &m : qAsConst(m_target.memories)) {
            if (m.readWindow
                && !m_port.write32(m.readWindow->selectRegister,
                                   on && bank.window == m.readWindow ? m.readWindow->show
                                                                     : m.readWindow->hide))
                return false;
        }
        return true;
    }
    uint32_t totalBytes() const
    {
        uint32_t total = 0;
        for (const FlashBank &bank : m_banks)
            for (const SwdImage *image : bank.images)
                total += image->length;
        return std::max(total, 1u);
    }
    // Runs `reads` inside the bank's verify session: its algorithm loaded, Init(…, 3) before and
    // UnInit(3) after, whatever reads the flash in between.
    bool verifySession(const FlashBank &bank, const std::function<bool(FlashSession &)> &reads);
    bool crcs(const FlashBank &bank, const std::vector<std::pair<uint32_t, uint32_t>> &ranges,
              std::vector<uint32_t> &out);
    bool mergeSectors(FlashBank &bank);
    // A full erase of the bank by its EraseChip, then by sectors of whatever it left not blank;
    // in `session` when given (its algorithm loaded, its pages perhaps prepared).
    bool eraseByChip(const FlashBank &bank, FlashSession *session = nullptr);
    // The sectors of the bank's extent that do not hold the erased value throughout.
    bool notBlank(const FlashBank &bank, std::vector<uint32_t> &sectors);
    bool notBlankByCrc(const FlashBank &bank, const std::vector<uint32_t> &extent,
                       std::vector<uint32_t> &sectors);
    bool notBlankByReading(const FlashBank &bank, const std::vector<uint32_t> &extent,
                           std::vector<uint32_t> &sectors);
    void noteFullErase(const FlashBank &bank, const char *by, size_t sectors);
    bool verifyByCrc(const FlashBank &bank, FlashSession &session);
    bool crcLeftToCheck(const FlashBank &bank) const;
    bool readBackImages(const FlashBank &bank, FlashSession &session, uint32_t &before);

    DapPipe m_link;
    DebugPort m_port;
    std::optional<TargetControl> m_control;
    SwdProgress m_progress;
    pack::TargetDescription m_target;
    QString m_dir;
    std::vector<FlashBank> m_banks;
    std::optional<CrcRoutine> m_crc;
    std::optional<RamPlan> m_plan;
    SectorCounts m_counts = SectorCounts::none();
    QVector<BankErase> m_fullErase;
    uint32_t m_clockHz = kDefaultDeviceClockHz; // the device's, as Init takes it
    const FlashAlgorithm *m_loaded = nullptr; // the algorithm in RAM
    bool m_programmed = false; // every sector not skipped holds exactly its expected bytes
    QString m_functional; // the self-test's verdict name; empty: none ran
    QByteArray m_functionalText;
    QString m_checkMessage; // why it did not pass
};

} // namespace swdrun
