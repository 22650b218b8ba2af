#include "packargs.h"

#include "command.h"
#include "exitcodes.h"

#include "engine/download.h"
#include "engine/swdjobof.h"
#include "engine/swdtargetof.h"
#include "job/jobsetup.h"
#include "pack/flmdescriptor.h"
#include "swd/builder/flashbuilder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>

namespace cli {

void addPackOptions(QCommandLineParser &parser)
{
    parser.addOption(
        {"pack",
         QCoreApplication::translate(
             "QuorvelCli", "设备包（.pack文件、含.pdsc的文件夹或单独的.pdsc），可多次给出。"),
         "FILE|DIR"});
    parser.addOption({"target",
                      QCoreApplication::translate("QuorvelCli", "设备名（不区分大小写）。"),
                      "DEVICE"});
    parser.addOption(
        {"core", QCoreApplication::translate("QuorvelCli", "多核设备的内核（Pname）。"), "NAME"});
    parser.addOption({"algorithm",
                      QCoreApplication::translate(
                          "QuorvelCli", "也使用这个非默认的烧写算法（文件名），可多次给出。"),
                      "NAME"});
}

bool loadPacks(const QCommandLineParser &parser, pack::TargetCatalog &catalog, QString &error)
{
    const bool loaded = loadKnownPacks(catalog, parser.values("pack"), error);
    for (const QString &warning : catalog.warnings())
        Command::warn(warning);
    return loaded;
}

namespace {

int statusOf(SwdTargetProblem problem)
{
    switch (problem) {
    case SwdTargetProblem::None:
        return ExitOk;
    case SwdTargetProblem::Input:
        return ExitInputFile;
    case SwdTargetProblem::Usage:
        break;
    }
    return ExitUsage;
}

} // namespace

int findTarget(const QCommandLineParser &p, job::JobSetup &setup, pack::TargetDescription &out,
               QString &error)
{
    if (p.isSet("target")) {
        setup.targetDevice = p.value("target");
        setup.targetPack.clear();
        setup.targetCore.clear();
        setup.targetAlgorithms.clear();
    }
    if (p.isSet("core"))
        setup.targetCore = p.value("core");
    if (p.isSet("algorithm"))
        setup.targetAlgorithms = p.values("algorithm");
    QStringList warnings;
    const SwdTargetProblem problem = findSwdTarget(setup, p.values("pack"), out, error, &warnings);
    for (const QString &warning : warnings)
        Command::warn(warning);
    return statusOf(problem);
}

int resolveTarget(const QCommandLineParser &p, job::JobSetup &setup, pack::TargetDescription &out,
                  QString &error, const QVector<pack::ImageSpan> &images)
{
    if (const int status = findTarget(p, setup, out, error))
        return status;
    return useAlgorithms(setup, images, out, error);
}

int useAlgorithms(const job::JobSetup &setup, const QVector<pack::ImageSpan> &images,
                  pack::TargetDescription &target, QString &error)
{
    return statusOf(useSwdAlgorithms(setup, images, target, error));
}

QVector<pack::ImageSpan> imageSpansOf(const Download &d)
{
    return swdImageSpans(d);
}

namespace {

QString hex(uint32_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

// What full erase does with an algorithm in `use`; `way` as the run decides it.
QString fullEraseText(pack::AlgorithmRole role, bool loaded, FullEraseWay way)
{
    if (role != pack::AlgorithmRole::Default && role != pack::AlgorithmRole::Named)
        return QStringLiteral("-");
    if (!loaded || way == FullEraseWay::None)
        return QStringLiteral("?");
    return way == FullEraseWay::Chip
        ? QCoreApplication::translate("QuorvelCli", "用EraseChip（未空的扇区再逐个擦除）")
        : QCoreApplication::translate("QuorvelCli", "逐扇区");
}

} // namespace

// The chosen core's algorithms with their roles for a job of `images` that names `named`; what full
// erase does needs the files of those it erases, which are loaded (a problem is a warning here).
int describeAlgorithms(const pack::TargetDescription &d, const QVector<pack::ImageSpan> &images,
                       const QStringList &named, QJsonObject &json, QStringList &lines,
                       QString &error)
{
    QVector<pack::AlgorithmUse> uses;
    if (!pack::planAlgorithms(d, images, named, uses, error))
        return ExitUsage;
    pack::TargetDescription erased = d;
    QString why;
    bool loaded = pack::selectAlgorithms(erased, images, named, why)
        && pack::loadAlgorithms(erased, pack::PackLimits(), why);
    if (!loaded)
        Command::warn(why);
    const std::vector<FullEraseWay> ways =
        loaded ? fullEraseWays(erased) : std::vector<FullEraseWay>();
    QJsonArray list = json.value("algorithms").toArray();
    for (const pack::AlgorithmUse &use : uses) {
        pack::FlashAlgorithmRef a = d.algorithms[use.index];
        FullEraseWay way = FullEraseWay::None;
        for (int e = 0; e < erased.algorithms.size(); ++e) {
            if (erased.algorithms[e].path == a.path && erased.algorithms[e].start == a.start) {
                a = erased.algorithms[e];
                way = size_t(e) < ways.size() ? ways[size_t(e)] : FullEraseWay::None;
            }
        }
        const QString role = pack::runnableStyle(a)
            ? pack::roleText(use.role)
            : QCoreApplication::translate("QuorvelCli", "不可用（%1格式）").arg(a.style);
        const QString full = fullEraseText(use.role, loaded, way);
        lines << QStringLiteral("  %1\t%2-%3\t%4\t%5\t%6")
                     .arg(pack::algorithmName(a), hex(a.start), hex(uint32_t(a.end() - 1)),
                          a.isDefault ? QStringLiteral("default") : QStringLiteral("-"), role,
                          full);
        const bool listed = use.index < list.size();
        QJsonObject o = listed ? list.at(use.index).toObject()
                               : QJsonObject{{"name", pack::algorithmName(a)},
                                             {"start", hex(a.start)},
                                             {"size", hex(a.size)},
                                             {"default", a.isDefault}};
        o.insert("role", role);
        o.insert("fullErase", full);
        if (listed)
            list.replace(use.index, o);
        else
            list.append(o);
    }
    json.insert("algorithms", list);
    return ExitOk;
}

bool memoriesOf(const pack::TargetDescription &device, QVector<FlashMemory> &out, QString &error)
{
    for (const pack::FlashAlgorithmRef &a : device.algorithms) {
        pack::FlmDescriptor flm;
        if (!pack::readFlmDescriptor(a.image, flm, error))
            return false;
        FlashMemory m{flm.name, a.start, a.size, {}};
        // The map's bounds are the builder's: the memory the range starts in and the descriptor's
        // szDev, where they end first.
        for (const pack::MemoryRegion &region : device.memories) {
            if (region.start <= a.start && a.start < region.end()) {
                m.name = region.name;
                m.size = uint32_t(std::min<uint64_t>(m.size, region.end() - a.start));
            }
        }
        if (a.deviceSize)
            m.size = std::min(m.size, a.deviceSize);
        for (const pack::FlmSectorRun &run : flm.sectors)
            m.sectors.append({run.size, run.offset});
        out.append(m);
    }
    return true;
}

} // namespace cli
