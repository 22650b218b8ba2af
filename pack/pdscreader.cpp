// Streaming .pdsc parser: builds the device tree, then resolves each listed device down its chain.
#include "pdscreader.h"

#include "debugsequences.h"
#include "flmdescriptor.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>
#include <QXmlStreamReader>
#include <algorithm>
#include <optional>

namespace pack {

namespace {

// A hostile description could otherwise multiply a few family entries by many devices.
constexpr int kMaxEntriesPerLevel = 256;
constexpr qint64 kMaxResolvedEntries = 2000000;
constexpr int kMaxDevices = 200000;

struct ProcessorAttributes
{
    QString core, fpu, mpu, endian;
    uint32_t clock = 0; // Hz
    bool clockGiven = false;
};

struct Node
{
    enum Kind { Family, SubFamily, Device, Variant };
    Kind kind = Family;
    QString name, vendor;
    int parent = -1;
    bool hasVariants = false;
    ProcessorAttributes processor;
    QVector<MemoryRegion> memories;
    QVector<FlashAlgorithmRef> algorithms;
    DebugDescription debug;
};

class Parser
{
public:
    Parser(const QByteArray &xml, const QString &fileName)
        : m_xml(xml)
        , m_file(fileName)
    { }

    bool run(PackContents &out, QString &error);

private:
    bool fail(const QString &element, const QString &why)
    {
        if (m_error.isEmpty())
            m_error = QCoreApplication::translate("Pack", "%1 第%2行 <%3>：%4")
                          .arg(m_file)
                          .arg(m_xml.lineNumber())
                          .arg(element, why);
        return false;
    }
    bool number(const QString &element, const QString &attribute, bool required, uint32_t &value,
                bool &present);
    bool flag(const QString &element, const QString &attribute, bool &value);
    bool readLevel(Node::Kind kind, int parent);
    bool readProcessor(Node &node);
    bool readMemory(Node &node);
    bool readAlgorithm(Node &node);
    bool readDebugDescription(Node &node)
    {
        const QString element = m_xml.name().toString();
        QString why;
        const bool ok = element == QLatin1String("sequences")
            ? readSequences(m_xml, node.debug.sequences, why)
            : element == QLatin1String("debug") ? readDebugElement(m_xml, node.debug, why)
                                                : readDebugVars(m_xml, node.debug.debugvars, why);
        return ok || fail(m_xml.name().toString(), why);
    }
    bool resolve(int leaf, PackContents &out);

