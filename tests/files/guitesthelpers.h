// Small helpers shared by the file-list, help-tool and offline GUI tests.
#pragma once

#include "download.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstring>

namespace guitest {

inline QString red(const QString &inner)
{
    return QStringLiteral("<font color='#DD6622' size='+2' face='新宋体'><b> ") + inner
        + QStringLiteral(" </b></font>");
}

inline QString blue(const QString &inner)
{
    return QStringLiteral("<font color='#6688DD' size='+2' face='新宋体'><b> ") + inner
        + QStringLiteral(" </b></font>");
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Fills slot i directly, as a loaded file would (the window frees the buffer at exit).
inline void fillSlot(Download &d, int i, const QByteArray &image, uint32_t address)
{
    if (!d.imageData[i])
        d.imageData[i] = new uint8_t[Download::imageBufferSize];
    if (!image.isEmpty())
        std::memcpy(d.imageData[i], image.constData(), size_t(image.size()));
    d.imageLength[i] = uint32_t(image.size());
    d.imageAddress[i] = address;
}

// Bitwise reference CRC-32 (reflected 0x04C11DB7), independent of the table-driven one.
inline uint32_t referenceCrc32(const QByteArray &bytes)
{
    uint32_t crc = 0xFFFFFFFF;
    for (char c : bytes) {
        crc ^= uint8_t(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Collects qDebug lines while alive.
class DebugCapture
{
public:
    DebugCapture()
    {
        lines().clear();
        previous = qInstallMessageHandler(&DebugCapture::handler);
    }
    ~DebugCapture() { qInstallMessageHandler(previous); }
    static QStringList &lines()
    {
        static QStringList all;
        return all;
    }
    int count(const QString &needle) const
    {
        int n = 0;
        for (const QString &l : lines())
            n += l.contains(needle) ? 1 : 0;
        return n;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &msg)
    {
        if (type == QtDebugMsg)
            lines().append(msg);
    }
    QtMessageHandler previous;
};

} // namespace guitest
