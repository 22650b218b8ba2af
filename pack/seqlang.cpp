// Recursive-descent parser of the sequence language, C precedence throughout; the tokeniser is in
// seqlex.cpp.
#include "seqparser.h"

namespace pack {

namespace seqdetail {

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

} // namespace seqdetail

using seqdetail::Parser;

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
