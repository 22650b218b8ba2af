// Runs as CSV lines, written straight into UTF-8: a record of a million runs is exported row by
// row, so each cell is formatted without the general-purpose date and number texts.
#include "recordreport.h"

#include "resulttext.h"

#include <cstring>

namespace {

void appendDigits(QByteArray &out, int value, int width)
{
    char digits[12];
    for (int i = width - 1; i >= 0; --i, value /= 10)
        digits[i] = char('0' + value % 10);
    out.append(digits, width);
}

void appendHex8(QByteArray &out, quint32 v)
{
    static const char hex[] = "0123456789ABCDEF";
    char text[10] = {'0', 'x'};
    for (int i = 9; i >= 2; --i, v >>= 4)
        text[i] = hex[v & 0xf];
    out.append(text, 10);
}

// RFC 4180 quoting; a cell that a spreadsheet would run as a formula gets a leading apostrophe.
// The bytes that decide either are ASCII, which UTF-8 never uses inside a longer character.
void appendCell(QByteArray &out, const char *p, int n)
{
    const bool formula = n > 0 && std::memchr("=+-@", p[0], 4);
    bool quote = false;
    for (int i = 0; i < n && !quote; ++i)
        quote = p[i] == ',' || p[i] == '"' || p[i] == '\n' || p[i] == '\r';
    if (quote)
        out += '"';
    if (formula)
        out += '\'';
    if (!quote) {
        out.append(p, n);
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (p[i] == '"')
            out += '"';
        out += p[i];
    }
    out += '"';
}

void appendCell(QByteArray &out, const QByteArray &utf8)
{
    appendCell(out, utf8.constData(), utf8.size());
}

void appendCell(QByteArray &out, const QString &text)
{
    const int n = text.size();
    const QChar *p = text.constData();
    // Most cells are plain ASCII: copied as they are, without a UTF-8 copy on the way.
    bool plain = n == 0 || !std::memchr("=+-@", p[0].unicode(), 4);
    for (int i = 0; i < n && plain; ++i) {
        const ushort c = p[i].unicode();
        plain = c < 0x80 && c != ',' && c != '"' && c != '\n' && c != '\r';
    }
    if (!plain) {
        appendCell(out, text.toUtf8());
        return;
    }
    const int at = out.size();
    out.resize(at + n);
    char *to = out.data() + at;
    for (int i = 0; i < n; ++i)
        to[i] = char(p[i].unicode());
}

// ISO 8601 in UTC with milliseconds, as QDateTime writes it for the years 1 to 9999.
void appendIsoUtc(QByteArray &out, const QDateTime &t)
{
    if (!t.isValid())
        return;
    constexpr qint64 dayMs = 86400000;
    constexpr qint64 epochJulianDay = 2440588;
    const qint64 ms = t.toMSecsSinceEpoch();
    qint64 days = ms / dayMs;
    int rest = int(ms % dayMs);
    if (rest < 0) {
        rest += int(dayMs);
        --days;
    }
    const QDate d = QDate::fromJulianDay(days + epochJulianDay);
    if (d.year() < 1 || d.year() > 9999) {
        appendCell(out, t.toUTC().toString(Qt::ISODateWithMs));
        return;
    }
    appendDigits(out, d.year(), 4);
    out += '-';
    appendDigits(out, d.month(), 2);
    out += '-';
    appendDigits(out, d.day(), 2);
    out += 'T';
    appendDigits(out, rest / 3600000, 2);
    out += ':';
    appendDigits(out, rest / 60000 % 60, 2);
    out += ':';
    appendDigits(out, rest / 1000 % 60, 2);
    out += '.';
    appendDigits(out, rest % 1000, 3);
    out += 'Z';
}

QByteArray filesText(const QVector<RecordedFile> &files)
{
    QByteArray text;
    for (const RecordedFile &f : files) {
        if (!text.isEmpty())
            text += ';';
        text += f.name.toUtf8();
        text += '@';
        appendHex8(text, f.address);
        text += '+';
        text += QByteArray::number(f.length);
        text += '/';
        appendHex8(text, f.crc32);
    }
    return text;
}

bool sameFiles(const QVector<RecordedFile> &a, const QVector<RecordedFile> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].address != b[i].address || a[i].length != b[i].length
            || a[i].crc32 != b[i].crc32)
            return false;
    return true;
}

