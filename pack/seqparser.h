// The sequence language's tokeniser and parser, shared by their two files (seqlex.cpp,
// seqlang.cpp); not for use elsewhere.
#pragma once

#include "seqlang.h"

#include <QStringList>

namespace pack::seqdetail {

// A hostile pack could nest parentheses until the stack runs out.
constexpr int kMaxDepth = 200;

struct Token
{
    enum Kind { End, Number, String, Name, Op };
    Kind kind = End;
    QString text;
    uint64_t value = 0;
    int line = 0;
};

// The debug layer's messages are English, like the rest of the SWD path's.
inline QString say(const char *message)
{
    return QString::fromLatin1(message);
}

class Parser
{
public:
    Parser(const QString &text, int line)
        : m_text(text)
        , m_line(line)
    { }

    bool statements(QVector<Statement> &out);
    bool expression(std::shared_ptr<const Expr> &out);
    const QString &error() const { return m_error; }

private:
    bool fail(int line, const QString &why)
    {
        if (m_error.isEmpty())
            m_error = say("line %1: %2").arg(line).arg(why);
        return false;
    }
    bool lex();
    bool lexNumber();
    bool lexString();
    bool expect(const char *op);
    bool isOp(const char *op) const { return m_tok.kind == Token::Op && m_tok.text == op; }
    std::shared_ptr<const Expr> assignment(int depth);
    std::shared_ptr<const Expr> conditional(int depth);
    std::shared_ptr<const Expr> binary(int level, int depth);
    std::shared_ptr<const Expr> unary(int depth);
    std::shared_ptr<const Expr> primary(int depth);
    std::shared_ptr<Expr> node(Expr::Kind kind, int line)
    {
        auto e = std::make_shared<Expr>();
        e->kind = kind;
        e->line = line;
        return e;
    }

    QString m_text;
    int m_pos = 0;
    int m_line;
    Token m_tok;
    Token m_next; // one token of look-ahead, for `name =`
    bool m_hasNext = false;
    QString m_error;
};

} // namespace pack::seqdetail
