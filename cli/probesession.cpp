// Opening probes: the chosen dedicated one, the chosen CMSIS-DAP one, and each of them for the
// list.
#include "probesession.h"

#include "command.h"
#include "exitcodes.h"
#include "job/chipmodels.h"
#include "job/filelist.h"
#include "job/messages.h"
#include "probe/probelist.h"
#include "swd/link/dapprobes.h"
#include "swd/swdprogrammer.h"

#include <QCoreApplication>

namespace cli {

namespace {

QString capabilityText(const ProbeCaps &caps)
{
    if (!caps.ok)
        return QCoreApplication::translate("QuorvelCli", "CMSIS-DAP：无应答（%1）").arg(caps.error);
    if (!caps.swd)
        return QCoreApplication::translate("QuorvelCli", "CMSIS-DAP：不支持SWD");
    return QCoreApplication::translate("QuorvelCli", "CMSIS-DAP：SWD，%1个%2字节的包")
        .arg(caps.packetCount)
        .arg(caps.packetSize);
}

QJsonObject describe(const DapProbe &probe, const QString &firmware = QString())
{
    QJsonObject entry = probeJson(probe.path(), probe.serial, probe.product, firmware);
    entry.insert("transports", QJsonArray::fromStringList(probe.transports()));
    return entry;
}

// Appends the CMSIS-DAP probes not in `listed` with what each can do.
void appendCmsisDapProbes(const QStringList &listed, QJsonArray &list, QStringList &lines)
{
    for (const DapProbe &probe : listDapProbes()) {
        if (probe.hasHid() && listed.contains(QString::fromLocal8Bit(probe.hidPath)))
            continue;
        ProbeCaps caps;
        OpenedDapProbe opened;
        QString error;
        if (opened.open(probe, DapTransportChoice::Preferred, error) == SwdOk)
            caps = probeCapabilities(opened.transport());
        else
            caps.error = error;
        const QString firmware = caps.firmware.isEmpty() ? QStringLiteral("-") : caps.firmware;
        QJsonObject entry = describe(probe, caps.firmware);
        entry.insert("kind", "cmsis-dap");
        entry.insert("swd", caps.ok && caps.swd);
        entry.insert("packetCount", caps.packetCount);
        entry.insert("packetSize", caps.packetSize);
        if (!caps.ok)
            entry.insert("error", caps.error);
        list.append(entry);
        lines << QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6")
                     .arg(probe.path(), probe.serial.isEmpty() ? QStringLiteral("-") : probe.serial,
                          probe.product, firmware, probe.transports().join(QLatin1Char('+')),
                          capabilityText(caps));
    }
}

} // namespace

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
    // The station runs the command line in its own process, again and again.
    job::releaseImages(*download);
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

int openDapProbe(Command &c, OpenedDapProbe &opened, QString &error, const QString &transport)
{
    DapTransportChoice choice;
    if (!parseTransportChoice(transport, choice)) {
        error = QCoreApplication::translate("QuorvelCli", "未知传输方式：%1").arg(transport);
        return ExitUsage;
    }
    const QString selector = c.probeSelector();
    for (const DapProbe &probe : listDapProbes()) {
        if (!selector.isEmpty() && !probe.matches(selector))
            continue;
        QJsonObject entry = describe(probe);
        const int code = opened.open(probe, choice, error);
        if (code == SwdOk)
            entry.insert("transport", QString::fromLatin1(opened.transportName()));
        c.report().insert("probe", entry);
        if (code != SwdOk)
            error = QCoreApplication::translate("QuorvelCli", "SWD错误%1：%2").arg(code).arg(error);
        return exitForSwd(code);
    }
    error = selector.isEmpty()
        ? QCoreApplication::translate("QuorvelCli", "未找到CMSIS-DAP烧录器")
        : QCoreApplication::translate("QuorvelCli", "未找到CMSIS-DAP烧录器：%1").arg(selector);
    return 1;
}

void listAllProbes(QJsonArray &list, QStringList &lines)
{
    QStringList vendorPaths;
    for (const ProbeInfo &probe : listProbes()) {
        ChipRecord chip;
        Download d;
        d.chip = &chip;
        const int identified = connectProbeAt(d, probe.path);
        if (identified == 1)
            d.toggleConnection();
        const QString firmware =
            d.probeId ? job::firmwareVersionText(d.probeId) : QStringLiteral("-");
        const QString path = QString::fromLocal8Bit(probe.path);
        // Our USB ids but no answer to the vendor query: a CMSIS-DAP probe of another make.
        if (identified != 1 && d.probeId == 0 && isCmsisDapName(probe.product))
            continue;
        vendorPaths << path;
        QJsonObject entry =
            probeJson(path, probe.serial, probe.product, d.probeId ? firmware : QString());
        entry.insert("kind", "vendor");
        entry.insert("accepted", identified == 1);
        list.append(entry);
        lines << QStringLiteral("%1\t%2\t%3\t%4\t%5")
                     .arg(path, probe.serial.isEmpty() ? QStringLiteral("-") : probe.serial,
                          probe.product, firmware,
                          identified == 1 ? QCoreApplication::translate("QuorvelCli", "可用")
                                          : QCoreApplication::translate("QuorvelCli", "不支持"));
    }
    appendCmsisDapProbes(vendorPaths, list, lines);
}

} // namespace cli
