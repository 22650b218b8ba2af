// The sequence language's tokeniser: numbers, strings, names and operators, with their line.
#include "seqparser.h"

namespace pack::seqdetail {

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

} // namespace pack::seqdetail
