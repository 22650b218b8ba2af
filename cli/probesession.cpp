// Opening the chosen probe.
#include "probesession.h"

#include "command.h"
#include "exitcodes.h"
#include "job/chipmodels.h"
#include "job/messages.h"
#include "probe/probelist.h"

#include <QCoreApplication>

namespace cli {

namespace { } // namespace

ProbeSession::ProbeSession()
    : chip(new ChipRecord)
    , download(new Download)
{
    download->chip = chip.get();
}

ProbeSession::~ProbeSession()
{
    if (download->connected == 1)
        download->toggleConnection();
}

int ProbeSession::connect(const QString &selector, QString &error)
{
    const std::vector<ProbeInfo> probes = listProbes();
    const ProbeInfo *chosen = nullptr;
    for (const ProbeInfo &probe : probes) {
        const bool match = selector.isEmpty() || probe.serial == selector
            || QString::fromLocal8Bit(probe.path) == selector;
        if (match) {
            chosen = &probe;
            break;
        }
    }
    if (!chosen) {
        error = selector.isEmpty()
            ? QCoreApplication::translate("QuorvelCli", "未找到烧录器")
            : QCoreApplication::translate("QuorvelCli", "未找到烧录器：%1").arg(selector);
        return 1;
    }
    path = chosen->path;
    serial = chosen->serial;
    product = chosen->product;
    switch (connectProbeAt(*download, path)) {
    case 1:
        return ExitOk;
    case -2:
        error = job::plainText(job::refusedFirmwareMessage(download->probeId));
        return ExitFirmwareRefused;
    default:
        error = QCoreApplication::translate("QuorvelCli", "烧录器无法识别：%1")
                    .arg(QString::fromLocal8Bit(path));
        return 1;
    }
}

int ProbeSession::connect(Command &command)
{
    QString error;
    const int status = connect(command.probeSelector(), error);
    if (!path.isEmpty()) // found, whether or not it was accepted
        command.report().insert("probe", describe());
    return status == ExitOk ? status : command.fail(status, error);
}

bool ProbeSession::reconnect()
{
    return connectProbeAt(*download, path) == 1;
}

QJsonObject ProbeSession::describe() const
{
    return probeJson(QString::fromLocal8Bit(path), serial, product,
                     download->probeId ? job::firmwareVersionText(download->probeId) : QString());
}

} // namespace cli
