#include "images/readoutfile.h"

#include "images/hexwriter.h"

#include <QFileInfo>
#include <QSaveFile>

ReadOutFormat readOutFormat(const QString &file)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    return suffix == QLatin1String("bin") ? ReadOutFormat::Bin
        : suffix == QLatin1String("hex")  ? ReadOutFormat::Hex
                                          : ReadOutFormat::None;
}

bool writeReadOut(const QString &file, uint32_t address, const QByteArray &bytes)
{
    const ReadOutFormat format = readOutFormat(file);
    if (format == ReadOutFormat::None)
        return false;
    QSaveFile out(file);
    const QByteArray text = format == ReadOutFormat::Hex ? intelHex(address, bytes) : bytes;
    return out.open(QIODevice::WriteOnly) && out.write(text) == text.size() && out.commit();
}
