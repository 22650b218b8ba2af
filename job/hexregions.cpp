// Region splitting of merged HEX files.
#include "job/hexregions.h"

#include "images/hexfilereader.h"

#include <QList>
#include <algorithm>

namespace job {

namespace {

struct Line
{
    QByteArray text;
    int type = -1;
    uint32_t address = 0; // absolute, for data records
    int count = 0;
};

bool hexByte(const QByteArray &s, int at, int &value)
{
    bool ok = false;
    value = s.mid(at, 2).toInt(&ok, 16);
    return ok && at + 2 <= s.size();
}

// Parses every line; false on anything that is not a well-formed record.
bool scan(const QByteArray &text, QVector<Line> &lines)
{
    uint32_t base = 0;
    for (QByteArray raw : text.split('\n')) {
        raw = raw.trimmed();
        if (raw.isEmpty())
            continue;
        if (raw.at(0) != ':' || raw.size() < 11 || raw.size() % 2 == 0)
            return false;
        int count = 0, high = 0, low = 0, type = 0;
        if (!hexByte(raw, 1, count) || !hexByte(raw, 3, high) || !hexByte(raw, 5, low)
            || !hexByte(raw, 7, type) || raw.size() != 11 + 2 * count)
            return false;
        Line line{raw, type, 0, count};
        if (type == 2 || type == 4) {
            int b0 = 0, b1 = 0;
            if (count < 2 || !hexByte(raw, 9, b0) || !hexByte(raw, 11, b1))
                return false;
            base = type == 4 ? uint32_t((b0 << 8) | b1) << 16 : uint32_t((b0 << 8) | b1) << 4;
        }
        line.address = base + uint32_t((high << 8) | low);
        lines.append(line);
        if (type == 1)
            break;
    }
    return true;
}

struct Region
{
    uint32_t first;
    uint64_t end;
};

// Greedy clusters in address order, each spanning at most one image buffer.
QVector<Region> clusters(const QVector<Line> &lines)
{
    QVector<Region> spans;
    for (const Line &line : lines) {
        if (line.type == 0 && line.count > 0)
            spans.append({line.address, uint64_t(line.address) + line.count});
    }
    std::sort(spans.begin(), spans.end(),
              [](const Region &a, const Region &b) { return a.first < b.first; });
    QVector<Region> regions;
    for (const Region &span : spans) {
        if (!regions.isEmpty() && span.end - regions.last().first <= HexFileReader::imageSize) {
            regions.last().end = std::max(regions.last().end, span.end);
            continue;
        }
        regions.append(span);
    }
    return regions;
}

} // namespace

QVector<QByteArray> splitHexRegions(const QByteArray &text)
{
    QVector<Line> lines;
    if (!scan(text, lines))
        return {};
    const QVector<Region> regions = clusters(lines);
    if (regions.size() < 2)
        return {};
    QVector<QByteArray> texts;
    for (const Region &region : regions) {
        // Only the address records in force for the region's data go with it: the reader takes
        // the first one as where the image may begin.
        QByteArray out, base, emittedBase;
        for (const Line &line : lines) {
            if (line.type == 2 || line.type == 4)
                base = line.text;
            if (line.type != 0 || line.count == 0 || line.address < region.first
                || line.address >= region.end)
                continue;
            if (base != emittedBase) {
                out += base + '\n';
                emittedBase = base;
            }
            out += line.text + '\n';
        }
        texts.append(out + ":00000001FF\n");
    }
    return texts;
}

} // namespace job
