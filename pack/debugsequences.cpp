// Reading <sequences> and <debugvars>; every body is parsed here, so running never meets syntax.
#include "debugsequences.h"

#include <QXmlStreamReader>

namespace pack {

namespace {

constexpr int kMaxNesting = 32;
constexpr int kMaxSequences = 1000;

// The debug layer's messages are English, like the rest of the SWD path's.
QString say(const char *message)
{
    return QString::fromLatin1(message);
}

bool fail(QString &error, const QString &why)
{
    if (error.isEmpty())
        error = why;
    return false;
}

bool attributeExpr(QXmlStreamReader &xml, const char *name, std::shared_ptr<const Expr> &out,
                   QString &error)
{
    const QStringRef text = xml.attributes().value(QLatin1String(name));
    if (text.isNull() || text.trimmed().isEmpty())
        return true;
    QString why;
    if (!parseExpression(text.toString(), int(xml.lineNumber()), out, why))
        return fail(error, say("%1=\"%2\": %3").arg(QLatin1String(name), text.toString(), why));
    return true;
}

bool number(QXmlStreamReader &xml, const char *name, uint64_t &value, QString &error)
{
    const QString text = xml.attributes().value(QLatin1String(name)).trimmed().toString();
    if (text.isEmpty())
        return true;
    bool ok = false;
    value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
        ? text.midRef(2).toULongLong(&ok, 16)
        : text.toULongLong(&ok, 10);
    if (!ok)
        return fail(error, say("%1 is not a number: %2").arg(QLatin1String(name), text));
    return true;
}

bool readBlockText(QXmlStreamReader &xml, QVector<Statement> &out, QString &error)
{
    const int line = int(xml.lineNumber());
    const QString text = xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    if (xml.hasError())
        return fail(error, xml.errorString());
    QString why;
    if (!parseStatements(text, line, out, why))
        return fail(error, why);
    return true;
}

bool readChildren(QXmlStreamReader &xml, QVector<SequenceNode> &out, int depth, QString &error)
{
    while (xml.readNextStartElement()) {
        SequenceNode node;
        node.line = int(xml.lineNumber());
        if (xml.name() == QLatin1String("block")) {
            const QStringRef atomic = xml.attributes().value(QLatin1String("atomic"));
            node.atomic = atomic == QLatin1String("1") || atomic == QLatin1String("true");
            if (!readBlockText(xml, node.statements, error))
                return false;
        } else if (xml.name() == QLatin1String("control")) {
            if (depth >= kMaxNesting)
                return fail(error, say("controls nested deeper than %1").arg(kMaxNesting));
            node.isControl = true;
            if (!attributeExpr(xml, "if", node.ifExpr, error)
                || !attributeExpr(xml, "while", node.whileExpr, error)
                || !number(xml, "timeout", node.timeoutUs, error)
                || !readChildren(xml, node.children, depth + 1, error))
                return false;
        } else {
            return fail(error, say("not allowed in a sequence"));
        }
        out.push_back(std::move(node));
    }
    if (xml.hasError())
        return fail(error, xml.errorString());
    return true;
}

} // namespace

bool readSequences(QXmlStreamReader &xml, QVector<DebugSequence> &out, QString &error)
{
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("sequence")) {
            xml.skipCurrentElement();
            continue;
        }
        if (out.size() >= kMaxSequences)
            return fail(error, say("more than %1 sequences").arg(kMaxSequences));
        DebugSequence s;
        s.line = int(xml.lineNumber());
        const QXmlStreamAttributes a = xml.attributes();
        s.name = a.value(QLatin1String("name")).trimmed().toString();
        s.pname = a.value(QLatin1String("Pname")).trimmed().toString();
        s.info = a.value(QLatin1String("info")).toString();
        const QStringRef disable = a.value(QLatin1String("disable"));
        s.disabled = disable == QLatin1String("1") || disable == QLatin1String("true");
        if (s.name.isEmpty())
            return fail(error, say("a sequence without a name"));
        if (!readChildren(xml, s.body, 0, error))
            return false;
        out.push_back(std::move(s));
    }
    if (xml.hasError())
        return fail(error, xml.errorString());
    return true;
}

bool readDebugVars(QXmlStreamReader &xml, QVector<DebugVars> &out, QString &error)
{
    DebugVars v;
    v.line = int(xml.lineNumber());
    v.pname = xml.attributes().value(QLatin1String("Pname")).trimmed().toString();
    v.configFile = xml.attributes().value(QLatin1String("configfile")).toString();
    if (!readBlockText(xml, v.statements, error))
        return false;
    for (int i = out.size() - 1; i >= 0; --i)
        if (out[i].pname == v.pname)
            out.remove(i);
    out.push_back(std::move(v));
    return true;
}

bool parseSequencesXml(const QByteArray &bytes, QVector<DebugSequence> &out, QString &error)
{
    QXmlStreamReader xml(bytes);
    if ((xml.readNextStartElement() && xml.name() == QLatin1String("sequences")
         && readSequences(xml, out, error))
        || (error.isEmpty() && (error = say("expected <sequences>"), false)))
        return true;
    error = say("line %1 <%2>: %3").arg(xml.lineNumber()).arg(xml.name().toString(), error);
    return false;
}

void DebugDescription::inherit(const DebugDescription &above)
{
    if (defaultResetSequence.isEmpty())
        defaultResetSequence = above.defaultResetSequence;
    for (const DebugSequence &s : above.sequences) {
        bool replaced = false;
        for (const DebugSequence &mine : sequences)
            replaced = replaced || (mine.name == s.name && mine.pname == s.pname);
        if (!replaced)
            sequences.push_back(s);
    }
    for (const DebugVars &v : above.debugvars) {
        bool replaced = false;
        for (const DebugVars &mine : debugvars)
            replaced = replaced || mine.pname == v.pname;
        if (!replaced)
            debugvars.push_front(v);
    }
}

const DebugSequence *DebugDescription::find(const QString &name, const QString &pname) const
{
    // One written for the processor wins over one for every processor.
    const DebugSequence *general = nullptr;
    for (const DebugSequence &s : sequences) {
        if (s.name != name)
            continue;
        if (!pname.isEmpty() && s.pname == pname)
            return &s;
        if (s.pname.isEmpty())
            general = &s;
    }
    return general;
}

} // namespace pack
