// The functions a sequence may call. Each sets __Result: 0 when it worked; with bit 0 of
// __errorcontrol set, a failed access returns 0 and sets __Result instead of ending the run.
#include "swd/debug/sequencerunner.h"

#include "swd/swdresult.h"

namespace {

struct Signature
{
    const char *name;
    int args; // -1: a format and any number of values
};

const Signature kFunctions[] = {
    {"Read8", 1},          {"Read16", 1},        {"Read32", 1},        {"Read64", 1},
    {"Write8", 2},         {"Write16", 2},       {"Write32", 2},       {"Write64", 2},
    {"ReadDP", 1},         {"WriteDP", 2},       {"ReadAP", 1},        {"WriteAP", 2},
    {"DAP_Delay", 1},      {"DAP_SWJ_Pins", 3},  {"DAP_SWJ_Clock", 1}, {"DAP_SWJ_Sequence", 2},
    {"DAP_WriteABORT", 1}, {"Sequence", 1},      {"Query", 3},         {"QueryValue", 2},
    {"Message", -1},       {"LoadDebugInfo", 1},
};

QString hexValue(uint64_t v)
{
    return v > 0xFFFFFFFFu
        ? QStringLiteral("0x%1").arg(v, 16, 16, QLatin1Char('0')).toUpper().replace("0X", "0x")
        : hex8(uint32_t(v));
}

} // namespace

bool SequenceRunner::stringArg(const pack::Expr &e, int index, QString &out)
{
    const pack::Expr &arg = *e.args[index];
    if (arg.kind != pack::Expr::String)
        return fail(arg.line,
                    QStringLiteral("%1 wants a string as argument %2")
                        .arg(e.text, QString::number(index + 1)));
    out = arg.text;
    return true;
}

// printf-style: %d %u %x %X with flags and width, %s is not available (values only), %%.
bool SequenceRunner::format(const pack::Expr &e, QString &out)
{
    QString fmt;
    if (!stringArg(e, 1, fmt))
        return false;
    int next = 2;
    for (int i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != QLatin1Char('%') || i + 1 == fmt.size()) {
            out += fmt[i];
            continue;
        }
        if (fmt[i + 1] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
            continue;
        }
        int j = i + 1;
        const bool zero = fmt[j] == QLatin1Char('0');
        while (j < fmt.size() && fmt[j].isDigit())
            ++j;
        const int width = qMin(fmt.midRef(i + 1, j - i - 1).toInt(), 64);
        while (j < fmt.size() && fmt[j] == QLatin1Char('l'))
            ++j;
        if (j == fmt.size() || !QStringLiteral("duxXi").contains(fmt[j]))
            return fail(e.line, QStringLiteral("Message format '%1' not understood").arg(fmt));
        if (next >= e.args.size())
            return fail(e.line, QStringLiteral("Message format '%1' wants more values").arg(fmt));
        uint64_t v = 0;
        if (!eval(*e.args[next++], v))
            return false;
        const QChar conv = fmt[j];
        QString text = conv == QLatin1Char('x') || conv == QLatin1Char('X')
            ? QString::number(qulonglong(v), 16)
            : QString::number(qulonglong(v));
        if (conv == QLatin1Char('X'))
            text = text.toUpper();
        out += text.rightJustified(width, zero ? QLatin1Char('0') : QLatin1Char(' '));
        i = j;
    }
    return true;
}

// An access that failed: the end of the run, or with __errorcontrol bit 0 a value of 0, a
// non-zero __Result and a target recovered for the next access.
bool SequenceRunner::access(const pack::Expr &e, bool ok, const QString &what, uint64_t &value)
{
    if (ok) {
        m_globals["__Result"] = 0;
        return true;
    }
    if ((m_globals.value("__errorcontrol") & 1) && m_host.recoverable()) {
        m_host.recover();
        m_globals["__Result"] = 1;
        value = 0;
        return true;
    }
    return fail(e.line, QStringLiteral("%1 failed: %2").arg(what, m_host.lastError()));
}

