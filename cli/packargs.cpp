#include "packargs.h"

#include <QCoreApplication>

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

} // namespace cli