    QXmlStreamReader m_xml;
    QString m_file;
    QString m_error;
    QVector<Node> m_nodes;
    QString m_vendor, m_name, m_version;
    qint64 m_resolvedEntries = 0;
};

bool Parser::number(const QString &element, const QString &attribute, bool required,
                    uint32_t &value, bool &present)
{
    const QStringRef text = m_xml.attributes().value(attribute);
    present = !text.isNull();
    if (!present) {
        if (required)
            return fail(element, QCoreApplication::translate("Pack", "缺少属性%1").arg(attribute));
        return true;
    }
    const QString t = text.trimmed().toString();
    bool ok = false;
    qulonglong v = 0;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = t.midRef(2).toULongLong(&ok, 16);
    else
        v = t.toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull)
        return fail(element,
                    QCoreApplication::translate("Pack", "属性%1的值无效：%2")
                        .arg(attribute, text.toString()));
    value = uint32_t(v);
    return true;
}

bool Parser::flag(const QString &element, const QString &attribute, bool &value)
{
    const QStringRef text = m_xml.attributes().value(attribute);
    if (text.isNull())
        return true;
    if (text == QLatin1String("1") || text == QLatin1String("true"))
        value = true;
    else if (text == QLatin1String("0") || text == QLatin1String("false"))
        value = false;
    else
        return fail(element,
                    QCoreApplication::translate("Pack", "属性%1的值无效：%2")
                        .arg(attribute, text.toString()));
    return true;
}

bool Parser::readProcessor(Node &node)
{
    const QXmlStreamAttributes a = m_xml.attributes();
    auto take = [&a](const char *name, QString &field) {
        if (a.hasAttribute(QLatin1String(name)))
            field = a.value(QLatin1String(name)).toString();
    };
    take("Dcore", node.processor.core);
    take("Dfpu", node.processor.fpu);
    take("Dmpu", node.processor.mpu);
    take("Dendian", node.processor.endian);
    uint32_t clock = 0;
    bool present = false;
    if (!number(QStringLiteral("processor"), QStringLiteral("Dclock"), false, clock, present))
        return false;
    if (present) {
        node.processor.clock = clock;
        node.processor.clockGiven = true;
    }
    m_xml.skipCurrentElement();
    return true;
}

bool Parser::readMemory(Node &node)
{
    const QString element = QStringLiteral("memory");
    MemoryRegion m;
    const QXmlStreamAttributes a = m_xml.attributes();
    m.name = a.value(QLatin1String("name")).toString();
    const QString id = a.value(QLatin1String("id")).toString();
    if (m.name.isEmpty())
        m.name = id;
    if (m.name.isEmpty())
        return fail(element,
                    QCoreApplication::translate("Pack", "缺少属性%1").arg(QStringLiteral("name")));
    bool present = false;
    if (!number(element, QStringLiteral("start"), true, m.start, present)
        || !number(element, QStringLiteral("size"), true, m.size, present))
        return false;
    if (m.size == 0 || m.end() > 0x100000000ull)
        return fail(
            element,
            QCoreApplication::translate("Pack", "%1：范围超出32位地址空间或为空").arg(m.name));
    m.access = a.value(QLatin1String("access")).toString();
    // The older id names the kind: IROMn is read-only code, IRAMn read-write data.
    if (m.access.isEmpty())
        m.access =
            id.startsWith(QLatin1String("IROM")) ? QStringLiteral("rx") : QStringLiteral("rwx");
    if (!flag(element, QStringLiteral("default"), m.isDefault)
        || !flag(element, QStringLiteral("startup"), m.startup))
        return false;
    if (node.memories.size() >= kMaxEntriesPerLevel)
        return fail(element, QCoreApplication::translate("Pack", "条目过多"));
    for (MemoryRegion &inherited : node.memories) {
        if (inherited.name == m.name) {
            inherited = m;
            m_xml.skipCurrentElement();
            return true;
        }
    }
    node.memories << m;
    m_xml.skipCurrentElement();
    return true;
}

bool Parser::readAlgorithm(Node &node)
{
    const QString element = QStringLiteral("algorithm");
    FlashAlgorithmRef algo;
    const QString name = m_xml.attributes().value(QLatin1String("name")).toString();
    if (name.isEmpty())
        return fail(element,
                    QCoreApplication::translate("Pack", "缺少属性%1").arg(QStringLiteral("name")));
    algo.path = safeMemberPath(name);
    if (algo.path.isEmpty() || algo.path.endsWith(QLatin1Char('/')))
        return fail(element, QCoreApplication::translate("Pack", "路径不在包内：%1").arg(name));
    bool present = false, ramStartGiven = false, ramSizeGiven = false;
    uint32_t ramStart = 0, ramSize = 0;
    if (!number(element, QStringLiteral("start"), true, algo.start, present)
        || !number(element, QStringLiteral("size"), true, algo.size, present)
        || !number(element, QStringLiteral("RAMstart"), false, ramStart, ramStartGiven)
        || !number(element, QStringLiteral("RAMsize"), false, ramSize, ramSizeGiven)
        || !flag(element, QStringLiteral("default"), algo.isDefault))
        return false;
    if (algo.size == 0 || algo.end() > 0x100000000ull)
        return fail(
            element,
            QCoreApplication::translate("Pack", "%1：范围超出32位地址空间或为空").arg(name));
    if (ramStartGiven != ramSizeGiven || (ramSizeGiven && ramSize == 0)
        || uint64_t(ramStart) + ramSize > 0x100000000ull)
        return fail(element,
                    QCoreApplication::translate("Pack", "%1：RAMstart/RAMsize无效").arg(name));
    if (ramStartGiven) {
        algo.ramStart = ramStart;
        algo.ramSize = ramSize;
    }
    if (node.algorithms.size() >= kMaxEntriesPerLevel)
        return fail(element, QCoreApplication::translate("Pack", "条目过多"));
    for (FlashAlgorithmRef &inherited : node.algorithms) {
        if (inherited.path.compare(algo.path, Qt::CaseInsensitive) == 0) {
            inherited = algo;
            m_xml.skipCurrentElement();
            return true;
        }
    }
    node.algorithms << algo;
    m_xml.skipCurrentElement();
    return true;
}

// Reads one level's element (already at its start) with its properties and sub-levels.
bool Parser::readLevel(Node::Kind kind, int parent)
{
    static const char *const kNameAttribute[] = {"Dfamily", "DsubFamily", "Dname", "Dvariant"};
    const QString element = m_xml.name().toString();
    Node node;
    node.kind = kind;
    node.parent = parent;
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
        bool ok = true;
        // Properties go straight into the node; m_nodes may grow meanwhile, so index it anew.
        if (child == QLatin1String("processor"))
            ok = readProcessor(m_nodes[self]);
        else if (child == QLatin1String("memory"))
            ok = readMemory(m_nodes[self]);
        else if (child == QLatin1String("algorithm"))
            ok = readAlgorithm(m_nodes[self]);
        else if (child == QLatin1String("sequences") || child == QLatin1String("debugvars")
                 || child == QLatin1String("debug"))
            ok = readDebugDescription(m_nodes[self]);
        else if (child == QLatin1String("subFamily") && kind == Node::Family)
            ok = readLevel(Node::SubFamily, self);
        else if (child == QLatin1String("device")
                 && (kind == Node::Family || kind == Node::SubFamily))
            ok = readLevel(Node::Device, self);
        else if (child == QLatin1String("variant") && kind == Node::Device)
            ok = readLevel(Node::Variant, self);
        else
            m_xml.skipCurrentElement();
        if (!ok || m_xml.hasError())
            return false;
    }
    return !m_xml.hasError();
}

