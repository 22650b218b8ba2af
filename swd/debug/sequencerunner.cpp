// Control flow, variables and operators of the sequence language; the functions are in
// sequencecalls.cpp.
#include "swd/debug/sequencerunner.h"

#include <algorithm>

namespace {

// Sequence() calling itself, directly or not, ends here instead of in a stack overflow.
constexpr int kMaxCallDepth = 16;

bool readOnly(const QString &name)
{
    return name == QLatin1String("__protocol") || name == QLatin1String("__connection")
        || name == QLatin1String("__traceout") || name == QLatin1String("__FlashOp");
}

} // namespace

SequenceRunner::SequenceRunner(SequenceHost &host, const pack::DebugDescription &description,
                               const QString &core, const QString &pname)
    : m_host(host)
    , m_description(description)
    , m_core(core)
    , m_pname(pname)
{
    m_globals = {{"__protocol", kProtocolSwj},
                 {"__connection", kConnectionFlash},
                 {"__dp", 0},
                 {"__ap", 0},
                 {"__apid", 0},
                 {"__traceout", 0},
                 {"__errorcontrol", 0},
                 {"__FlashOp", 0},
                 {"__Result", 0}};
}

bool SequenceRunner::isArmv6mOrBaseline(const QString &core)
{
    static const QStringList cores = {"Cortex-M0", "Cortex-M0+", "Cortex-M1", "Cortex-M23",
                                      "SC000"};
    return cores.contains(core.trimmed(), Qt::CaseInsensitive);
}

void SequenceRunner::note(const QString &text)
{
    m_notes.push_back(text);
    if (m_sink)
        m_sink(text);
}

bool SequenceRunner::fail(int line, const QString &why)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("sequence %1, line %2: %3")
                      .arg(m_frames.isEmpty() ? QStringLiteral("?") : m_frames.back().sequence,
                           QString::number(line), why);
    return false;
}

bool SequenceRunner::loadDebugVars(const QMap<QString, uint64_t> &overrides)
{
    m_frames.push_back({QStringLiteral("debugvars"), {}});
    bool ok = true;
    for (const pack::DebugVars &v : m_description.debugvars) {
        if (!v.pname.isEmpty() && v.pname != m_pname)
            continue;
        // Declarations here are the device's settings, seen by every sequence.
        for (const pack::Statement &s : v.statements) {
            uint64_t value = 0;
            if (s.expr && !eval(*s.expr, value)) {
                ok = false;
                break;
            }
            if (s.declares)
                m_globals[s.name] = value;
        }
    }
    m_frames.pop_back();
    if (!ok)
        return false;
    for (auto it = overrides.begin(); it != overrides.end(); ++it) {
        if (!m_globals.contains(it.key()) || it.key().startsWith(QLatin1String("__"))) {
            m_error =
                QStringLiteral("debugvar %1 is not declared by the device's pack").arg(it.key());
            return false;
        }
        m_globals[it.key()] = it.value();
    }
    return true;
}

bool SequenceRunner::definedByPack(const QString &sequence) const
{
    return m_description.find(sequence, m_pname) != nullptr;
}

const QVector<pack::DebugSequence> &SequenceRunner::defaults()
{
    static const QVector<pack::DebugSequence> parsed = [] {
        extern const char *const kDefaultSequencesXml;
        QVector<pack::DebugSequence> out;
        QString error;
        pack::parseSequencesXml(QByteArray(kDefaultSequencesXml), out, error);
        Q_ASSERT(error.isEmpty());
        return out;
    }();
    return parsed;
}

bool SequenceRunner::run(const QString &name)
{
    if (m_frames.size() >= kMaxCallDepth)
        return fail(0,
                    QStringLiteral("Sequence(\"%1\") nested deeper than %2 calls")
                        .arg(name, QString::number(kMaxCallDepth)));
    if (const pack::DebugSequence *own = m_description.find(name, m_pname))
        return own->disabled || runSequence(*own, false);
    for (const pack::DebugSequence &s : defaults())
        if (s.name == name)
            return runSequence(s, true);
    return fail(0, QStringLiteral("no sequence named %1").arg(name));
}

