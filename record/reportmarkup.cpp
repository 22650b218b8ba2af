// See reportmarkup.h.
#include "reportmarkup.h"

namespace reportmarkup {

// Text from the record (serials, names, messages) is never trusted as markup.
QString esc(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString num(double v)
{
    return QString::number(v, 'g', 12);
}

QString hex8(quint32 v)
{
    return QString::asprintf("0x%08X", v);
}

// A figure tagged with its JSON key; `shown` is what the reader sees.
QString fig(const QString &key, const QString &shown)
{
    return QStringLiteral("<span data-k=\"%1\">%2</span>").arg(esc(key), esc(shown));
}

QString yieldFig(const QString &key, const ReportCount &c)
{
    return c.finished() ? fig(key, num(c.yield())) + QLatin1Char('%') : fig(key, "-");
}

QString msFig(const QString &key, qint64 ms)
{
    return ms >= 0 ? fig(key, QString::number(ms)) + QStringLiteral(" ms") : fig(key, "-");
}

QString localTime(const QDateTime &utc)
{
    return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace reportmarkup
