// Finding CMSIS-DAP probes of any make on the bus, opening the chosen one, and what each says it
// can do.
#include "command.h"
#include "exitcodes.h"
#include "swdcommands.h"

#include "swd/dapprobes.h"
#include "swd/swdprogrammer.h"

#include <QCoreApplication>
#include <QJsonObject>

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

QJsonObject describe(const DapProbe &probe)
{
    return QJsonObject{{"kind", "cmsis-dap"},
                       {"path", probe.path()},
                       {"serial", probe.serial},
                       {"product", probe.product},
                       {"transports", QJsonArray::fromStringList(probe.transports())}};
}

} // namespace

bool isCmsisDapProduct(const QString &product)
{
    return isCmsisDapName(product);
}

int openDapProbe(Command &c, OpenedDapProbe &opened, QString &error)
{
    DapTransportChoice choice;
    if (!parseTransportChoice(c.parser.value("transport"), choice)) {
        error = QCoreApplication::translate("QuorvelCli", "未知传输方式：%1")
                    .arg(c.parser.value("transport"));
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
        QJsonObject entry = describe(probe);
        entry.insert("firmware", firmware);
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

} // namespace cli
