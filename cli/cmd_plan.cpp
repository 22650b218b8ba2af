// `plan`: the flash map of a job before it runs, as a text table (problems first) and as SVG.
#include "command.h"
#include "connectargs.h"
#include "exitcodes.h"
#include "jobargs.h"
#include "packargs.h"

#include "engine/chiprecord.h"
#include "engine/download.h"
#include "job/filelist.h"
#include "job/flashplan.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QSaveFile>

namespace cli {

int runPlan(const QStringList &arguments)
{
    Command c("plan", QCoreApplication::translate("QuorvelCli", "烧录地图：任务将如何写入芯片。"),
              "FILE[@ADDRESS]...", fileArgumentsHelp());
    addJobOptions(c.parser);
    addPackOptions(c.parser);
    c.parser.addOption(
        {"svg", QCoreApplication::translate("QuorvelCli", "把地图写成SVG文件。"), "FILE"});
    const int parsed = c.parse(arguments, false);
    if (parsed >= 0)
        return parsed;

    ChipRecord chip;
    Download d;
    const job::ImagesReleased released(d);
    d.chip = &chip;
    job::JobSetup setup;
    QString error;
    const int prepared = prepareJob(c.parser, setup, d, error);
    if (prepared != ExitOk)
        return c.fail(prepared, error);

    QVector<FlashMemory> memories;
    QString connect;
    QStringList algorithmLines;
    if (c.parser.isSet("target") || !setup.targetDevice.isEmpty()) {
        pack::TargetDescription all, device;
        if (const int status = findTarget(c.parser, setup, all, error))
            return c.fail(status, error);
        device = all;
        if (!pack::selectAlgorithms(device, imageSpansOf(d), setup.targetAlgorithms, error))
            return c.fail(ExitUsage, error);
        if (!pack::loadAlgorithms(device, pack::PackLimits(), error)
            || !memoriesOf(device, memories, error))
            return c.fail(ExitInputFile, error);
        QJsonObject algorithms;
        if (const int status = describeAlgorithms(all, imageSpansOf(d), setup.targetAlgorithms,
                                                  algorithms, algorithmLines, error))
            return c.fail(status, error);
        c.report().insert("algorithms", algorithms.value("algorithms"));
        connect = connectSummary(device);
        c.report().insert("connect", connectJson(device));
    }
    const FlashPlan plan = planJob(d, 0, memories);
    if (c.parser.isSet("svg")) {
        QSaveFile svg(c.parser.value("svg"));
        if (!svg.open(QIODevice::WriteOnly) || svg.write(flashMapSvg(plan)) < 0 || !svg.commit())
            return c.fail(ExitCannotCreate,
                          QCoreApplication::translate("QuorvelCli", "无法写入：%1")
                              .arg(c.parser.value("svg")));
    }
    QJsonArray problems, regions;
    for (const FlashProblem &problem : plan.problems)
        problems.append(problem.text);
    for (const FlashRegion &region : plan.regions) {
        regions.append(QJsonObject{{"kind", flashRegionLabel(region)},
                                   {"range", flashRangeText(region.start, region.end)},
                                   {"name", region.name},
                                   {"problem", region.problem}});
    }
    c.report().insert("problems", problems);
    c.report().insert("regions", regions);
    QString text = flashMapText(plan).trimmed();
    if (!algorithmLines.isEmpty())
        text += QLatin1Char('\n') + algorithmLines.join(QLatin1Char('\n'));
    if (!connect.isEmpty())
        text += QStringLiteral("\n  ") + connect;
    if (plan.hasProblems()) {
        // The map is data even when it shows problems: stdout, with the verdict on stderr.
        c.data(text);
        return c.finish(ExitPlanProblems,
                        QCoreApplication::translate("QuorvelCli", "烧录地图有%1个问题")
                            .arg(plan.problems.size()));
    }
    return c.finish(ExitOk, text);
}

} // namespace cli
