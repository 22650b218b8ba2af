#include "engine/swdtargetof.h"

#include "job/jobsetup.h"

#include <QFileInfo>

bool loadKnownPacks(pack::TargetCatalog &catalog, const QStringList &packs, QString &error)
{
    if (!catalog.addFolder(pack::shippedPackFolder(), error)
        || !catalog.addFolder(pack::userPackFolder(), error))
        return false;
    for (const QString &path : packs) {
        if (!catalog.addPack(path, error, true))
            return false;
    }
    return true;
}

SwdTargetProblem findSwdTarget(job::JobSetup &setup, const QStringList &packs,
                               pack::TargetDescription &out, QString &error, QStringList *warnings)
{
    pack::TargetCatalog catalog;
    const bool loaded = loadKnownPacks(catalog, packs, error);
    if (warnings)
        *warnings << catalog.warnings();
    if (!loaded)
        return SwdTargetProblem::Input;
    const QString jobPack = QFileInfo(setup.targetPack).absoluteFilePath();
    bool known = setup.targetPack.isEmpty();
    for (const pack::PackContents &contents : catalog.packs())
        known = known || QFileInfo(contents.path).absoluteFilePath() == jobPack;
    if (!known && !catalog.addPack(setup.targetPack, error, true))
        return SwdTargetProblem::Input;
    const pack::TargetCatalog::Resolution r = catalog.resolve(
        setup.targetDevice.isEmpty() ? pack::defaultDeviceName() : setup.targetDevice);
    if (!r.device) {
        error = r.message;
        return SwdTargetProblem::Usage;
    }
    out = *r.device;
    if (!pack::selectCore(out, setup.targetCore, error))
        return SwdTargetProblem::Usage;
    if (!setup.targetDevice.isEmpty()) {
        setup.targetDevice = out.device;
        const QString path = QFileInfo(out.packPath).absoluteFilePath();
        const bool found = path.startsWith(QFileInfo(pack::shippedPackFolder()).absoluteFilePath())
            || path.startsWith(QFileInfo(pack::userPackFolder()).absoluteFilePath());
        setup.targetPack = found ? QString() : path;
    }
    return SwdTargetProblem::None;
}

SwdTargetProblem useSwdAlgorithms(const job::JobSetup &setup,
                                  const QVector<pack::ImageSpan> &images,
                                  pack::TargetDescription &target, QString &error)
{
    if (!pack::selectAlgorithms(target, images, setup.targetAlgorithms, error))
        return SwdTargetProblem::Usage;
    if (!pack::loadAlgorithms(target, pack::PackLimits(), error))
        return SwdTargetProblem::Input;
    return SwdTargetProblem::None;
}
