#include "jobalgorithms.h"

#include <QCoreApplication>
#include <algorithm>

namespace pack {

namespace {

struct Range
{
    uint64_t start, end;
    bool overlaps(const Range &o) const { return start < o.end && o.start < end; }
};

// Where a range lies in the memory an alias names, so that two views of one flash compare equal.
Range canonical(const TargetDescription &d, uint32_t start, uint64_t end)
{
    for (const MemoryRegion &m : d.memories) {
        if (m.alias.isEmpty() || start < m.start || start >= m.end())
            continue;
        const MemoryRegion &root = d.aliasRoot(m);
        const int64_t shift = int64_t(root.start) - int64_t(m.start);
        return {uint64_t(int64_t(start) + shift), uint64_t(int64_t(end) + shift)};
    }
    return {start, end};
}

Range canonical(const TargetDescription &d, const FlashAlgorithmRef &a)
{
    return canonical(d, a.start, a.end());
}

QString hex(uint64_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

} // namespace

bool isNamed(const FlashAlgorithmRef &a, const QString &name)
{
    const QString base = algorithmName(a);
    const QString stem = base.section(QLatin1Char('.'), 0, 0);
    return name.compare(base, Qt::CaseInsensitive) == 0
        || name.compare(stem, Qt::CaseInsensitive) == 0
        || name.compare(a.path, Qt::CaseInsensitive) == 0;
}

bool selectCore(TargetDescription &device, const QString &name, QString &error)
{
    const QString wanted = name.isEmpty() ? device.bootCore : name;
    const Processor *chosen = nullptr;
    QStringList cores;
    for (const Processor &p : device.processors) {
        cores << (p.pname.isEmpty() ? p.core : p.pname);
        if (p.pname.compare(wanted, Qt::CaseInsensitive) == 0)
            chosen = &p;
    }
    if (!chosen && !name.isEmpty()) {
        error = QCoreApplication::translate("Pack", "%1没有内核%2（有：%3）")
                    .arg(device.device, name, cores.join(QStringLiteral(", ")));
        return false;
    }
    const QString pname = chosen ? chosen->pname : QString();
    if (chosen)
        device.processor = *chosen;
    auto other = [&pname](const QString &of) {
        return !of.isEmpty() && of.compare(pname, Qt::CaseInsensitive) != 0;
    };
    device.memories.erase(std::remove_if(device.memories.begin(), device.memories.end(),
                                         [&](const MemoryRegion &m) { return other(m.pname); }),
                          device.memories.end());
    device.algorithms.erase(
        std::remove_if(device.algorithms.begin(), device.algorithms.end(),
                       [&](const FlashAlgorithmRef &a) { return other(a.pname); }),
        device.algorithms.end());
    device.elements.erase(std::remove_if(device.elements.begin(), device.elements.end(),
                                         [&](const PackElement &e) { return other(e.pname); }),
                          device.elements.end());
    return true;
}

QString algorithmName(const FlashAlgorithmRef &algorithm)
{
    return algorithm.path.section(QLatin1Char('/'), -1);
}

bool runnableStyle(const FlashAlgorithmRef &algorithm)
{
    return algorithm.style.isEmpty()
        || algorithm.style.compare(QLatin1String("Keil"), Qt::CaseInsensitive) == 0
        || algorithm.style.compare(QLatin1String("CMSIS"), Qt::CaseInsensitive) == 0;
}

QString roleText(AlgorithmRole role)
{
    switch (role) {
    case AlgorithmRole::Default:
        return QCoreApplication::translate("Pack", "默认");
    case AlgorithmRole::Named:
        return QCoreApplication::translate("Pack", "指定");
    case AlgorithmRole::Image:
        return QCoreApplication::translate("Pack", "映像所在");
    case AlgorithmRole::Unused:
        break;
    }
    return QCoreApplication::translate("Pack", "按需");
}

bool planAlgorithms(const TargetDescription &device, const QVector<ImageSpan> &images,
                    const QStringList &named, QVector<AlgorithmUse> &out, QString &error)
{
    const QVector<FlashAlgorithmRef> &all = device.algorithms;
    out.clear();
    for (int i = 0; i < all.size(); ++i)
        out.append({i, AlgorithmRole::Unused});
    auto refuseStyle = [&](const FlashAlgorithmRef &a) {
        error =
            QCoreApplication::translate("Pack", "%1 第%2行 <algorithm>：%3：%4格式的算法无法运行")
                .arg(device.descriptionFile, QString::number(a.line), a.path, a.style);
        return false;
    };
    for (const QString &name : named) {
        int found = -1;
        for (int i = 0; i < all.size() && found < 0; ++i)
            found = isNamed(all[i], name) ? i : -1;
        if (found < 0) {
            QStringList names;
            for (const FlashAlgorithmRef &a : all)
                names << algorithmName(a);
            error = QCoreApplication::translate("Pack", "%1没有烧写算法%2（有：%3）")
                        .arg(device.device, name, names.join(QStringLiteral(", ")));
            return false;
        }
        if (!runnableStyle(all[found]))
            return refuseStyle(all[found]);
        out[found].role = AlgorithmRole::Named;
    }
    auto inUse = [&](int i) {
        return out[i].role == AlgorithmRole::Default || out[i].role == AlgorithmRole::Named;
    };
    for (int i = 0; i < all.size(); ++i) {
        if (!all[i].isDefault || !runnableStyle(all[i]) || out[i].role != AlgorithmRole::Unused)
            continue;
        bool taken = false;
        for (int j = 0; j < all.size() && !taken; ++j)
            taken =
                j != i && inUse(j) && canonical(device, all[i]).overlaps(canonical(device, all[j]));
        if (!taken)
            out[i].role = AlgorithmRole::Default;
    }
    for (const ImageSpan &image : images) {
        int at = -1;
        for (int i = 0; i < all.size() && at < 0; ++i)
            at = inUse(i) && image.start >= all[i].start && image.start < all[i].end() ? i : -1;
        for (int i = 0; i < all.size() && at < 0; ++i)
            at = out[i].role == AlgorithmRole::Unused && runnableStyle(all[i])
                    && image.start >= all[i].start && image.start < all[i].end()
                ? i
                : -1;
        for (int i = 0; i < all.size() && at < 0; ++i)
            at = image.start >= all[i].start && image.start < all[i].end() ? i : -1;
        if (at < 0)
            continue; // the builder names the image no range holds
        if (!runnableStyle(all[at]))
            return refuseStyle(all[at]);
        if (out[at].role == AlgorithmRole::Unused)
            out[at].role = AlgorithmRole::Image;
    }
    return true;
}

bool selectAlgorithms(TargetDescription &device, const QVector<ImageSpan> &images,
                      const QStringList &named, QString &error)
{
    QVector<AlgorithmUse> uses;
    if (!planAlgorithms(device, images, named, uses, error))
        return false;
    for (int i = 0; i < images.size(); ++i) {
        const Range a =
            canonical(device, images[i].start, uint64_t(images[i].start) + images[i].length);
        for (int j = 0; j < i; ++j) {
            const Range b =
                canonical(device, images[j].start, uint64_t(images[j].start) + images[j].length);
            if (a.overlaps(b)
                && !Range{images[i].start, uint64_t(images[i].start) + images[i].length}.overlaps(
                    {images[j].start, uint64_t(images[j].start) + images[j].length})) {
                error = QCoreApplication::translate("Pack", "%1与%2是同一块闪存（别名），地址重叠")
                            .arg(images[i].name, images[j].name);
                return false;
            }
        }
    }
    QVector<FlashAlgorithmRef> kept;
    for (const AlgorithmUse &use : uses) {
        if (use.role == AlgorithmRole::Unused)
            continue;
        FlashAlgorithmRef a = device.algorithms[use.index];
        a.fullErase = use.role == AlgorithmRole::Default || use.role == AlgorithmRole::Named;
        kept << a;
    }
    device.algorithms = kept;
    return true;
}

QString imageBoundsProblem(const TargetDescription &device, const FlashAlgorithmRef &algorithm,
                           const ImageSpan &image)
{
    const uint64_t end = uint64_t(image.start) + image.length;
    // Option bytes and external loaders often lie outside every <memory>: there the algorithm's
    // range is the bound.
    bool described = false, inMemory = false;
    for (const MemoryRegion &m : device.memories) {
        described = described || (m.start < algorithm.end() && algorithm.start < m.end());
        inMemory = inMemory || (image.start >= m.start && end <= m.end());
    }
    inMemory = inMemory || !described;
    uint64_t limit = algorithm.end();
    if (algorithm.deviceSize)
        limit = std::min<uint64_t>(limit, uint64_t(algorithm.start) + algorithm.deviceSize);
    if (inMemory && image.start >= algorithm.start && end <= limit)
        return {};
    const QString where = !inMemory
        ? QCoreApplication::translate("Pack", "不在%1的任何存储区内").arg(device.device)
        : QCoreApplication::translate("Pack", "超出烧写算法%1的范围%2-%3")
              .arg(algorithmName(algorithm), hex(algorithm.start), hex(limit - 1));
    return QCoreApplication::translate("Pack", "%1（%2字节，位于%3）%4")
        .arg(image.name, QString::number(image.length), hex(image.start), where);
}

} // namespace pack