bool SequenceRunner::runSequence(const pack::DebugSequence &s, bool isDefault)
{
    if (isDefault && s.name == QLatin1String("ResetProcessor") && isArmv6mOrBaseline(m_core)) {
        m_frames.push_back({s.name, {}});
        fail(s.line,
             QStringLiteral("%1 has no core reset (VECTRESET); use --reset-type system "
                            "or hardware")
                 .arg(m_core));
        m_frames.pop_back();
        return false;
    }
    m_frames.push_back({s.name, {}});
    const bool ok = runNodes(s.body);
    m_frames.pop_back();
    return ok;
}

bool SequenceRunner::runNodes(const QVector<pack::SequenceNode> &nodes)
{
    for (const pack::SequenceNode &n : nodes) {
        if (!n.isControl) {
            if (!(n.atomic ? runAtomic(n) : runStatements(n.statements)))
                return false;
            continue;
        }
        uint64_t value = 1;
        if (n.ifExpr && !eval(*n.ifExpr, value))
            return false;
        if (!value)
            continue;
        if (!n.whileExpr) {
            if (!runNodes(n.children))
                return false;
            continue;
        }
        const uint64_t limit = n.timeoutUs ? n.timeoutUs : kUnboundedLoopUs;
        const uint64_t start = m_host.nowUs();
        for (;;) {
            if (!eval(*n.whileExpr, value))
                return false;
            if (!value)
                break;
            if (!runNodes(n.children))
                return false;
            if (m_host.nowUs() - start > limit)
                return fail(
                    n.line,
                    QStringLiteral("the while condition still holds after %1 us%2")
                        .arg(limit)
                        .arg(n.timeoutUs ? QString() : QStringLiteral(" (no time-out given)")));
        }
    }
    return true;
}

bool SequenceRunner::runStatements(const QVector<pack::Statement> &statements)
{
    for (const pack::Statement &s : statements) {
        uint64_t value = 0;
        if (s.expr && !eval(*s.expr, value))
            return false;
        if (!s.declares)
            continue;
        if (s.name.startsWith(QLatin1String("__")))
            return fail(s.line, QStringLiteral("%1 is predefined").arg(s.name));
        m_frames.back().locals[s.name] = value;
    }
    return true;
}

namespace {

bool callsAnything(const pack::Expr &e)
{
    return e.kind == pack::Expr::Call
        || std::any_of(
               e.args.begin(), e.args.end(),
               [](const std::shared_ptr<const pack::Expr> &a) { return callsAnything(*a); });
}

// What one DAP_Transfer, with the line sequences before it, can carry.
bool atomicCall(const QString &f)
{
    static const QStringList calls = {"Read8",          "Read16",          "Read32",  "Read64",
                                      "ReadDP",         "ReadAP",          "Write8",  "Write16",
                                      "Write32",        "Write64",         "WriteDP", "WriteAP",
                                      "DAP_WriteABORT", "DAP_SWJ_Sequence"};
    return calls.contains(f);
}

} // namespace

// The block's statements are checked to be accesses whose values it does not use, held by the
// host, then sent as one unit: a refused access ends the whole block, none of it is skipped.
bool SequenceRunner::runAtomic(const pack::SequenceNode &block)
{
    for (const pack::Statement &s : block.statements) {
        if (!s.expr)
            continue;
        const pack::Expr &e = *s.expr;
        const bool call = e.kind == pack::Expr::Call;
        if (call && !atomicCall(e.text))
            return fail(s.line, QStringLiteral("%1 cannot be part of an atomic block").arg(e.text));
        const bool nested = std::any_of(e.args.begin(), e.args.end(),
                                        [](const auto &a) { return callsAnything(*a); });
        if (s.declares || !call || nested)
            return fail(s.line,
                        callsAnything(e)
                            ? QStringLiteral("an atomic block cannot use the values it reads")
                            : QStringLiteral("an atomic block holds DAP accesses only"));
    }
    m_host.beginAtomic();
    const bool ran = runStatements(block.statements);
    const bool sent = m_host.endAtomic(ran);
    if (!ran)
        return false;
    if (sent) {
        m_globals["__Result"] = 0;
        return true;
    }
    if ((m_globals.value("__errorcontrol") & 1) && m_host.recoverable()) {
        m_host.recover();
        m_globals["__Result"] = 1;
        return true;
    }
    return fail(block.line, QStringLiteral("atomic block failed: %1").arg(m_host.lastError()));
}