bool SequenceRunner::call(const pack::Expr &e, uint64_t &value)
{
    const Signature *sig = nullptr;
    for (const Signature &s : kFunctions)
        if (e.text == QLatin1String(s.name))
            sig = &s;
    if (!sig)
        return fail(e.line, QStringLiteral("unknown function %1").arg(e.text));
    if (sig->args >= 0 ? e.args.size() != sig->args : e.args.size() < 2)
        return fail(
            e.line,
            QStringLiteral("%1 takes %2 arguments, not %3")
                .arg(e.text,
                     sig->args >= 0 ? QString::number(sig->args) : QStringLiteral("at least 2"),
                     QString::number(e.args.size())));
    const QString &f = e.text;
    const bool wantsString = f == "Sequence" || f == "LoadDebugInfo" || f == "QueryValue"
        || f == "Message" || f == "Query";
    // Every value argument is evaluated first, left to right; strings stay for the call.
    uint64_t a[3] = {0, 0, 0};
    const int stringAt = f == "Query" || f == "Message" ? 1 : 0;
    for (int i = 0; i < qMin(int(e.args.size()), 3); ++i) {
        if ((wantsString && i == stringAt) || (f == "Message" && i > 1))
            continue;
        if (!eval(*e.args[i], a[i]))
            return false;
    }
    value = 0;
    const uint8_t ap = uint8_t(m_globals.value("__ap"));
    if (f.startsWith(QLatin1String("Read")) && f.size() <= 6 && f[4].isDigit()) {
        const int bits = f.midRef(4).toInt();
        if (a[0] % (bits / 8))
            return fail(e.line,
                        QStringLiteral("%1(%2): address not aligned").arg(f, hexValue(a[0])));
        const bool ok = m_host.readMemory(ap, bits, a[0], value);
        return access(e, ok, QStringLiteral("%1(%2)").arg(f, hexValue(a[0])), value);
    }
    if (f.startsWith(QLatin1String("Write")) && f.size() <= 7 && f[5].isDigit()) {
        const int bits = f.midRef(5).toInt();
        if (a[0] % (bits / 8))
            return fail(e.line,
                        QStringLiteral("%1(%2): address not aligned").arg(f, hexValue(a[0])));
        const uint64_t v = bits == 64 ? a[1] : a[1] & ((uint64_t(1) << bits) - 1);
        const bool ok = m_host.writeMemory(ap, bits, a[0], v);
        return access(e, ok, QStringLiteral("%1(%2, %3)").arg(f, hexValue(a[0]), hexValue(v)),
                      value);
    }
    if (f == "ReadDP" || f == "ReadAP" || f == "WriteDP" || f == "WriteAP") {
        if (a[0] > 0xFF || (a[0] & 3) || (f.endsWith(QLatin1String("DP")) && a[0] > 0xC))
            return fail(e.line, QStringLiteral("%1: no register at %2").arg(f, hexValue(a[0])));
        const uint8_t reg = uint8_t(a[0]);
        uint32_t word = uint32_t(a[1]);
        bool ok = false;
        if (f == "ReadDP")
            ok = m_host.readDp(reg, word);
        else if (f == "ReadAP")
            ok = m_host.readAp(ap, reg, word);
        else if (f == "WriteDP")
            ok = m_host.writeDp(reg, word);
        else
            ok = m_host.writeAp(ap, reg, word);
        if (f.startsWith(QLatin1String("Read")))
            value = word;
        const QString what = f.startsWith(QLatin1String("Read"))
            ? QStringLiteral("%1(%2)").arg(f, hexValue(a[0]))
            : QStringLiteral("%1(%2, %3)").arg(f, hexValue(a[0]), hex8(word));
        if (!access(e, ok, what, value))
            return false;
        if (!ok)
            value = 0;
        return true;
    }
    if (f == "DAP_WriteABORT")
        return access(e, m_host.writeDp(0x0, uint32_t(a[0])),
                      QStringLiteral("DAP_WriteABORT(%1)").arg(hexValue(a[0])), value);
    if (f == "DAP_Delay")
        return access(e, m_host.delayUs(uint32_t(qMin<uint64_t>(a[0], 0xFFFFFFFFu))),
                      QStringLiteral("DAP_Delay(%1)").arg(a[0]), value);
    if (f == "DAP_SWJ_Clock") {
        if (a[0] == 0 || a[0] > 0xFFFFFFFFu)
            return fail(e.line, QStringLiteral("DAP_SWJ_Clock(%1): not a clock").arg(a[0]));
        return access(e, m_host.swjClock(uint32_t(a[0])),
                      QStringLiteral("DAP_SWJ_Clock(%1)").arg(a[0]), value);
    }
    if (f == "DAP_SWJ_Sequence") {
        if (a[0] < 1 || a[0] > 64)
            return fail(e.line, QStringLiteral("DAP_SWJ_Sequence: %1 bits, not 1 to 64").arg(a[0]));
        return access(e, m_host.swjSequence(unsigned(a[0]), a[1]),
                      QStringLiteral("DAP_SWJ_Sequence(%1, %2)").arg(a[0]).arg(hexValue(a[1])),
                      value);
    }
    if (f == "DAP_SWJ_Pins") {
        uint8_t pins = 0;
        const bool ok = m_host.swjPins(uint8_t(a[0]), uint8_t(a[1]),
                                       uint32_t(qMin<uint64_t>(a[2], 0xFFFFFFFFu)), pins);
        if (!access(e, ok,
                    QStringLiteral("DAP_SWJ_Pins(%1, %2, %3)")
                        .arg(hexValue(a[0]), hexValue(a[1]))
                        .arg(a[2]),
                    value))
            return false;
        value = ok ? pins : 0xFFFFFFFFu;
        return true;
    }
    QString text;
    if (f == "Sequence")
        return stringArg(e, 0, text) && run(text) && (m_globals["__Result"] = 0, true);
    if (f == "LoadDebugInfo") {
        if (!stringArg(e, 0, text))
            return false;
        note(QStringLiteral("%1 line %2: LoadDebugInfo(\"%3\") ignored: programming uses no "
                            "debug information")
                 .arg(m_frames.back().sequence, QString::number(e.line), text));
        return true;
    }
    if (f == "Query" || f == "QueryValue") {
        const uint64_t fallback = f == "Query" ? a[2] : a[1];
        if (!stringArg(e, f == "Query" ? 1 : 0, text))
            return false;
        note(QStringLiteral("%1 line %2: \"%3\": no one to ask in this run, taking the default %4")
                 .arg(m_frames.back().sequence, QString::number(e.line), text, hexValue(fallback)));
        value = fallback;
        m_globals["__Result"] = 0;
        return true;
    }
    // Message(type, format, ...): 0 information, 1 warning, 2 error, which ends the run.
    if (!format(e, text))
        return false;
    if (a[0] >= 2)
        return fail(e.line, text);
    note(QStringLiteral("%1: %2").arg(
        a[0] == 1 ? QStringLiteral("warning") : QStringLiteral("info"), text));
    m_globals["__Result"] = 0;
    return true;
}
