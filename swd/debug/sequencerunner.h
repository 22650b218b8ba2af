// Runs a device's debug sequences against a SequenceHost: the pack's own where it defines one,
// the standard default body where it does not, nothing where it disables one.
#pragma once

#include "pack/debugsequences.h"
#include "swd/debug/sequencehost.h"

#include <QHash>
#include <QMap>
#include <QStringList>

#include <functional>

class SequenceRunner
{
public:
    // __protocol: SWD (2) through an SWJ-DP (bit 16); __connection: flash programming (0x02).
    static constexpr uint64_t kProtocolSwj = 0x00010002;
    static constexpr uint64_t kConnectionFlash = 0x00000002;
    // A `while` without a time-out of its own stops after this long.
    static constexpr uint64_t kUnboundedLoopUs = 10000000;

    SequenceRunner(SequenceHost &host, const pack::DebugDescription &description,
                   const QString &core = QString(), const QString &pname = QString());

    // Runs the debugvars, then sets the overrides; a name the device does not declare is an error.
    bool loadDebugVars(const QMap<QString, uint64_t> &overrides);
    // Sets a predefined variable such as __connection or __FlashOp before a run.
    void setPredefined(const QString &name, uint64_t value) { m_globals[name] = value; }
    bool run(const QString &sequence);
    bool definedByPack(const QString &sequence) const;

    uint64_t variable(const QString &name) const { return m_globals.value(name); }
    const QString &error() const { return m_error; }
    // Message() texts, Query answers taken in a run without a user, ignored calls.
    const QStringList &notes() const { return m_notes; }
    void setNoteSink(std::function<void(const QString &)> sink) { m_sink = std::move(sink); }

    // The standard sequences and their default bodies.
    static const QVector<pack::DebugSequence> &defaults();
    static bool isArmv6mOrBaseline(const QString &core);

private:
    struct Frame
    {
        QString sequence;
        QHash<QString, uint64_t> locals;
    };

    bool runSequence(const pack::DebugSequence &s, bool isDefault);
    bool runNodes(const QVector<pack::SequenceNode> &nodes);
    bool runStatements(const QVector<pack::Statement> &statements);
    bool runAtomic(const pack::SequenceNode &block);
    bool eval(const pack::Expr &e, uint64_t &value);
    bool assign(const pack::Expr &e, uint64_t &value);
    bool call(const pack::Expr &e, uint64_t &value);
    bool access(const pack::Expr &e, bool ok, const QString &what, uint64_t &value);
    bool stringArg(const pack::Expr &e, int index, QString &out);
    bool format(const pack::Expr &e, QString &out);
    uint64_t *lookup(const QString &name);
    void note(const QString &text);
    bool fail(int line, const QString &why);

    SequenceHost &m_host;
    const pack::DebugDescription &m_description;
    QString m_core, m_pname;
    QHash<QString, uint64_t> m_globals;
    QVector<Frame> m_frames;
    QString m_error;
    QStringList m_notes;
    std::function<void(const QString &)> m_sink;
};
