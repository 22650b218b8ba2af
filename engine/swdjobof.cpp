#include "engine/swdjobof.h"

#include "engine/download.h"
#include "engine/swdtargetof.h"
#include "job/jobsetup.h"
#include "swd/rollingpatch.h"

#include <QCoreApplication>
#include <deque>

SwdJob swdJobOf(const job::JobSetup &setup, const Download &d)
{
    SwdJob job;
    for (int i = 0; i < d.fileCount; ++i)
        job.images.push_back({d.imageAddress[i], d.imageData[i], d.imageLength[i], d.fileName[i]});
    job.eraseMode = setup.eraseMode;
    job.program = setup.program;
    job.verify = setup.verify && (setup.program || setup.eraseMode == job::NoErase);
    job.resetAndRun = setup.resetAndRun;
    for (auto it = setup.targetDebugVars.begin(); it != setup.targetDebugVars.end(); ++it)
        job.connect.debugvars[it.key()] = it.value();
    return job;
}

SwdResult runSwdProgramming(DapTransport &probe, const SwdJob &swdJob, const Download &d,
                            const SwdProgress &progress)
{
    if (d.rollingCodeAddress == 0)
        return runSwdJob(probe, swdJob, progress);
    // The ledger's value for this board, set when the run was recorded.
    SwdJob withCode = swdJob;
    RollingSector sector;
    if (!rollingSectorOf(withCode.target, d.rollingCodeAddress, sector))
        return SwdResult::failure(SwdBadJob,
                                  QCoreApplication::translate("QuorvelCli", "滚码地址0x%1不能写入")
                                      .arg(d.rollingCodeAddress, 8, 16, QLatin1Char('0')));
    std::deque<std::vector<uint8_t>> storage;
    const SwdResult patched =
        patchRollingCode(withCode, d.rollingCodeAddress, d.rollingCodeValue, sector, storage);
    if (!patched.ok())
        return patched;
    return runSwdJob(probe, withCode, progress);
}

QVector<pack::ImageSpan> swdImageSpans(const Download &d)
{
    QVector<pack::ImageSpan> spans;
    for (int i = 0; i < d.fileCount; ++i)
        spans.append({d.imageAddress[i], d.imageLength[i], d.fileName[i]});
    return spans;
}

bool swdChecksOf(const job::JobSetup &setup, const pack::TargetDescription &target, UidPlace &uid,
                 rtt::CheckOptions &check, QString &error)
{
    if (setup.uid.isEmpty() ? !uidPlaceOf(target, uid, error)
                            : !parseUidPlace(setup.uid, uid, error))
        return false;
    check = rtt::CheckOptions();
    if (setup.rttExpect.isEmpty())
        return true;
    check.expect.setPattern(setup.rttExpect);
    check.fail.setPattern(setup.rttFail);
    check.timeoutMs = setup.rttTimeoutMs;
    check.address = setup.rttAddress;
    return true;
}

bool prepareSwdJob(job::JobSetup &setup, const Download &d, const QStringList &packs, SwdJob &out,
                   QString &error, UidPlace *uidOut)
{
    pack::TargetDescription target;
    if (findSwdTarget(setup, packs, target, error) != SwdTargetProblem::None
        || useSwdAlgorithms(setup, swdImageSpans(d), target, error) != SwdTargetProblem::None)
        return false;
    out = swdJobOf(setup, d);
    out.target = target;
    out.clockHz = setup.swdClockHz;
    out.verifyMode = setup.verifyReadback ? SwdVerifyReadback : SwdVerifyCrc;
    UidPlace uid;
    if (!swdChecksOf(setup, target, uid, out.selfTest, error))
        return false;
    if (uidOut)
        *uidOut = uid;
    if (d.rollingCodeAddress != 0) {
        const SwdResult placed = checkRollingCode(out, d.rollingCodeAddress);
        if (!placed.ok()) {
            error = placed.message;
            return false;
        }
    }
    return true;
}
