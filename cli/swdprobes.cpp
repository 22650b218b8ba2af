// Finding CMSIS-DAP probes of any make on the bus, and what each says it can do.
#include "swdcommands.h"

#include "command.h"
#include "swd/swdprogrammer.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <hidapi/hidapi.h>

namespace cli {

namespace {

QString text(const wchar_t *string)
{
    return string ? QString::fromWCharArray(string) : QString();
}

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

} // namespace

bool isCmsisDapProduct(const QString &product)
{
    return product.contains(QLatin1String("CMSIS-DAP"));
}

std::vector<DapProbeInfo> listCmsisDapProbes()
{
    std::vector<DapProbeInfo> probes;
    hid_device_info *devices = hid_enumerate(0, 0);
    for (const hid_device_info *i = devices; i; i = i->next) {
        const QString product = text(i->product_string);
        if (i->path && isCmsisDapProduct(product))
            probes.push_back({QByteArray(i->path), text(i->serial_number), product});
    }
    hid_free_enumeration(devices);
    return probes;
}

void appendCmsisDapProbes(const QStringList &listed, QJsonArray &list, QStringList &lines)
{
    for (const DapProbeInfo &probe : listCmsisDapProbes()) {
        const QString path = QString::fromLocal8Bit(probe.path);
        if (listed.contains(path))
            continue;
        ProbeCaps caps;
        if (hid_device *dev = hid_open_path(probe.path.constData())) {
            caps = probeCapabilities(dev);
            hid_close(dev);
        } else {
            caps.error = QCoreApplication::translate("QuorvelCli", "无法打开");
        }
        const QString firmware = caps.firmware.isEmpty() ? QStringLiteral("-") : caps.firmware;
        QJsonObject entry = probeJson(path, probe.serial, probe.product, caps.firmware);
        entry.insert("kind", "cmsis-dap");
        entry.insert("swd", caps.ok && caps.swd);
        entry.insert("packetCount", caps.packetCount);
        entry.insert("packetSize", caps.packetSize);
        if (!caps.ok)
            entry.insert("error", caps.error);
        list.append(entry);
        lines << QStringLiteral("%1\t%2\t%3\t%4\t%5")
                     .arg(path, probe.serial.isEmpty() ? QStringLiteral("-") : probe.serial,
                          probe.product, firmware, capabilityText(caps));
    }
}

} // namespace cli
