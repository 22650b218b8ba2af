// One SWD run on one probe: open it, identify the chip, record, run, and tell the outcome.
#include "command.h"
#include "exitcodes.h"
#include "probesession.h"
#include "progressview.h"
#include "recording.h"
#include "swdcommands.h"

#include "job/erasemode.h"
#include "swd/link/dapprobes.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

namespace cli {

QString swdFailureText(const SwdResult &result)
{
    if (result.code == SwdSelfTestFailed)
        return QCoreApplication::translate("QuorvelCli", "烧录成功，自检失败：%1")
            .arg(result.message);
    return QCoreApplication::translate("QuorvelCli", "SWD错误%1：%2")
        .arg(result.code)
        .arg(result.message);
}

QStringList stagesOf(const SwdJob &job)
{
    QStringList stages{QCoreApplication::translate("QuorvelCli", "连接")};
    if (job.eraseMode != job::NoErase)
        stages << QCoreApplication::translate("QuorvelCli", "擦除");
    if (job.program)
        stages << QCoreApplication::translate("QuorvelCli", "烧写");
    if (job.verify)
        stages << QCoreApplication::translate("QuorvelCli", "校验");
    if (job.resetAndRun)
        stages << QCoreApplication::translate("QuorvelCli", "复位运行");
    if (job.checks())
        stages << QCoreApplication::translate("QuorvelCli", "自检");
    return stages;
}

int runOnProbe(Command &c, const QString &transport, const QStringList &stages, const SwdRun &run,
               const QString &success, const SwdRecording *recording)
{
    OpenedDapProbe probe;
    QString error;
    const int opened = openDapProbe(c, probe, error, transport);
    if (opened != ExitOk)
        return c.fail(opened, error);
    RunRecorder *recorder = recording ? recording->recorder : nullptr;
    QString uid;
    if (recording && recording->uid.given()) {
        const SwdResult read =
            readChipUid(probe.transport(), recording->clockHz, recording->uid, uid);
        if (!read.ok())
            return c.finish(exitForSwd(read.code), swdFailureText(read), read.code);
        c.report().insert("chipUid", uid);
    }
    QString serial;
    if (recorder
        && !recorder->begin(*recording->job,
                            c.report().value("probe").toObject().value("serial").toString(), serial,
                            error, uid))
        return c.fail(ExitRecord, error);
    if (!serial.isEmpty())
        c.report().insert("serial", serial);
    ProgressView view(stages);
    QString phase;
    const SwdResult result = run(probe.transport(), [&](const QString &name, int percent) {
        if (name != phase && percent != 0)
            view.setValue(0); // the bar moves to the next stage on a 0
        phase = name;
        view.setValue(percent);
    });
    view.finish();
    if (result.pageBuffers > 0)
        c.report().insert(
            "ram",
            QJsonObject{{"pageBuffers", result.pageBuffers}, {"crcRoutine", result.crcRoutine}});
    if (!result.fullErase.isEmpty()) {
        QJsonArray banks;
        for (const BankErase &bank : result.fullErase)
            banks.append(QJsonObject{
                {"algorithm", bank.algorithm}, {"by", bank.by}, {"sectors", bank.sectors}});
        c.report().insert("erase", banks);
    }
    if (recorder)
        c.report().insert("sectors",
                          QJsonObject{{"erased", result.sectors.erased},
                                      {"programmed", result.sectors.programmed},
                                      {"skipped", result.sectors.skipped}});
    if (!result.functional.isEmpty())
        c.report().insert("rtt",
                          QJsonObject{{"matched", result.functional == "passed"},
                                      {"text", QString::fromUtf8(result.functionalText)}});
    const int status = result.ok() ? int(ExitOk) : exitForSwd(result.code);
    const QString message = result.ok() ? success : swdFailureText(result);
    const SectorCounts sectors = result.sectors;
    RunCheck check;
    check.chipUid = uid;
    check.functional = result.functional;
    check.text = result.functionalText;
    if (recorder && !recorder->finish(status, false, message, 0, error, sectors, check))
        return c.finish(ExitRecord, message + QStringLiteral("\n") + error, result.code);
    return c.finish(status, message, result.code);
}

} // namespace cli