bool Parser::resolve(int leaf, PackContents &out)
{
    QVector<int> chain;
    for (int at = leaf; at >= 0; at = m_nodes[at].parent)
        chain.prepend(at);
    TargetDescription d;
    ProcessorAttributes processor;
    for (int at : chain) {
        const Node &n = m_nodes[at];
        DebugDescription lower = n.debug;
        lower.inherit(d.debug);
        d.debug = std::move(lower);
        if (!n.vendor.isEmpty())
            d.vendor = n.vendor.section(QLatin1Char(':'), 0, 0);
        if (n.kind == Node::Family)
            d.family = n.name;
        else if (n.kind == Node::SubFamily)
            d.subFamily = n.name;
        auto take = [](const QString &lower, QString &field) {
            if (!lower.isEmpty())
                field = lower;
        };
        take(n.processor.core, processor.core);
        take(n.processor.fpu, processor.fpu);
        take(n.processor.mpu, processor.mpu);
        take(n.processor.endian, processor.endian);
        if (n.processor.clockGiven)
            processor.clock = n.processor.clock;
        for (const MemoryRegion &m : n.memories) {
            auto same = std::find_if(d.memories.begin(), d.memories.end(),
                                     [&m](const MemoryRegion &o) { return o.name == m.name; });
            if (same != d.memories.end())
                *same = m;
            else
                d.memories << m;
        }
        for (const FlashAlgorithmRef &a : n.algorithms) {
            auto same = std::find_if(d.algorithms.begin(), d.algorithms.end(), [&a](const auto &o) {
                return o.path.compare(a.path, Qt::CaseInsensitive) == 0;
            });
            if (same != d.algorithms.end())
                *same = a;
            else
                d.algorithms << a;
        }
    }
    m_resolvedEntries += d.memories.size() + d.algorithms.size() + 1;
    if (m_resolvedEntries > kMaxResolvedEntries || out.devices.size() >= kMaxDevices) {
        m_error = QCoreApplication::translate("Pack", "%1：设备或条目过多").arg(m_file);
        return false;
    }
    d.device = m_nodes[leaf].name;
    d.processor.core = processor.core;
    d.processor.fpu = processor.fpu;
    d.processor.mpu = processor.mpu;
    d.processor.endian = processor.endian;
    d.processor.clock = processor.clock;
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
                      .arg(m_file)
                      .arg(m_xml.lineNumber())
                      .arg(m_xml.errorString());
    if (!m_error.isEmpty()) {
        error = m_error;
        return false;
    }
    out.packId = QStringList{m_vendor, m_name, m_version}.join(QLatin1Char('.'));
    out.devices.clear();
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

} // namespace

bool parseDescription(const QByteArray &xml, const QString &fileName, PackContents &out,
                      QString &error)
{
    return Parser(xml, fileName).run(out, error);
}

bool readPack(const QString &path, const PackLimits &limits, PackContents &out, QString &error)
{
    std::unique_ptr<PackSource> source = PackSource::open(path, limits, error);
    if (!source)
        return false;
    const QString description = source->descriptionName(error);
    if (description.isEmpty())
        return false;
    QByteArray xml;
    if (!source->read(description, limits.maxDescriptionBytes, xml, error))
        return false;
    out.path = path;
    out.descriptionFile = description;
    if (!parseDescription(xml, description, out, error))
        return false;
    QSet<QString> checked;
    for (const TargetDescription &d : qAsConst(out.devices)) {
        for (const FlashAlgorithmRef &a : d.algorithms) {
            if (checked.contains(a.path))
                continue;
            checked.insert(a.path);
            if (!source->contains(a.path)) {
                error = QCoreApplication::translate("Pack", "%1：<algorithm> %2：文件不在包中")
                            .arg(description, a.path);
                return false;
            }
        }
    }
    return true;
}

bool loadAlgorithms(TargetDescription &device, const PackLimits &limits, QString &error)
{
    std::unique_ptr<PackSource> source = PackSource::open(device.packPath, limits, error);
    if (!source)
        return false;
    std::optional<uint8_t> common;
    bool agree = true;
    for (FlashAlgorithmRef &a : device.algorithms) {
        if (!source->read(a.path, limits.maxAlgorithmBytes, a.image, error))
            return false;
        FlmDescriptor descriptor;
        QString why;
        if (!readFlmDescriptor(a.image, descriptor, why)) {
            error =
                QCoreApplication::translate("Pack", "%1：不是有效的烧写算法：%2").arg(a.path, why);
            return false;
        }
        a.erasedValue = descriptor.erasedValue;
        if (common && *common != descriptor.erasedValue)
            agree = false;
        common = descriptor.erasedValue;
    }
    if (agree && common)
        device.erasedValue = common;
    return true;
}

} // namespace pack
