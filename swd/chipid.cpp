// The chip's unique ID: its place from the job or the pack, its bytes over the debug port.
#include "swd/chipid.h"

#include "swd/debug/debugport.h"
#include "swd/link/dappipe.h"

#include <QCoreApplication>

#include <vector>

namespace {

bool number(const QString &text, uint64_t &value)
{
    bool ok = false;
    const QString t = text.trimmed();
    value = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16)
                                                                   : t.toULongLong(&ok, 10);
    return ok && !t.isEmpty();
}

bool place(const QString &address, const QString &length, const QString &shown, UidPlace &out,
           QString &error)
{
    uint64_t a = 0, n = 0;
    if (!number(address, a) || !number(length, n) || n == 0 || n > kMaxUidBytes
        || a + n > 0x100000000ull) {
        error = QCoreApplication::translate("Swd", "芯片ID位置无效（地址:长度，1到%1字节）：%2")
                    .arg(kMaxUidBytes)
                    .arg(shown);
        return false;
    }
    out.address = uint32_t(a);
    out.length = uint32_t(n);
    return true;
}

} // namespace

bool parseUidPlace(const QString &text, UidPlace &out, QString &error)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2) {
        error = QCoreApplication::translate("Swd", "芯片ID位置无效（地址:长度，1到%1字节）：%2")
                    .arg(kMaxUidBytes)
                    .arg(text);
        return false;
    }
    return place(parts[0], parts[1], text, out, error);
}

bool uidPlaceOf(const pack::TargetDescription &target, UidPlace &out, QString &error)
{
    out = UidPlace();
    for (const pack::PackElement &e : target.elements) {
        if (e.element != QLatin1String("uniqueid"))
            continue;
        QString start, size;
        for (const auto &a : e.attributes) {
            if (a.first == QLatin1String("start"))
                start = a.second;
            else if (a.first == QLatin1String("size"))
                size = a.second;
        }
        return place(
            start, size,
            QStringLiteral("%1:%2 (%3:%4)").arg(start, size, target.descriptionFile).arg(e.line),
            out, error);
    }
    return true;
}

SwdResult readChipUid(DapTransport &probe, uint32_t clockHz, const UidPlace &place, QString &hex)
{
    hex.clear();
    DapPipe link(probe);
    DebugPort port(link);
    const uint32_t first = place.address & ~3u;
    const uint64_t last = (uint64_t(place.address) + place.length + 3) & ~uint64_t(3);
    std::vector<uint32_t> words(size_t((last - first) / 4));
    if (link.open() && port.connect(clockHz) && port.readBlock(first, words.data(), words.size())
        && port.sync()) {
        QByteArray bytes;
        for (const uint32_t w : words)
            for (int b = 0; b < 4; ++b)
                bytes += char(w >> (8 * b)); // the target is little-endian
        hex = QString::fromLatin1(bytes.mid(int(place.address - first), int(place.length)).toHex());
    }
    port.disconnect();
    link.drain();
    SwdResult result = link.error();
    if (!result.ok())
        result.message = QCoreApplication::translate("Swd", "芯片ID（%1，%2字节）无法读出：%3")
                             .arg(hex8(place.address))
                             .arg(place.length)
                             .arg(result.message);
    return result;
}
