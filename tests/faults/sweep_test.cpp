// Every report of a full job and of the read-back services meets each fault in turn; the host must
// give the failing command's code, send nothing more, keep its time-outs, and recover.
#include "faultjob.h"
#include "readrules.h"

#include "images/crc32.h"
#include "probe/reports.h"

#include <cstdio>
#include <functional>

using faults::Bytes;
using vprobe::ReplyFault;

namespace {

enum class Fault { Unplug, Silence, LateReply, WrongEcho };

// failNext spoils the next reply to a command; to hit the k-th report of a command the fault is
// armed at the start or at a progress event after the earlier ones have gone out.
class OccurrenceArm
{
public:
    OccurrenceArm(const Bytes &reference, size_t n, std::function<void()> arm)
        : reference(reference)
        , n(n)
        , arm(std::move(arm))
    { }

    void poll()
    {
        if (armed)
            return;
        const size_t written = vprobe::VirtualProbe::instance().commandsWritten().size();
        if (written >= n)
            return;
        for (size_t k = written; k + 1 < n; ++k) {
            if (reference[k] == reference[n - 1])
                return;
        }
        arm();
        armed = true;
    }

    bool armed = false;

private:
    const Bytes &reference;
    size_t n;
    std::function<void()> arm;
};

bool readsAgain(uint8_t command)
{
    return command == 0x94 || command == 0x95;
}

// The reads that follow the faulty report and the virtual time they cost.
struct Wait
{
    std::vector<int> reads;
    int ms;
};

Wait expectedWait(Fault fault, uint8_t command, uint32_t digestSize, bool recovers)
{
    const std::vector<int> silent = faults::silentReads(command, false, digestSize);
    const std::vector<int> first(silent.begin(), silent.begin() + 1);
    switch (fault) {
    case Fault::Unplug: // every read fails at once
        return {silent, 0};
    case Fault::Silence:
        return {silent, faults::totalMs(silent)};
    case Fault::LateReply: // the reply comes with the second read, if there is one
        return {recovers ? std::vector<int>(silent.begin(), silent.begin() + 2) : first, silent[0]};
    case Fault::WrongEcho: // a refused first reply is followed by a silent second read
        return readsAgain(command) ? Wait{silent, faults::totalMs(silent) - silent[0]}
                                   : Wait{first, 0};
    }
    return {};
}

// Spoils the next reply to `command`; unplugging is armed by report number instead.
void inject(Fault fault, uint8_t command)
{
    auto &p = vprobe::VirtualProbe::instance();
    if (fault == Fault::Silence)
        p.failNext(command, ReplyFault::Withhold, -1);
    else if (fault == Fault::LateReply)
        p.failNext(command, ReplyFault::Withhold, 1);
    else if (fault == Fault::WrongEcho)
        p.failNext(command, ReplyFault::WrongEcho);
}

constexpr Fault allFaults[] = {Fault::Unplug, Fault::Silence, Fault::LateReply, Fault::WrongEcho};
constexpr const char *faultNames[] = {"unplug", "silence", "late reply", "wrong echo"};

} // namespace

class Sweep : public faults::FaultJob
{
protected:
    void runWithFault(Fault fault, size_t n);

    void sweep(Fault fault)
    {
        for (size_t n = 1; n <= reference.size(); ++n) {
            char where[48];
            std::snprintf(where, sizeof where, "report %zu (0x%02X)", n, reference[n - 1]);
            SCOPED_TRACE(where);
            runWithFault(fault, n);
            if (HasFatalFailure())
                return;
        }
    }
};

void Sweep::runWithFault(Fault fault, size_t n)
{
    restart();
    ASSERT_FALSE(HasFatalFailure());
    const uint8_t command = reference[n - 1];
    OccurrenceArm arm(reference, n, [fault, command] { inject(fault, command); });
    probe().clearTrace();
    QMetaObject::Connection hook;
    if (fault == Fault::Unplug) {
        probe().unplugAfterReports(int(n));
    } else {
        arm.poll();
        hook = QObject::connect(&bar, &HandleBar::progressBarSet, [&arm] { arm.poll(); });
    }
    const int32_t code = d.runProgramming();
    QObject::disconnect(hook);
    ASSERT_TRUE(fault == Fault::Unplug || arm.armed);

    // Chip detect and check read once more, and the erase waits on: a late reply is still taken.
    const bool recovers = fault == Fault::LateReply && (readsAgain(command) || command == 0x96);
    EXPECT_EQ(code, recovers ? 0 : faults::failureCode(command));
    const Bytes sent = probe().commandsWritten();
    EXPECT_EQ(sent, recovers ? reference : Bytes(reference.begin(), reference.begin() + n));
    const Wait wait = expectedWait(fault, command, 0, recovers);
    EXPECT_EQ(readsAfterReport(n), wait.reads);
    EXPECT_EQ(probe().virtualTimeMs(), uint64_t(wait.ms));

    if (!recovers) {
        if (fault == Fault::Unplug) {
            probe().setPresent(true);
            EXPECT_EQ(d.toggleConnection(), 0);
            ASSERT_EQ(d.toggleConnection(), 1);
        }
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(probe().commandsWritten(), reference);
    }
    // A probe that acted on the finish report before its reply was lost has advanced the rolling
    // code; an unplugged one never saw that report.
    const bool finished = fault != Fault::Unplug && command == 0x9F && !recovers;
    const uint32_t rolling = rollingFirst + (finished ? rollingStep : 0);
    EXPECT_EQ(probe().readFlash(0, jobSpan), expectedFlash(rolling));
}

