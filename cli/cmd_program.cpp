// `program`: the programming run of the window's Start, from files or a job file.
#include "checkargs.h"
#include "command.h"
#include "exitcodes.h"
#include "gangview.h"
#include "jobargs.h"
#include "probesession.h"
#include "progressview.h"
#include "recording.h"
#include "swdcommands.h"

#include "engine/handlebar.h"
#include "engine/restarts.h"
#include "images/crc32.h"
#include "job/chipmodels.h"
#include "job/filelist.h"
#include "job/flashplan.h"
#include "job/jobfile.h"
#include "job/messages.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <map>
#include <memory>
#include <mutex>

namespace cli {

namespace {

// Erase first when the run sends an erase report, then one stage per image.
QStringList stagesOf(const Download &d)
{
    QStringList stages;
    if (d.eraseMode == job::FullErase || d.fileCount > 0)
        stages << QCoreApplication::translate("QuorvelCli", "擦除");
    if (d.programEnabled == 1) {
        for (int i = 0; i < d.fileCount; ++i)
            stages << d.fileName[i];
    }
    return stages;
}

} // namespace

int runProgram(const QStringList &arguments)
{
    Command c("program",
              QCoreApplication::translate("QuorvelCli", "烧写：与窗口的“开始”相同的任务。"),
              "FILE[@ADDRESS]...", fileArgumentsHelp());
    addJobOptions(c.parser);
    addRecordOptions(c.parser);
    c.parser.addOption(
        {"force", QCoreApplication::translate("QuorvelCli", "烧录地图有问题时仍然烧写。")});
    c.parser.addOption(
        {"repeat",
         QCoreApplication::translate("QuorvelCli", "重复N轮，每轮之间等待换芯片（0：直到中断）。"),
         "N"});
    c.parser.addOption({"auto",
                        QCoreApplication::translate("QuorvelCli",
                                                    "流水线：每个烧录器等芯片接上即烧写，芯片取下后"
                                                    "再等下一块（--repeat块数，默认直到中断）。")});
    c.parser.addOption(
        {"poll",
         QCoreApplication::translate("QuorvelCli", "--auto检测芯片的间隔，毫秒（默认300）。"),
         "MS"});
    addViaOption(c.parser);
    addCheckOptions(c.parser);
    const int parsed = c.parse(arguments);
    if (parsed >= 0)
        return parsed;
    if (const int swd = runViaSwd(c, SwdCommand::Program); swd >= 0)
        return swd;

    ProbeSession session;
    Download &d = session.record();
    job::JobSetup setup;
    QString error;
    int prepared = jobSetupFromArgs(c.parser, setup, error);
    setup.via = job::ViaVendor; // an SWD job run on the dedicated probe is saved as such
    if (prepared == ExitOk)
        prepared = loadJob(c.parser, setup, d, error);
    if (prepared != ExitOk)
        return c.fail(prepared, error);
    if (setup.eraseMode == job::AutoErase)
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "擦除方式auto只能用于--via swd"));
    c.report().insert("files", describeImages(d));
    // The map's problems stop a run the engine would let go ahead; --force takes the risk.
    const FlashPlan plan = planJob(d, 0);
    if (plan.hasProblems() && !c.parser.isSet("force")) {
        QStringList problems;
        for (const FlashProblem &problem : plan.problems)
            problems << problem.text;
        return c.fail(
            ExitPlanProblems,
            QCoreApplication::translate("QuorvelCli", "烧录地图有问题（--force仍然烧写）：%1")
                .arg(problems.join(QStringLiteral("; "))));
    }
    RecordOptions recordOptions;
    if (!recordOptionsFrom(c.parser, d, recordOptions, error, setup.serialLedger))
        return c.fail(ExitUsage, error);
    const QStringList selectors = c.parser.values("probe");
    if (selectors.size() > 1 || selectors.contains(QLatin1String("all")) || c.parser.isSet("repeat")
        || c.parser.isSet("auto"))
        return runGang(c, d, selectors.isEmpty() ? QStringList{QString()} : selectors,
                       recordedGang(recordOptions));

    if (const int status = session.connect(c))
        return status;
    if (d.chip->model == job::qd52Model && job::firmwareRefusesQd52(d.probeId))
        return c.fail(ExitFirmwareRefused, job::plainText(job::qd52RefusedMessage()));

    RunRecorder recorder(recordOptions);
    QString serial;
    if (!recorder.begin(d, session.describe().value("serial").toString(), serial, error))
        return c.fail(ExitRecord, error);
    if (!serial.isEmpty())
        c.report().insert("serial", serial);

    HandleBar bar;
    ProgressView progress(stagesOf(d));
    QObject::connect(&bar, &HandleBar::progressBarSet,
                     [&progress](int value) { progress.setValue(value); });
    d.handleBar = &bar;
    const int code = engine::runWithRestarts(d, [&] {
        progress.finish();
        return session.reconnect();
    });
    progress.finish();
    d.handleBar = nullptr;

    const bool passed = job::runPassed(code);
    const QString message = job::plainText(job::runResultMessage(code));
    if (!recorder.finish(code, false, message, d.chip->deviceId, error)) {
        // The chip holds what the run did, but the line cannot trace it: say so, never "passed".
        c.report().insert("recorded", false);
        return c.finish(ExitRecord, message + QStringLiteral("\n") + error, code);
    }
    c.report().insert("recorded", recordOptions.enabled);
    return c.finish(passed ? ExitOk : code, message, code);
}

} // namespace cli
