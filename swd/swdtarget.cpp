// Where the SWD host finds what it loads: the device's description and the CRC routine.
#include "pack/jobalgorithms.h"
#include "pack/targetcatalog.h"
#include "swd/swdprogrammer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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
        if (QFileInfo::exists(QDir(dir).filePath(QStringLiteral("Quorvel_Crc32.FLM"))))
            return QDir::cleanPath(dir);
    }
    return QDir::cleanPath(candidates.front());
}

bool swdLoadTarget(const QString &name, pack::TargetDescription &out, QString &error,
                   const QString &folder, const QVector<pack::ImageSpan> &images)
{
    pack::TargetCatalog catalog;
    if (!catalog.addFolder(folder.isEmpty() ? pack::shippedPackFolder() : folder, error))
        return false;
    const pack::TargetCatalog::Resolution r = catalog.resolve(name);
    if (!r.device) {
        error = r.message;
        return false;
    }
    out = *r.device;
    return pack::selectCore(out, {}, error) && pack::selectAlgorithms(out, images, {}, error)
        && pack::loadAlgorithms(out, pack::PackLimits(), error);
}