TEST_F(Sweep, UnplugAfterEveryReport)
{
    sweep(Fault::Unplug);
}

TEST_F(Sweep, EveryReplyWithheld)
{
    sweep(Fault::Silence);
}

TEST_F(Sweep, EveryReplyOneReadLate)
{
    sweep(Fault::LateReply);
}

TEST_F(Sweep, EveryReplyWithWrongEcho)
{
    sweep(Fault::WrongEcho);
}

namespace {

// A read-back service, its reports in order and the code it gives when one of them fails.
struct Service
{
    const char *name;
    int32_t (Download::*call)();
    Bytes reports;
    int32_t (*failure)(uint8_t command, Fault fault);
};

int32_t verifyFailure(uint8_t command, Fault fault)
{
    if (command == 0x94)
        return 3;
    // A complete 0x93 reply that is not a match means "differs", whatever its echo.
    return command == 0x93 && fault == Fault::WrongEcho ? 4 : -1;
}

int32_t digestFailure(uint8_t command, Fault)
{
    return command == 0x94 ? 2 : -1;
}

int32_t offlineEraseFailure(uint8_t, Fault)
{
    return -1;
}

} // namespace

class ReadBackSweep : public faults::FaultJob
{
protected:
    void SetUp() override
    {
        FaultJob::SetUp();
        d.md5Address = 0;
        d.md5Size = jobSpan;
        d.crcAddress = 0x400;
        d.crcSize = 0x620;
        const Bytes flash = expectedFlash(rollingFirst);
        uint8_t md5[16];
        ASSERT_TRUE(probe::computeMd5(flash.data(), jobSpan, md5));
        flashMd5.assign(md5, md5 + 16);
        flashCrc = calcCrc32(flash.data() + 0x400, 0x620);
    }

    void runWithFault(const Service &s, Fault fault, size_t n);

    Bytes flashMd5;
    uint32_t flashCrc = 0;
};

void ReadBackSweep::runWithFault(const Service &s, Fault fault, size_t n)
{
    const uint8_t command = s.reports[n - 1];
    restart();
    ASSERT_EQ(run(), 0);
    probe().clearTrace();
    // failNext only knows the next 0x93 and verify emits no progress to arm it later: the images
    // before report n get the probe's own "match" reply verbatim instead.
    for (size_t k = 0; k + 1 < n; ++k) {
        if (s.reports[k] == 0x93) {
            Bytes match(64, 0);
            match[0] = 0x93;
            match[1] = 0xAA;
            probe().queueReply(0x93, match);
        }
    }
    if (fault == Fault::Unplug)
        probe().unplugAfterReports(int(n));
    else
        inject(fault, command);
    const Bytes sentinel(16, 0xA5);
    std::copy(sentinel.begin(), sentinel.end(), d.md5Digest);
    d.crcValue = 0xA5A5A5A5;

    const int32_t code = (d.*s.call)();
    const bool recovers = fault == Fault::LateReply && readsAgain(command);
    EXPECT_EQ(code, recovers ? 0 : s.failure(command, fault));
    EXPECT_EQ(probe().commandsWritten(),
              recovers ? s.reports : Bytes(s.reports.begin(), s.reports.begin() + n));
    const uint32_t size = command == 0x91 ? d.md5Size : d.crcSize;
    const Wait wait = expectedWait(fault, command, size, recovers);
    EXPECT_EQ(readsAfterReport(n), wait.reads);
    EXPECT_EQ(probe().virtualTimeMs(), uint64_t(wait.ms));
    if (code != 0) {
        // A failed read-back leaves the last value alone.
        EXPECT_EQ(Bytes(d.md5Digest, d.md5Digest + 16), sentinel);
        EXPECT_EQ(d.crcValue, 0xA5A5A5A5u);
        if (fault == Fault::Unplug) {
            probe().setPresent(true);
            EXPECT_EQ(d.toggleConnection(), 0);
            ASSERT_EQ(d.toggleConnection(), 1);
        }
        EXPECT_EQ((d.*s.call)(), 0);
    }
    if (s.call == &Download::readMd5) {
        EXPECT_EQ(Bytes(d.md5Digest, d.md5Digest + 16), flashMd5);
    }
    if (s.call == &Download::readCrc32) {
        EXPECT_EQ(d.crcValue, flashCrc);
    }
}

TEST_F(ReadBackSweep, EveryReportUnderEveryFault)
{
    const Service services[] = {
        {"verify", &Download::verifyImages, {0x94, 0x95, 0x93, 0x93, 0x93}, verifyFailure},
        {"MD5", &Download::readMd5, {0x94, 0x95, 0x91}, digestFailure},
        {"CRC-32", &Download::readCrc32, {0x94, 0x95, 0x8F}, digestFailure},
        {"offline erase", &Download::offlineErase, {0x92}, offlineEraseFailure},
    };
    for (const Service &s : services) {
        for (Fault fault : allFaults) {
            for (size_t n = 1; n <= s.reports.size(); ++n) {
                char where[64];
                std::snprintf(where, sizeof where, "%s, %s at report %zu", s.name,
                              faultNames[int(fault)], n);
                SCOPED_TRACE(where);
                runWithFault(s, fault, n);
                if (HasFatalFailure())
                    return;
            }
        }
    }
}
