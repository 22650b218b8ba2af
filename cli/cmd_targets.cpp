// `targets`: the devices the packs describe, or with --target the one device a name picks: its
// cores, and each algorithm's range, role and what a full erase does with it.
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

QString coreText(const pack::TargetDescription &d)
{
    if (d.processors.size() <= 1)
        return d.processor.core.isEmpty() ? QStringLiteral("-") : d.processor.core;
    QStringList cores;
    for (const pack::Processor &p : d.processors)
        cores << QStringLiteral("%1:%2").arg(p.pname, p.core);
    return cores.join(',');
}

QJsonObject deviceJson(const pack::TargetDescription &d)
{
    QJsonArray memories, algorithms, cores;
    for (const pack::MemoryRegion &m : d.memories) {
        QJsonObject o{{"name", m.name},     {"start", hex(m.start)},  {"size", hex(m.size)},
                      {"access", m.access}, {"default", m.isDefault}, {"startup", m.startup}};
        if (!m.pname.isEmpty())
            o.insert("core", m.pname);
        if (!m.alias.isEmpty())
            o.insert("alias", m.alias);
        memories.append(o);
    }
    for (const pack::FlashAlgorithmRef &a : d.algorithms) {
        QJsonObject o{{"path", a.path},         {"name", pack::algorithmName(a)},
                      {"start", hex(a.start)},  {"size", hex(a.size)},
                      {"default", a.isDefault}, {"runnable", pack::runnableStyle(a)}};
        if (a.ramStart) {
            o.insert("ramStart", hex(*a.ramStart));
            o.insert("ramSize", hex(*a.ramSize));
        }
        if (!a.pname.isEmpty())
            o.insert("core", a.pname);
        if (!a.style.isEmpty())
            o.insert("style", a.style);
        algorithms.append(o);
    }
    for (const pack::Processor &p : d.processors) {
        QJsonObject o{{"name", p.pname}, {"core", p.core}, {"boot", p.pname == d.bootCore}};
        if (p.ap)
            o.insert("ap", int(*p.ap));
        if (p.apid)
            o.insert("apid", int(*p.apid));
        cores.append(o);
    }
    return QJsonObject{
        {"device", d.device},       {"vendor", d.vendor},       {"family", d.family},
        {"subFamily", d.subFamily}, {"core", d.processor.core}, {"cores", cores},
        {"pack", d.packId},         {"packPath", d.packPath},   {"memories", memories},
        {"algorithms", algorithms}, {"connect", connectJson(d)}};
}

// One line a device: name, cores, its flash ranges (where algorithms program), pack.
QString deviceLine(const pack::TargetDescription &d)
{
    QStringList ranges;
    for (const pack::FlashAlgorithmRef &a : d.algorithms)
        ranges << QStringLiteral("%1+%2").arg(hex(a.start), hex(a.size));
    return QStringLiteral("%1\t%2\t%3\t%4")
        .arg(d.device, coreText(d), ranges.isEmpty() ? QStringLiteral("-") : ranges.join(' '),
             d.packId);
}

} // namespace

int runTargets(const QStringList &arguments)
{
    Command c("targets", QCoreApplication::translate("QuorvelCli", "列出设备包描述的设备。"));
    addPackOptions(c.parser);
    c.parser.addOption(
        {"check", QCoreApplication::translate("QuorvelCli", "检查包中的每个烧写算法。")});
    const int parsed = c.parse(arguments, false);
    if (parsed >= 0)
        return parsed;

    pack::TargetCatalog catalog;
    QString error;
    if (!loadPacks(c.parser, catalog, error))
        return c.fail(ExitInputFile, error);

    QVector<const pack::TargetDescription *> shown = catalog.devices();
    pack::TargetDescription chosen;
    if (c.parser.isSet("target")) {
        const pack::TargetCatalog::Resolution r = catalog.resolve(c.parser.value("target"));
        if (!r.device) {
            c.report().insert("candidates", QJsonArray::fromStringList(r.candidates));
            return c.fail(ExitUsage, r.message);
        }
        chosen = *r.device;
        if (!pack::selectCore(chosen, c.parser.value("core"), error))
            return c.fail(ExitUsage, error);
        shown = {&chosen};
    }
    QJsonArray list;
    QStringList lines;
    for (const pack::TargetDescription *d : shown) {
        QJsonObject json = deviceJson(*d);
        lines << deviceLine(*d);
        if (d == &chosen) {
            if (const int status = describeAlgorithms(chosen, {}, c.parser.values("algorithm"),
                                                      json, lines, error))
                return c.fail(status, error);
            // How it is connected and reset too.
            lines << QStringLiteral("  ") + connectSummary(*d);
        }
        list.append(json);
    }
    c.report().insert("targets", list);
    if (c.parser.isSet("check")) {
        QStringList problems;
        for (const pack::PackContents &p : catalog.packs()) {
            if (catalog.inUse(p) && (!c.parser.isSet("target") || p.path == chosen.packPath))
                problems += pack::checkAlgorithms(p, pack::PackLimits());
        }
        c.report().insert("problems", QJsonArray::fromStringList(problems));
        if (!problems.isEmpty()) {
            c.data(lines.join('\n'));
            for (const QString &problem : problems)
                Command::warn(problem);
            return c.finish(ExitInputFile,
                            QCoreApplication::translate("QuorvelCli", "%1个烧写算法有问题")
                                .arg(problems.size()));
        }
    }
    return c.finish(ExitOk, lines.join('\n'));
}

} // namespace cli
