// The statement and expression language of a pack's debug sequences and debugvars: C-like
// expressions on 64-bit unsigned values, `__var` declarations, assignments and function calls.
// Parsed once when the pack is read, so a malformed body is reported with its line up front.
#pragma once

#include <QString>
#include <QVector>

#include <cstdint>
#include <memory>

namespace pack {

struct Expr
{
    enum Kind { Number, String, Variable, Unary, Binary, Conditional, Call, Assign };
    Kind kind = Number;
    QString op; // Unary/Binary/Assign: the operator as written ("+", "<<", "+=", "!")
    uint64_t value = 0; // Number
    QString text; // String: the literal; Variable, Call, Assign: the name
    QVector<std::shared_ptr<const Expr>> args; // operands or call arguments
    int line = 0;
};

struct Statement
{
    bool declares = false; // `__var name = ...`
    QString name; // the declared variable
    std::shared_ptr<const Expr> expr; // the initial value, or the expression; may be null
    int line = 0;
};

// Parses the text of one <block> (or <debugvars>) that starts on `firstLine`. False with a
// message naming the line and what was found.
bool parseStatements(const QString &text, int firstLine, QVector<Statement> &out, QString &error);
// One expression, as in a <control if=".."> or while attribute.
bool parseExpression(const QString &text, int line, std::shared_ptr<const Expr> &out,
                     QString &error);

} // namespace pack
