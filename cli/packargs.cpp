#include "packargs.h"

#include "exitcodes.h"

#include "job/jobsetup.h"
#include "pack/flmdescriptor.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace cli {

void addPackOptions(QCommandLineParser &parser)
{
    parser.addOption({"pack",
                      QCoreApplication::translate(
                          "QuorvelCli", "设备包（.pack文件或含.pdsc的文件夹），可多次给出。"),
                      "FILE|DIR"});
    parser.addOption({"target",
                      QCoreApplication::translate("QuorvelCli", "设备名（不区分大小写）。"),
                      "DEVICE"});
}

bool loadPacks(const QCommandLineParser &parser, pack::TargetCatalog &catalog, QString &error)
{
    if (!catalog.addFolder(pack::shippedPackFolder(), error)
        || !catalog.addFolder(pack::userPackFolder(), error))
        return false;
    for (const QString &path : parser.values("pack")) {
        if (!catalog.addPack(path, error))
            return false;
    }
    return true;
}

int resolveTarget(const QCommandLineParser &p, job::JobSetup &setup, pack::TargetDescription &out,
                  QString &error)
{
    if (p.isSet("target")) {
        setup.targetDevice = p.value("target");
        setup.targetPack.clear();
    }
    pack::TargetCatalog catalog;
    if (!loadPacks(p, catalog, error))
        return ExitInputFile;
    const QString jobPack = QFileInfo(setup.targetPack).absoluteFilePath();
    bool known = setup.targetPack.isEmpty();
    for (const pack::PackContents &contents : catalog.packs())
        known = known || QFileInfo(contents.path).absoluteFilePath() == jobPack;
    if (!known && !catalog.addPack(setup.targetPack, error))
        return ExitInputFile;
    const pack::TargetCatalog::Resolution r = catalog.resolve(
        setup.targetDevice.isEmpty() ? pack::defaultDeviceName() : setup.targetDevice);
    if (!r.device) {
        error = r.message;
        return ExitUsage;
    }
    out = *r.device;
    if (!pack::loadAlgorithms(out, pack::PackLimits(), error))
        return ExitInputFile;
    if (!setup.targetDevice.isEmpty()) {
        setup.targetDevice = out.device;
        const QString path = QFileInfo(out.packPath).absoluteFilePath();
        const bool found = path.startsWith(QFileInfo(pack::shippedPackFolder()).absoluteFilePath())
            || path.startsWith(QFileInfo(pack::userPackFolder()).absoluteFilePath());
        setup.targetPack = found ? QString() : path;
    }
    return ExitOk;
}

// The memories a pack's device is programmed in: one per algorithm, named as the pack names the
// memory it lies in, with the algorithm's sector table.
bool memoriesOf(const pack::TargetDescription &device, QVector<FlashMemory> &out, QString &error)
{
    for (const pack::FlashAlgorithmRef &a : device.algorithms) {
        pack::FlmDescriptor flm;
        if (!pack::readFlmDescriptor(a.image, flm, error))
            return false;
        FlashMemory m{flm.name, a.start, a.size, {}};
        for (const pack::MemoryRegion &region : device.memories) {
            if (region.start <= a.start && a.start < region.end())
                m.name = region.name;
        }
        for (const pack::FlmSectorRun &run : flm.sectors)
            m.sectors.append({run.size, run.offset});
        out.append(m);
    }
    return true;
}

} // namespace cli
