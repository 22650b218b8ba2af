// A device's debug sequences and debugvars as its pack writes them: <sequences> with <sequence>,
// <block> and <control if/while/timeout> elements, and the <debugvars> block.
#pragma once

#include "seqlang.h"

#include <QVector>

class QXmlStreamReader;

namespace pack {

struct SequenceNode
{
    bool isControl = false;
    // A block: its statements; atomic asks for them to go out without a gap where it matters.
    QVector<Statement> statements;
    bool atomic = false;
    // A control: `if` is tested once, then `while` repeats the children until it is 0 or the
    // time-out (microseconds, 0: none) runs out.
    std::shared_ptr<const Expr> ifExpr, whileExpr;
    uint64_t timeoutUs = 0;
    QVector<SequenceNode> children;
    int line = 0;
};

struct DebugSequence
{
    QString name;
    QString pname; // empty: every processor
    bool disabled = false; // disable="1": the device wants no sequence, not even the default
    QString info;
    QVector<SequenceNode> body;
    int line = 0;
};

struct DebugVars
{
    QString pname;
    QString configFile;
    QVector<Statement> statements;
    int line = 0;
};

struct DebugDescription
{
    QVector<DebugSequence> sequences;
    QVector<DebugVars> debugvars;
    QString defaultResetSequence; // <debug defaultResetSequence>: empty when no level says

    // A lower level replaces the sequences of the same name and processor it inherits.
    void inherit(const DebugDescription &above);
    const DebugSequence *find(const QString &name, const QString &pname = QString()) const;
};

// With the reader on the start of <sequences> or <debugvars>: reads up to its end. False with
// why, the reader left on the element at fault.
bool readSequences(QXmlStreamReader &xml, QVector<DebugSequence> &out, QString &error);
bool readDebugVars(QXmlStreamReader &xml, QVector<DebugVars> &out, QString &error);
// A whole <sequences> document, for the default bodies and tests; its messages name the line.
bool parseSequencesXml(const QByteArray &xml, QVector<DebugSequence> &out, QString &error);

} // namespace pack
