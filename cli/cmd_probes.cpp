// `probes`: every connected probe, one line each, with the window's firmware gate; CMSIS-DAP probes
// of other makes follow with what they can do.
#include "command.h"
#include "exitcodes.h"
#include "swdcommands.h"

#include "engine/chiprecord.h"
#include "engine/download.h"
#include "job/chipmodels.h"
#include "probe/probelist.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <cstdio>

namespace cli {

namespace { } // namespace

int runProbes(const QStringList &arguments)
{
    Command c("probes", QCoreApplication::translate("QuorvelCli", "列出连接的烧录器。"));
    const int parsed = c.parse(arguments, false);
    if (parsed >= 0)
        return parsed;

    QJsonArray list;
    QStringList lines, vendorPaths;
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
        if (identified != 1 && d.probeId == 0 && isCmsisDapProduct(probe.product))
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
    c.report().insert("probes", list);
    if (list.isEmpty())
        return c.fail(1, QCoreApplication::translate("QuorvelCli", "未找到烧录器"));
    return c.finish(ExitOk, lines.join('\n'));
}

} // namespace cli
