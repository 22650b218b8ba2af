// Chip list, model codes and firmware gates.
#include "job/chipmodels.h"

#include <QRegularExpression>

namespace job {

namespace {

struct ChipEntry
{
    const char *name;
    int model;
};

// QA12 and QC18/19 are the same model on the wire.
constexpr ChipEntry chipEntries[chipEntryCount] = {
    {"", 0}, {"QA12", 5}, {"QB24", 1}, {"QB48V", 2}, {"QC16/18", 3}, {"QD52", 4}, {"QC18/19", 5},
};

bool inFamily(uint32_t probeId)
{
    return (probeId & 0xFFF0) == 0x0190;
}

} // namespace

int modelForIndex(int index)
{
    return index >= 0 && index < chipEntryCount ? chipEntries[index].model : 0;
}

int chipIndexForName(const QString &name)
{
    if (name.compare(QLatin1String("QB48"), Qt::CaseInsensitive) == 0)
        return defaultChipIndex;
    for (int i = 1; i < chipEntryCount; ++i) {
        if (name.compare(QLatin1String(chipEntries[i].name), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QStringList chipNames()
{
    QStringList names;
    for (int i = 1; i < chipEntryCount; ++i)
        names << QLatin1String(chipEntries[i].name);
    return names;
}

QString chipNameForModel(int model)
{
    for (int i = 1; i < chipEntryCount; ++i) {
        if (chipEntries[i].model == model)
            return QLatin1String(model == 5 ? "QA12" : chipEntries[i].name);
    }
    return QString();
}

QString firmwareVersionText(uint32_t v)
{
    return QString("%1.%2%3").arg((v >> 8) & 0xFF).arg((v >> 4) & 0xF).arg(v & 0xF);
}

bool firmwareAccepted(uint32_t probeId)
{
    return (probeId & 0xFFFFFFF0) == 0x6CFF0190;
}

bool firmwareRefusesQd52(uint32_t probeId)
{
    return inFamily(probeId) && (probeId & 0xF) <= 4;
}

bool firmwareRefusesReadback(uint32_t probeId)
{
    return inFamily(probeId) && (probeId & 0xF) <= 5;
}

bool level2PasswordMatches(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[A-Fa-f0-9]{0,8}$"));
    return hex.match(text).hasMatch() && text.toUInt(nullptr, 16) == readProtectLevel2Password;
}

} // namespace job