uint64_t *SequenceRunner::lookup(const QString &name)
{
    if (!m_frames.isEmpty()) {
        auto it = m_frames.back().locals.find(name);
        if (it != m_frames.back().locals.end())
            return &it.value();
    }
    auto it = m_globals.find(name);
    return it == m_globals.end() ? nullptr : &it.value();
}

bool SequenceRunner::assign(const pack::Expr &e, uint64_t &value)
{
    uint64_t *target = lookup(e.text);
    if (!target)
        return fail(e.line, QStringLiteral("%1 is not declared").arg(e.text));
    if (readOnly(e.text))
        return fail(e.line, QStringLiteral("%1 cannot be assigned").arg(e.text));
    uint64_t right = 0;
    if (!eval(*e.args[0], right))
        return false;
    target = lookup(e.text); // a Sequence() call on the right may have moved the frames
    const QString op = e.op.left(e.op.size() - 1);
    uint64_t v = *target;
    if (op.isEmpty())
        v = right;
    else if (op == "+")
        v += right;
    else if (op == "-")
        v -= right;
    else if (op == "*")
        v *= right;
    else if (op == "&")
        v &= right;
    else if (op == "|")
        v |= right;
    else if (op == "^")
        v ^= right;
    else if (op == "<<")
        v = right >= 64 ? 0 : v << right;
    else if (op == ">>")
        v = right >= 64 ? 0 : v >> right;
    else if (right == 0)
        return fail(e.line, QStringLiteral("division by zero"));
    else
        v = op == "/" ? v / right : v % right;
    *target = v;
    value = v;
    return true;
}

bool SequenceRunner::eval(const pack::Expr &e, uint64_t &value)
{
    using pack::Expr;
    switch (e.kind) {
    case Expr::Number:
        value = e.value;
        return true;
    case Expr::String:
        return fail(e.line, QStringLiteral("a string is not a value"));
    case Expr::Variable: {
        const uint64_t *v = lookup(e.text);
        if (!v)
            return fail(e.line, QStringLiteral("%1 is not declared").arg(e.text));
        value = *v;
        return true;
    }
    case Expr::Assign:
        return assign(e, value);
    case Expr::Call:
        return call(e, value);
    case Expr::Conditional: {
        uint64_t c = 0;
        return eval(*e.args[0], c) && eval(*e.args[c ? 1 : 2], value);
    }
    case Expr::Unary: {
        uint64_t v = 0;
        if (!eval(*e.args[0], v))
            return false;
        value = e.op == "!" ? uint64_t(v == 0) : e.op == "~" ? ~v : e.op == "-" ? 0 - v : v;
        return true;
    }
    case Expr::Binary:
        break;
    }
    uint64_t a = 0, b = 0;
    if (!eval(*e.args[0], a))
        return false;
    if (e.op == "&&" || e.op == "||") {
        // Short-circuit: the right side may be an access that must not happen.
        if ((e.op == "&&") != (a != 0)) {
            value = a != 0;
            return true;
        }
        if (!eval(*e.args[1], b))
            return false;
        value = b != 0;
        return true;
    }
    if (!eval(*e.args[1], b))
        return false;
    const QString &op = e.op;
    if (op == "/" || op == "%") {
        if (b == 0)
            return fail(e.line, QStringLiteral("division by zero"));
        value = op == "/" ? a / b : a % b;
    } else if (op == "|")
        value = a | b;
    else if (op == "^")
        value = a ^ b;
    else if (op == "&")
        value = a & b;
    else if (op == "==")
        value = a == b;
    else if (op == "!=")
        value = a != b;
    else if (op == "<")
        value = a < b;
    else if (op == "<=")
        value = a <= b;
    else if (op == ">")
        value = a > b;
    else if (op == ">=")
        value = a >= b;
    else if (op == "<<")
        value = b >= 64 ? 0 : a << b;
    else if (op == ">>")
        value = b >= 64 ? 0 : a >> b;
    else if (op == "+")
        value = a + b;
    else if (op == "-")
        value = a - b;
    else
        value = a * b;
    return true;
}
