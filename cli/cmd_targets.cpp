// `targets`: the devices the packs describe, or with --target the one device a name picks.
#include "command.h"
#include "connectargs.h"
#include "exitcodes.h"
#include "packargs.h"

#include <QCoreApplication>
#include <QJsonArray>

namespace cli {

namespace {

QString hex(uint32_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

QJsonObject deviceJson(const pack::TargetDescription &d)
{
    QJsonArray memories, algorithms;
    for (const pack::MemoryRegion &m : d.memories)
        memories.append(QJsonObject{{"name", m.name},
                                    {"start", hex(m.start)},
                                    {"size", hex(m.size)},
                                    {"access", m.access},
                                    {"default", m.isDefault},
                                    {"startup", m.startup}});
    for (const pack::FlashAlgorithmRef &a : d.algorithms) {
        QJsonObject o{{"path", a.path},
                      {"start", hex(a.start)},
                      {"size", hex(a.size)},
                      {"default", a.isDefault}};
        if (a.ramStart) {
            o.insert("ramStart", hex(*a.ramStart));
            o.insert("ramSize", hex(*a.ramSize));
        }
        algorithms.append(o);
    }
    return QJsonObject{{"device", d.device},       {"vendor", d.vendor},
                       {"family", d.family},       {"subFamily", d.subFamily},
                       {"core", d.processor.core}, {"pack", d.packId},
                       {"packPath", d.packPath},   {"memories", memories},
                       {"algorithms", algorithms}, {"connect", connectJson(d)}};
}

// One line a device: name, core, its flash ranges (where algorithms program), pack.
QString deviceLine(const pack::TargetDescription &d)
{
    QStringList ranges;
    for (const pack::FlashAlgorithmRef &a : d.algorithms)
        ranges << QStringLiteral("%1+%2").arg(hex(a.start), hex(a.size));
    return QStringLiteral("%1\t%2\t%3\t%4")
        .arg(d.device, d.processor.core.isEmpty() ? QStringLiteral("-") : d.processor.core,
             ranges.isEmpty() ? QStringLiteral("-") : ranges.join(' '), d.packId);
}

} // namespace

int runTargets(const QStringList &arguments)
{
    Command c("targets", QCoreApplication::translate("QuorvelCli", "列出设备包描述的设备。"));
    addPackOptions(c.parser);
    const int parsed = c.parse(arguments, false);
    if (parsed >= 0)
        return parsed;

    pack::TargetCatalog catalog;
    QString error;
    if (!loadPacks(c.parser, catalog, error))
        return c.fail(ExitInputFile, error);

    QVector<const pack::TargetDescription *> shown = catalog.devices();
    if (c.parser.isSet("target")) {
        const pack::TargetCatalog::Resolution r = catalog.resolve(c.parser.value("target"));
        if (!r.device) {
            c.report().insert("candidates", QJsonArray::fromStringList(r.candidates));
            return c.fail(ExitUsage, r.message);
        }
        shown = {r.device};
    }
    QJsonArray list;
    QStringList lines;
    for (const pack::TargetDescription *d : shown) {
        list.append(deviceJson(*d));
        lines << deviceLine(*d);
        // One device asked for by name: how it is connected and reset too.
        if (c.parser.isSet("target"))
            lines << connectSummary(*d);
    }
    c.report().insert("targets", list);
    return c.finish(ExitOk, lines.join('\n'));
}

} // namespace cli
