#include "targetdescription.h"

#include <QCoreApplication>

namespace pack {

const FlashAlgorithmRef *TargetDescription::algorithmFor(uint32_t address) const
{
    const FlashAlgorithmRef *found = nullptr;
    for (const FlashAlgorithmRef &a : algorithms) {
        if (address < a.start || address >= a.end())
            continue;
        if (a.isDefault)
            return &a;
        if (!found)
            found = &a;
    }
    return found;
}

const MemoryRegion *TargetDescription::memory(const QString &name) const
{
    for (const MemoryRegion &m : memories) {
        if (m.name.compare(name, Qt::CaseInsensitive) == 0)
            return &m;
    }
    return nullptr;
}

const MemoryRegion *TargetDescription::windowedMemory(uint32_t address) const
{
    for (const MemoryRegion &m : memories) {
        if (m.readWindow && address >= m.start && address < m.end())
            return &m;
    }
    return nullptr;
}

namespace {

std::optional<uint32_t> attributeNumber(const PackElement &e, const char *name)
{
    for (const auto &a : e.attributes) {
        if (a.first != QLatin1String(name))
            continue;
        const QString t = a.second.trimmed();
        bool ok = false;
        const qulonglong v = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
            ? t.midRef(2).toULongLong(&ok, 16)
            : t.toULongLong(&ok, 10);
        if (ok && v <= 0xFFFFFFFFull)
            return uint32_t(v);
    }
    return std::nullopt;
}

} // namespace

bool TargetDescription::accessPort(uint8_t &apsel, QString &error) const
{
    const auto refuse = [&](const QString &why) {
        error = QCoreApplication::translate("Pack", "%1（%2）的访问端口：%3")
                    .arg(device, processor.pname.isEmpty() ? processor.core : processor.pname, why);
        return false;
    };
    std::optional<uint32_t> index = processor.ap;
    if (!index && processor.apid) {
        for (const PackElement &e : elements) {
            if (attributeNumber(e, "__apid") != processor.apid)
                continue;
            if (e.element != QLatin1String("accessportV1"))
                return refuse(
                    QCoreApplication::translate("Pack", "__apid %1是ADIv6端口（%2第%3行），不支持")
                        .arg(QString::number(*processor.apid), descriptionFile,
                             QString::number(e.line)));
            index = attributeNumber(e, "index");
            if (!index)
                return refuse(QCoreApplication::translate("Pack", "第%1行的accessportV1没有index")
                                  .arg(e.line));
            break;
        }
        if (!index)
            return refuse(QCoreApplication::translate("Pack", "没有声明__apid %1的accessportV1")
                              .arg(*processor.apid));
    }
    if (index.value_or(0) > 0xFF)
        return refuse(QCoreApplication::translate("Pack", "APSEL %1超出0至255").arg(*index));
    apsel = uint8_t(index.value_or(0));
    return true;
}

const MemoryRegion &TargetDescription::aliasRoot(const MemoryRegion &m) const
{
    const MemoryRegion *at = &m;
    // Bounded: a description may chain aliases into a loop.
    for (int hops = 0; hops < memories.size() && !at->alias.isEmpty(); ++hops) {
        const MemoryRegion *next = memory(at->alias);
        if (!next || next == at)
            break;
        at = next;
    }
    return *at;
}

} // namespace pack
