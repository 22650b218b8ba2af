// The .pdsc parser's inside, shared by its files: the device tree as read, before inheritance.
#pragma once

#include "debugsequences.h"
#include "pdscreader.h"

#include <QXmlStreamReader>

namespace pack::detail {

struct ProcessorAttributes
{
    QString pname, core, fpu, mpu, endian;
    uint32_t clock = 0; // Hz
    bool clockGiven = false;
    std::optional<uint32_t> ap, apid;
};

struct Node
{
    enum Kind { Family, SubFamily, Device, Variant };
    Kind kind = Family;
    QString name, vendor;
    int parent = -1;
    int line = 0;
    bool hasVariants = false;
    QString refusal; // the first element of this level the reader could not take
    QVector<ProcessorAttributes> processors; // one per Pname ("" for a core not named)
    QVector<MemoryRegion> memories;
    QVector<FlashAlgorithmRef> algorithms;
    QVector<PackElement> elements;
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
    bool fail(const QString &element, const QString &why);
    bool number(const QString &element, const QString &attribute, bool required, uint32_t &value,
                bool &present);
    bool flag(const QString &element, const QString &attribute, bool &value);
    bool readLevel(Node::Kind kind, int parent);
    bool readChild(int self);
    bool readProcessor(Node &node);
    bool readDebug(Node &node);
    bool readDebugDescription(Node &node)
    {
        QString why;
        const QString element = m_xml.name().toString();
        const bool ok = element == QLatin1String("sequences")
            ? readSequences(m_xml, node.debug.sequences, why)
            : readDebugVars(m_xml, node.debug.debugvars, why);
        if (ok)
            return true;
        fail(element, why);
        // The reader stopped somewhere inside; leave it at this element's end so the level goes
        // on with its next child (neither element nests in itself).
        while (!(m_xml.isEndElement() && m_xml.name() == element) && !m_xml.atEnd())
            m_xml.readNext();
        return false;
    }
    bool readMemory(Node &node);
    bool readWindow(MemoryRegion &m);
    bool readAlgorithm(Node &node);
    void keepElement(Node &node);
    bool resolve(int leaf, PackContents &out);

    QXmlStreamReader m_xml;
    QString m_file;
    QString m_error;
    QVector<Node> m_nodes;
    QString m_vendor, m_name, m_version;
    qint64 m_resolvedEntries = 0;
};

inline bool sameAlgorithm(const FlashAlgorithmRef &a, const FlashAlgorithmRef &b)
{
    return a.start == b.start && a.pname.compare(b.pname, Qt::CaseInsensitive) == 0
        && a.path.compare(b.path, Qt::CaseInsensitive) == 0;
}

// A hostile description could otherwise multiply a few family entries by many devices.
constexpr int kMaxEntriesPerLevel = 256;
constexpr qint64 kMaxResolvedEntries = 2000000;
constexpr int kMaxDevices = 200000;

} // namespace pack::detail
