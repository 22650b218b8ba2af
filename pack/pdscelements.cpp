// The property elements of a device level: processor, debug, memory, algorithm, and the ones kept
// as written for the layers that use them.
#include "pdscparser.h"

#include <QCoreApplication>

namespace pack::detail {

namespace {

ProcessorAttributes &processorNamed(Node &node, const QString &pname)
{
    for (ProcessorAttributes &p : node.processors) {
        if (p.pname.compare(pname, Qt::CaseInsensitive) == 0)
            return p;
    }
    node.processors.append(ProcessorAttributes());
    node.processors.back().pname = pname;
    return node.processors.back();
}

} // namespace

bool Parser::fail(const QString &element, const QString &why)
{
    if (m_error.isEmpty())
        m_error = QCoreApplication::translate("Pack", "%1 第%2行 <%3>：%4")
                      .arg(m_file, QString::number(m_xml.lineNumber()), element, why);
    return false;
}

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
    uint32_t clock = 0;
    bool present = false;
    if (!number(QStringLiteral("processor"), QStringLiteral("Dclock"), false, clock, present))
        return false;
    if (node.processors.size() >= kMaxEntriesPerLevel)
        return fail(QStringLiteral("processor"), QCoreApplication::translate("Pack", "条目过多"));
    ProcessorAttributes &p = processorNamed(node, a.value(QLatin1String("Pname")).toString());
    auto take = [&a](const char *name, QString &field) {
        if (a.hasAttribute(QLatin1String(name)))
            field = a.value(QLatin1String(name)).toString();
    };
    take("Dcore", p.core);
    take("Dfpu", p.fpu);
    take("Dmpu", p.mpu);
    take("Dendian", p.endian);
    if (present) {
        p.clock = clock;
        p.clockGiven = true;
    }
    m_xml.skipCurrentElement();
    return true;
}

bool Parser::readDebug(Node &node)
{
    const QString element = QStringLiteral("debug");
    uint32_t ap = 0, apid = 0;
    bool apGiven = false, apidGiven = false;
    if (!number(element, QStringLiteral("__ap"), false, ap, apGiven)
        || !number(element, QStringLiteral("__apid"), false, apid, apidGiven))
        return false;
    if (node.processors.size() >= kMaxEntriesPerLevel)
        return fail(element, QCoreApplication::translate("Pack", "条目过多"));
    ProcessorAttributes &p =
        processorNamed(node, m_xml.attributes().value(QLatin1String("Pname")).toString());
    if (apGiven)
        p.ap = ap;
    if (apidGiven)
        p.apid = apid;
    const QString reset =
        m_xml.attributes().value(QLatin1String("defaultResetSequence")).trimmed().toString();
    if (!reset.isEmpty())
        node.debug.defaultResetSequence = reset;
    m_xml.skipCurrentElement();
    return true;
}

bool Parser::readMemory(Node &node)
{
    const QString element = QStringLiteral("memory");
    MemoryRegion m;
    m.line = int(m_xml.lineNumber());
    const QXmlStreamAttributes a = m_xml.attributes();
    m.name = a.value(QLatin1String("name")).toString();
    const QString id = a.value(QLatin1String("id")).toString();
    if (m.name.isEmpty())
        m.name = id;
    if (m.name.isEmpty())
        return fail(element,
                    QCoreApplication::translate("Pack", "缺少属性%1").arg(QStringLiteral("name")));
    m.pname = a.value(QLatin1String("Pname")).toString();
    m.alias = a.value(QLatin1String("alias")).toString();
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
        || !flag(element, QStringLiteral("startup"), m.startup) || !readWindow(m))
        return false;
    if (node.memories.size() >= kMaxEntriesPerLevel)
        return fail(element, QCoreApplication::translate("Pack", "条目过多"));
    m_xml.skipCurrentElement();
    for (MemoryRegion &inherited : node.memories) {
        if (inherited.name == m.name && inherited.pname == m.pname) {
            inherited = m;
            return true;
        }
    }
    node.memories << m;
    return true;
}

// A chip fact the standard attributes cannot say: the memory is read through a switched window.
// All four attributes or none.
bool Parser::readWindow(MemoryRegion &m)
{
    const QString element = QStringLiteral("memory");
    ReadWindow w;
    bool at = false, reg = false, show = false, hide = false;
    if (!number(element, QStringLiteral("windowAt"), false, w.base, at)
        || !number(element, QStringLiteral("windowRegister"), false, w.selectRegister, reg)
        || !number(element, QStringLiteral("windowShow"), false, w.show, show)
        || !number(element, QStringLiteral("windowHide"), false, w.hide, hide))
        return false;
    if (!at && !reg && !show && !hide)
        return true;
    if (!(at && reg && show && hide))
        return fail(element,
                    QCoreApplication::translate(
                        "Pack", "%1：windowAt、windowRegister、windowShow、windowHide须一并给出")
                        .arg(m.name));
    if (uint64_t(w.base) + m.size > 0x100000000ull || w.selectRegister % 4)
        return fail(element, QCoreApplication::translate("Pack", "%1：读取窗口无效").arg(m.name));
    m.readWindow = w;
    return true;
}

bool Parser::readAlgorithm(Node &node)
{
    const QString element = QStringLiteral("algorithm");
    FlashAlgorithmRef algo;
    algo.line = int(m_xml.lineNumber());
    const QString name = m_xml.attributes().value(QLatin1String("name")).toString();
    if (name.isEmpty())
        return fail(element,
                    QCoreApplication::translate("Pack", "缺少属性%1").arg(QStringLiteral("name")));
    algo.path = safeMemberPath(name);
    if (algo.path.isEmpty() || algo.path.endsWith(QLatin1Char('/')))
        return fail(element, QCoreApplication::translate("Pack", "路径不在包内：%1").arg(name));
    algo.pname = m_xml.attributes().value(QLatin1String("Pname")).toString();
    algo.style = m_xml.attributes().value(QLatin1String("style")).toString();
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
    m_xml.skipCurrentElement();
    for (FlashAlgorithmRef &inherited : node.algorithms) {
        if (sameAlgorithm(inherited, algo)) {
            inherited = algo;
            return true;
        }
    }
    node.algorithms << algo;
    return true;
}

void Parser::keepElement(Node &node)
{
    PackElement e;
    e.element = m_xml.name().toString();
    e.line = int(m_xml.lineNumber());
    for (const QXmlStreamAttribute &a : m_xml.attributes())
        e.attributes.append({a.name().toString(), a.value().toString()});
    for (const auto &a : qAsConst(e.attributes)) {
        if (a.first == QLatin1String("Pname"))
            e.pname = a.second;
    }
    if (node.elements.size() < kMaxEntriesPerLevel)
        node.elements << e;
    m_xml.skipCurrentElement();
}

} // namespace pack::detail