// Codes come from the record and may be anything; the texts kept stay few.
constexpr int maxResultCells = 256;

bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

} // namespace

void CsvRowWriter::append(QByteArray &out, const RecordedRun &r)
{
    const RunRecord &c = r.record;
    appendCell(out, QByteArray::number(r.id));
    out += ',';
    appendIsoUtc(out, c.startedUtc);
    out += ',';
    appendIsoUtc(out, r.endedUtc);
    out += ',';
    if (r.durationMs >= 0)
        appendCell(out, QByteArray::number(r.durationMs));
    for (const QString *text : {&c.host, &c.toolVersion, &c.probeSerial, &c.probeFirmware}) {
        out += ',';
        appendCell(out, *text);
    }
    out += ',';
    appendCell(out, QByteArray::number(c.chipModel));
    out += ',';
    appendHex8(out, c.deviceId);
    out += ',';
    appendCell(out, c.jobFile);
    out += ',';
    // Read back from text, the digest is Latin-1, and a damaged one must come out as such.
    if (isAscii(c.jobDigest))
        appendCell(out, c.jobDigest);
    else
        appendCell(out, QString::fromLatin1(c.jobDigest));
    out += ',';
    if (!haveFiles || !sameFiles(files, c.files)) {
        files = c.files;
        filesCell.clear();
        appendCell(filesCell, filesText(files));
        haveFiles = true;
    }
    out += filesCell;
    out += ',';
    appendCell(out, c.options);
    out += ',';
    if (c.hasSerial)
        appendHex8(out, c.serial);
    out += ',';
    appendCell(out, r.status);
    out += ',';
    if (r.result >= 0)
        appendCell(out, QByteArray::number(r.result));
    out += ',';
    appendCell(out, r.message);
    out += ',';
    appendCell(out, c.via);
    out += ',';
    // Translated anew per call, and a record repeats a handful of outcomes. Without a code the
    // text is the stored message itself.
    const bool interrupted = r.status == QLatin1String("interrupted");
    if (!interrupted && r.result < 0) {
        appendCell(out, recordedResultText(r.status, r.result, c.via, r.message));
    } else {
        const qint64 outcome =
            interrupted ? -1 : qint64(c.via == QLatin1String("swd")) << 32 | quint32(r.result);
        auto cell = resultCells.constFind(outcome);
        if (cell == resultCells.constEnd()) {
            if (resultCells.size() >= maxResultCells)
                resultCells.clear();
            QByteArray text;
            appendCell(text, recordedResultText(r.status, r.result, c.via, r.message));
            cell = resultCells.insert(outcome, text);
        }
        out += *cell;
    }
    out += ',';
    appendCell(out, c.chipUid);
    out += ',';
    appendCell(out, r.functional);
    out += ',';
    if (!r.functionalText.isEmpty())
        appendCell(out, QString::fromUtf8(r.functionalText));
    out += "\r\n";
}

QString RecordReport::csvHeader()
{
    return QStringLiteral(
        "id,started_utc,ended_utc,duration_ms,host,tool_version,probe_serial,probe_firmware,"
        "chip_model,device_id,job_file,job_digest,files,options,serial,status,result,message,via,"
        "result_text,chip_uid,functional,functional_text\r\n");
}

QString RecordReport::csvRow(const RecordedRun &run)
{
    QByteArray line;
    CsvRowWriter().append(line, run);
    return QString::fromUtf8(line);
}

QString RecordReport::csv(const QVector<RecordedRun> &runs)
{
    QByteArray out = csvHeader().toUtf8();
    CsvRowWriter rows;
    for (const RecordedRun &r : runs)
        rows.append(out, r);
    return QString::fromUtf8(out);
}
