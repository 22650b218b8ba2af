// Streaming .pdsc parser: builds the device tree, then resolves each listed device down its chain.
#include "pdscparser.h"

#include <QCoreApplication>
#include <algorithm>

namespace pack::detail {

namespace {

void mergeProcessor(const ProcessorAttributes &lower, ProcessorAttributes &into)
{
    auto take = [](const QString &value, QString &field) {
        if (!value.isEmpty())
            field = value;
    };
    take(lower.core, into.core);
    take(lower.fpu, into.fpu);
    take(lower.mpu, into.mpu);
    take(lower.endian, into.endian);
    if (lower.clockGiven) {
        into.clock = lower.clock;
        into.clockGiven = true;
    }
    if (lower.ap)
        into.ap = lower.ap;
    if (lower.apid)
        into.apid = lower.apid;
}

Processor processorOf(const ProcessorAttributes &p)
{
    Processor out;
    out.pname = p.pname;
    out.core = p.core;
    out.fpu = p.fpu;
    out.mpu = p.mpu;
    out.endian = p.endian;
    out.clock = p.clock;
    out.ap = p.ap;
    out.apid = p.apid;
    return out;
}

} // namespace

bool Parser::readChild(int self)
{
    const QStringRef child = m_xml.name();
    // Properties go straight into the node; m_nodes may grow meanwhile, so index it anew.
    if (child == QLatin1String("processor"))
        return readProcessor(m_nodes[self]);
    if (child == QLatin1String("debug"))
        return readDebug(m_nodes[self]);
    if (child == QLatin1String("memory"))
        return readMemory(m_nodes[self]);
    if (child == QLatin1String("algorithm"))
        return readAlgorithm(m_nodes[self]);
    if (child == QLatin1String("accessportV1") || child == QLatin1String("accessportV2")
        || child == QLatin1String("flashinfo") || child == QLatin1String("datapatch")
        || child == QLatin1String("uniqueid")) {
        keepElement(m_nodes[self]);
        return true;
    }
    // The debug sequences and their variables are parsed by the debug layer's own reader.
    if (child == QLatin1String("sequences") || child == QLatin1String("debugvars"))
        return readDebugDescription(m_nodes[self]);
    m_xml.skipCurrentElement();
    return true;
}

// Reads one level's element (already at its start) with its properties and sub-levels. A property
// it cannot take refuses this level (and what inherits from it), not the whole description.
bool Parser::readLevel(Node::Kind kind, int parent)
{
    static const char *const kNameAttribute[] = {"Dfamily", "DsubFamily", "Dname", "Dvariant"};
    const QString element = m_xml.name().toString();
    Node node;
    node.kind = kind;
    node.parent = parent;
    node.line = int(m_xml.lineNumber());
    node.name = m_xml.attributes().value(QLatin1String(kNameAttribute[kind])).toString().trimmed();
    node.vendor = m_xml.attributes().value(QLatin1String("Dvendor")).toString();
    if (node.name.isEmpty())
        return fail(element,
                    QCoreApplication::translate("Pack", "缺少属性%1")
                        .arg(QLatin1String(kNameAttribute[kind])));
    if (m_nodes.size() >= kMaxDevices * 2)
        return fail(element, QCoreApplication::translate("Pack", "条目过多"));
    const int self = m_nodes.size();
    m_nodes << node;
    if (kind == Node::Variant)
        m_nodes[parent].hasVariants = true;

    while (m_xml.readNextStartElement()) {
        const QStringRef child = m_xml.name();
        std::optional<Node::Kind> level;
        if (child == QLatin1String("subFamily") && kind == Node::Family)
            level = Node::SubFamily;
        else if (child == QLatin1String("device")
                 && (kind == Node::Family || kind == Node::SubFamily))
            level = Node::Device;
        else if (child == QLatin1String("variant") && kind == Node::Device)
            level = Node::Variant;
        if (level) {
            if (!readLevel(*level, self))
                return false;
            continue;
        }
        if (readChild(self))
            continue;
        if (m_xml.hasError())
            return false;
        if (m_nodes[self].refusal.isEmpty())
            m_nodes[self].refusal = m_error;
        m_error.clear();
        if (m_xml.isStartElement())
            m_xml.skipCurrentElement();
    }
    return !m_xml.hasError();
}

bool Parser::resolve(int leaf, PackContents &out)
{
    QVector<int> chain;
    for (int at = leaf; at >= 0; at = m_nodes[at].parent)
        chain.prepend(at);
    TargetDescription d;
    QVector<ProcessorAttributes> processors;
    QString refusal;
    for (int at : chain) {
        const Node &n = m_nodes[at];
        DebugDescription lower = n.debug;
        lower.inherit(d.debug);
        d.debug = std::move(lower);
        if (refusal.isEmpty())
            refusal = n.refusal;
        if (!n.vendor.isEmpty())
            d.vendor = n.vendor.section(QLatin1Char(':'), 0, 0);
        if (n.kind == Node::Family)
            d.family = n.name;
        else if (n.kind == Node::SubFamily)
            d.subFamily = n.name;
        for (const ProcessorAttributes &p : n.processors) {
            auto same = std::find_if(processors.begin(), processors.end(), [&p](const auto &o) {
                return o.pname.compare(p.pname, Qt::CaseInsensitive) == 0;
            });
            if (same == processors.end())
                processors << p;
            else
                mergeProcessor(p, *same);
        }
        for (const MemoryRegion &m : n.memories) {
            auto same = std::find_if(d.memories.begin(), d.memories.end(), [&m](const auto &o) {
                return o.name == m.name && o.pname == m.pname;
            });
            if (same != d.memories.end())
                *same = m;
            else
                d.memories << m;
        }
        for (const FlashAlgorithmRef &a : n.algorithms) {
            auto same = std::find_if(d.algorithms.begin(), d.algorithms.end(),
                                     [&a](const auto &o) { return sameAlgorithm(o, a); });
            if (same != d.algorithms.end())
                *same = a;
            else
                d.algorithms << a;
        }
        d.elements += n.elements;
    }
    const QString name = m_nodes[leaf].name;
    if (!refusal.isEmpty()) {
        out.refused << PackContents::Refusal{name, refusal};
        return true;
    }
    m_resolvedEntries += d.memories.size() + d.algorithms.size() + d.elements.size() + 1;
    if (m_resolvedEntries > kMaxResolvedEntries || out.devices.size() >= kMaxDevices) {
        m_error = QCoreApplication::translate("Pack", "%1：设备或条目过多").arg(m_file);
        return false;
    }
    // What a level says of the core it does not name holds for every named core.
    auto unnamed = std::find_if(processors.begin(), processors.end(),
                                [](const auto &p) { return p.pname.isEmpty(); });
    if (unnamed != processors.end() && processors.size() > 1) {
        const ProcessorAttributes common = *unnamed;
        processors.erase(unnamed);
        for (ProcessorAttributes &p : processors) {
            ProcessorAttributes merged = common;
            merged.pname = p.pname;
            mergeProcessor(p, merged);
            p = merged;
        }
    }
    for (const ProcessorAttributes &p : processors)
        d.processors << processorOf(p);
    for (const MemoryRegion &m : d.memories) {
        if (m.startup && !m.pname.isEmpty() && d.bootCore.isEmpty())
            d.bootCore = m.pname;
    }
    if (d.bootCore.isEmpty() && !d.processors.isEmpty())
        d.bootCore = d.processors.front().pname;
    for (const Processor &p : d.processors) {
        if (p.pname.compare(d.bootCore, Qt::CaseInsensitive) == 0)
            d.processor = p;
    }
    d.device = name;
    d.line = m_nodes[leaf].line;
    d.descriptionFile = m_file;
    d.packId = out.packId;
    d.packPath = out.path;
    out.devices << d;
    return true;
}

bool Parser::run(PackContents &out, QString &error)
{
    bool sawPackage = false;
    while (!m_xml.atEnd() && m_error.isEmpty()) {
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        // Entity declarations are how XML grows without bound; a pack has no use for them.
        if (token == QXmlStreamReader::DTD) {
            fail(QStringLiteral("!DOCTYPE"), QCoreApplication::translate("Pack", "不接受DTD"));
            break;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringRef name = m_xml.name();
        if (!sawPackage) {
            if (name != QLatin1String("package")) {
                fail(name.toString(),
                     QCoreApplication::translate("Pack", "不是包描述文件（根元素应为package）"));
                break;
            }
            sawPackage = true;
        } else if (name == QLatin1String("vendor") && m_vendor.isEmpty()) {
            m_vendor = m_xml.readElementText().trimmed();
        } else if (name == QLatin1String("name") && m_name.isEmpty()) {
            m_name = m_xml.readElementText().trimmed();
        } else if (name == QLatin1String("release") && m_version.isEmpty()) {
            m_version = m_xml.attributes().value(QLatin1String("version")).toString();
            m_xml.skipCurrentElement();
        } else if (name == QLatin1String("family")) {
            if (!readLevel(Node::Family, -1))
                break;
        } else if (name != QLatin1String("devices") && name != QLatin1String("releases")) {
            m_xml.skipCurrentElement();
        }
    }
    if (m_error.isEmpty() && m_xml.hasError())
        m_error = QCoreApplication::translate("Pack", "%1 第%2行：XML错误：%3")
                      .arg(m_file, QString::number(m_xml.lineNumber()), m_xml.errorString());
    if (!m_error.isEmpty()) {
        error = m_error;
        return false;
    }
    out.packId = QStringList{m_vendor, m_name, m_version}.join(QLatin1Char('.'));
    out.vendor = m_vendor;
    out.name = m_name;
    out.version = m_version;
    out.devices.clear();
    out.refused.clear();
    for (int i = 0; i < m_nodes.size(); ++i) {
        const Node &n = m_nodes[i];
        const bool listed = n.kind == Node::Variant || (n.kind == Node::Device && !n.hasVariants);
        if (listed && !resolve(i, out)) {
            error = m_error;
            return false;
        }
    }
    return true;
}

} // namespace pack::detail
