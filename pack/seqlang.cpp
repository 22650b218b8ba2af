// Tokeniser and recursive-descent parser of the sequence language; C precedence throughout.
#include "seqlang.h"

#include <QStringList>

namespace pack {

namespace {

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
QString say(const char *message)
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

bool Parser::lexNumber()
{
    int end = m_pos;
    int base = 10;
    if (m_text.midRef(m_pos, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        end += 2;
    }
    const int digits = end;
    while (end < m_text.size() && m_text[end].isLetterOrNumber())
        ++end;
    QString body = m_text.mid(digits, end - digits);
    // C suffixes carry no meaning here: every value is 64 bits.
    while (!body.isEmpty() && base == 10 && QStringLiteral("uUlL").contains(body.back()))
        body.chop(1);
    while (base == 16 && !body.isEmpty() && QStringLiteral("uUlL").contains(body.back()))
        body.chop(1);
    bool ok = !body.isEmpty();
    const qulonglong v = ok ? body.toULongLong(&ok, base) : 0;
    if (!ok)
        return fail(m_line, say("invalid number %1").arg(m_text.mid(m_pos, end - m_pos)));
    m_tok = {Token::Number, m_text.mid(m_pos, end - m_pos), v, m_line};
    m_pos = end;
    return true;
}

bool Parser::lexString()
{
    QString s;
    const int line = m_line;
    for (++m_pos; m_pos < m_text.size(); ++m_pos) {
        QChar c = m_text[m_pos];
        if (c == QLatin1Char('"')) {
            ++m_pos;
            m_tok = {Token::String, s, 0, line};
            return true;
        }
        if (c == QLatin1Char('\n'))
            break;
        if (c == QLatin1Char('\\') && m_pos + 1 < m_text.size()) {
            c = m_text[++m_pos];
            if (c == QLatin1Char('n'))
                c = QLatin1Char('\n');
            else if (c == QLatin1Char('t'))
                c = QLatin1Char('\t');
        }
        s += c;
    }
    return fail(line, say("string not closed"));
}

bool Parser::lex()
{
    if (m_hasNext) {
        m_tok = m_next;
        m_hasNext = false;
        return true;
    }
    for (;;) {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace()) {
            if (m_text[m_pos] == QLatin1Char('\n'))
                ++m_line;
            ++m_pos;
        }
        if (m_text.midRef(m_pos, 2) == QLatin1String("//")) {
            while (m_pos < m_text.size() && m_text[m_pos] != QLatin1Char('\n'))
                ++m_pos;
            continue;
        }
        if (m_text.midRef(m_pos, 2) == QLatin1String("/*")) {
            const int close = m_text.indexOf(QLatin1String("*/"), m_pos + 2);
            if (close < 0)
                return fail(m_line, say("comment not closed"));
            m_line += m_text.midRef(m_pos, close - m_pos).count(QLatin1Char('\n'));
            m_pos = close + 2;
            continue;
        }
        break;
    }
    if (m_pos >= m_text.size()) {
        m_tok = {Token::End, QString(), 0, m_line};
        return true;
    }
    const QChar c = m_text[m_pos];
    if (c.isDigit())
        return lexNumber();
    if (c == QLatin1Char('"'))
        return lexString();
    if (c.isLetter() || c == QLatin1Char('_')) {
        int end = m_pos;
        while (end < m_text.size() && (m_text[end].isLetterOrNumber() || m_text[end] == '_'))
            ++end;
        m_tok = {Token::Name, m_text.mid(m_pos, end - m_pos), 0, m_line};
        m_pos = end;
        return true;
    }
    static const char *const ops[] = {"<<=", ">>=", "||", "&&", "==", "!=", "<=", ">=", "<<", ">>",
                                      "+=",  "-=",  "*=", "/=", "%=", "&=", "|=", "^=", "|",  "^",
                                      "&",   "<",   ">",  "+",  "-",  "*",  "/",  "%",  "!",  "~",
                                      "?",   ":",   "(",  ")",  ",",  ";",  "="};
    for (const char *op : ops) {
        const QLatin1String o(op);
        if (m_text.midRef(m_pos, o.size()) == o) {
            m_tok = {Token::Op, QString(o), 0, m_line};
            m_pos += o.size();
            return true;
        }
    }
    return fail(m_line, say("unexpected character '%1'").arg(c));
}

bool Parser::expect(const char *op)
{
    if (!isOp(op))
        return fail(m_tok.line,
                    say("expected '%1' but found '%2'")
                        .arg(QLatin1String(op),
                             m_tok.kind == Token::End ? say("end of text") : m_tok.text));
    return lex();
}

bool isAssignOp(const Token &t)
{
    static const QStringList ops = {
        "=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="};
    return t.kind == Token::Op && ops.contains(t.text);
}

std::shared_ptr<const Expr> Parser::assignment(int depth)
{
    if (depth > kMaxDepth) {
        fail(m_tok.line, say("expression nested too deeply"));
        return nullptr;
    }
    if (m_tok.kind == Token::Name) {
        const Token name = m_tok;
        if (!lex())
            return nullptr;
        if (isAssignOp(m_tok)) {
            auto e = node(Expr::Assign, name.line);
            e->text = name.text;
            e->op = m_tok.text;
            std::shared_ptr<const Expr> value;
            if (!lex() || !(value = assignment(depth + 1)))
                return nullptr;
            e->args.push_back(value);
            return e;
        }
        // Not an assignment: put the name back in front of what follows it.
        m_next = m_tok;
        m_hasNext = true;
        m_tok = name;
    }
    return conditional(depth + 1);
}

std::shared_ptr<const Expr> Parser::conditional(int depth)
{
    std::shared_ptr<const Expr> cond = binary(0, depth);
    if (!cond || !isOp("?"))
        return cond;
    auto e = node(Expr::Conditional, m_tok.line);
    std::shared_ptr<const Expr> yes, no;
    if (!lex() || !(yes = assignment(depth + 1)) || !expect(":") || !(no = assignment(depth + 1)))
        return nullptr;
    e->args = {cond, yes, no};
    return e;
}

std::shared_ptr<const Expr> Parser::binary(int level, int depth)
{
    static const QVector<QStringList> levels = {{"||"},
                                                {"&&"},
                                                {"|"},
                                                {"^"},
                                                {"&"},
                                                {"==", "!="},
                                                {"<", "<=", ">", ">="},
                                                {"<<", ">>"},
                                                {"+", "-"},
                                                {"*", "/", "%"}};
    if (level == levels.size())
        return unary(depth + 1);
    std::shared_ptr<const Expr> left = binary(level + 1, depth);
    if (!left)
        return nullptr;
    while (m_tok.kind == Token::Op && levels[level].contains(m_tok.text)) {
        const Token op = m_tok;
        std::shared_ptr<const Expr> right;
        if (!lex() || !(right = binary(level + 1, depth)))
            return nullptr;
        auto e = node(Expr::Binary, op.line);
        e->op = op.text;
        e->args = {left, right};
        left = e;
    }
    return left;
}

std::shared_ptr<const Expr> Parser::unary(int depth)
{
    if (depth > kMaxDepth) {
        fail(m_tok.line, say("expression nested too deeply"));
        return nullptr;
    }
    if (isOp("!") || isOp("~") || isOp("-") || isOp("+")) {
        auto e = node(Expr::Unary, m_tok.line);
        e->op = m_tok.text;
        std::shared_ptr<const Expr> operand;
        if (!lex() || !(operand = unary(depth + 1)))
            return nullptr;
        e->args = {operand};
        return e;
    }
    return primary(depth);
}

std::shared_ptr<const Expr> Parser::primary(int depth)
{
    const Token t = m_tok;
    if (t.kind == Token::Number || t.kind == Token::String) {
        auto e = node(t.kind == Token::Number ? Expr::Number : Expr::String, t.line);
        e->value = t.value;
        e->text = t.text;
        return lex() ? e : nullptr;
    }
    if (isOp("(")) {
        std::shared_ptr<const Expr> inner;
        if (!lex() || !(inner = assignment(depth + 1)) || !expect(")"))
            return nullptr;
        return inner;
    }
    if (t.kind != Token::Name) {
        fail(t.line,
             say("expected a value but found '%1'")
                 .arg(t.kind == Token::End ? say("end of text") : t.text));
        return nullptr;
    }
    if (!lex())
        return nullptr;
    if (!isOp("(")) {
        auto e = node(Expr::Variable, t.line);
        e->text = t.text;
        return e;
    }
    auto e = node(Expr::Call, t.line);
    e->text = t.text;
    if (!lex())
        return nullptr;
    while (!isOp(")")) {
        std::shared_ptr<const Expr> arg = assignment(depth + 1);
        if (!arg)
            return nullptr;
        e->args.push_back(arg);
        if (isOp(",")) {
            if (!lex())
                return nullptr;
        } else if (!isOp(")")) {
            fail(m_tok.line, say("expected ',' or ')' in the call of %1").arg(t.text));
            return nullptr;
        }
    }
    return lex() ? e : nullptr;
}

bool Parser::statements(QVector<Statement> &out)
{
    if (!lex())
        return false;
    while (m_tok.kind != Token::End) {
        if (isOp(";")) {
            if (!lex())
                return false;
            continue;
        }
        Statement s;
        s.line = m_tok.line;
        if (m_tok.kind == Token::Name && m_tok.text == QLatin1String("__var")) {
            s.declares = true;
            if (!lex())
                return false;
            if (m_tok.kind != Token::Name)
                return fail(m_tok.line, say("expected a variable name after __var"));
            s.name = m_tok.text;
            if (!lex())
                return false;
            if (isOp("=")) {
                if (!lex() || !(s.expr = assignment(0)))
                    return false;
            }
        } else if (!(s.expr = assignment(0))) {
            return false;
        }
        out.push_back(s);
        if (!expect(";"))
            return false;
    }
    return true;
}

bool Parser::expression(std::shared_ptr<const Expr> &out)
{
    if (!lex() || !(out = assignment(0)))
        return false;
    if (m_tok.kind != Token::End)
        return fail(m_tok.line, say("unexpected '%1' after the expression").arg(m_tok.text));
    return true;
}

} // namespace

bool parseStatements(const QString &text, int firstLine, QVector<Statement> &out, QString &error)
{
    Parser p(text, firstLine);
    if (p.statements(out))
        return true;
    error = p.error();
    return false;
}

bool parseExpression(const QString &text, int line, std::shared_ptr<const Expr> &out,
                     QString &error)
{
    Parser p(text, line);
    if (p.expression(out))
        return true;
    error = p.error();
    return false;
}

} // namespace pack
