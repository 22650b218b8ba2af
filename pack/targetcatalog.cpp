#include "targetcatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

namespace pack {

namespace {

constexpr int kMaxCandidates = 5;

int distance(const QString &a, const QString &b)
{
    QVector<int> row(b.size() + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = up;
        }
    }
    return row[b.size()];
}

QString label(const TargetDescription &d)
{
    return QStringLiteral("%1 (%2)").arg(d.device, d.packId);
}

} // namespace

QString shippedPackFolder()
{
    const QString here = QCoreApplication::applicationDirPath();
    for (const char *relative : {QUORVEL_LIBEXEC_TO_PACKS, QUORVEL_BIN_TO_PACKS}) {
        const QString folder = QDir::cleanPath(here + QLatin1Char('/') + relative);
        if (QFileInfo(folder).isDir())
            return folder;
    }
    return QStringLiteral(QUORVEL_BUILD_PACKS_DIR);
}

QString userPackFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/quorvel/packs");
}

int compareVersions(const QString &a, const QString &b)
{
    const QStringList x = a.split(QRegularExpression(QStringLiteral("[.+-]")));
    const QStringList y = b.split(QRegularExpression(QStringLiteral("[.+-]")));
    for (int i = 0; i < std::max(x.size(), y.size()); ++i) {
        const QString p = i < x.size() ? x[i] : QString(), q = i < y.size() ? y[i] : QString();
        bool pn = false, qn = false;
        const qulonglong pv = p.toULongLong(&pn), qv = q.toULongLong(&qn);
        if (pn && qn && pv != qv)
            return pv < qv ? -1 : 1;
        if (pn && qn)
            continue;
        if (p.isEmpty() != q.isEmpty()) {
            // 1.2 < 1.2.1, but 1.0.0-rc1 < 1.0.0: a missing part is less than a number and more
            // than a pre-release label.
            const bool emptyIsLess = p.isEmpty() ? qn : pn;
            return (p.isEmpty() == emptyIsLess) ? -1 : 1;
        }
        if (p != q)
            return pn ? 1 : qn ? -1 : p.compare(q);
    }
    return 0;
}

bool TargetCatalog::addPack(const QString &path, QString &error, bool named)
{
    PackContents contents;
    if (!readPack(path, m_limits, contents, error))
        return false;
    contents.named = named;
    for (const PackContents::Refusal &r : qAsConst(contents.refused))
        m_warnings << r.message;
    m_packs << contents;
    return true;
}

bool TargetCatalog::inUse(const PackContents &pack) const
{
    bool namedOne = false;
    for (const PackContents &other : m_packs) {
        if (other.vendor == pack.vendor && other.name == pack.name && other.named)
            namedOne = true;
    }
    if (namedOne)
        return pack.named;
    for (const PackContents &other : m_packs) {
        if (other.vendor == pack.vendor && other.name == pack.name
            && compareVersions(other.version, pack.version) > 0)
            return false;
    }
    return true;
}

bool TargetCatalog::addFolder(const QString &folder, QString &error)
{
    const QDir dir(folder);
    if (!dir.exists())
        return true;
    for (const QFileInfo &entry :
         dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const bool archive = entry.isFile()
            && (entry.suffix().compare(QLatin1String("pack"), Qt::CaseInsensitive) == 0
                || entry.suffix().compare(QLatin1String("zip"), Qt::CaseInsensitive) == 0);
        const bool lone = entry.isFile()
            && entry.suffix().compare(QLatin1String("pdsc"), Qt::CaseInsensitive) == 0;
        const bool unpacked = entry.isDir()
            && !QDir(entry.filePath()).entryList({QStringLiteral("*.pdsc")}, QDir::Files).isEmpty();
        QString why;
        if ((archive || lone || unpacked) && !addPack(entry.filePath(), why))
            m_warnings
                << QCoreApplication::translate("Pack", "跳过包%1：%2").arg(entry.filePath(), why);
    }
    Q_UNUSED(error)
    return true;
}

QVector<const TargetDescription *> TargetCatalog::devices() const
{
    QVector<const TargetDescription *> all;
    for (const PackContents &p : m_packs) {
        if (!inUse(p))
            continue;
        for (const TargetDescription &d : p.devices)
            all << &d;
    }
    return all;
}

TargetCatalog::Resolution TargetCatalog::resolve(const QString &name) const
{
    Resolution r;
    const QString wanted = name.trimmed();
    QVector<const TargetDescription *> exact;
    QVector<QPair<int, const TargetDescription *>> near;
    for (const TargetDescription *d : devices()) {
        if (d->device.compare(wanted, Qt::CaseInsensitive) == 0) {
            exact << d;
            continue;
        }
        const QString lower = d->device.toLower(), w = wanted.toLower();
        // A part of the name typed (STM32F4 for STM32F407VG) ranks before a spelling slip.
        const int score =
            lower.contains(w) && !w.isEmpty() ? lower.size() - w.size() : 1000 + distance(lower, w);
        near << qMakePair(score, d);
    }
    if (exact.size() == 1) {
        r.device = exact.front();
        return r;
    }
    if (exact.size() > 1) {
        for (const TargetDescription *d : exact)
            r.candidates << label(*d);
        r.message = QCoreApplication::translate("Pack", "设备名%1不唯一，可能是：%2")
                        .arg(wanted, r.candidates.join(QStringLiteral(", ")));
        return r;
    }
    for (const PackContents &p : m_packs) {
        for (const PackContents::Refusal &refused : p.refused) {
            if (inUse(p) && refused.device.compare(wanted, Qt::CaseInsensitive) == 0) {
                r.message = refused.message;
                return r;
            }
        }
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (int i = 0; i < near.size() && i < kMaxCandidates; ++i)
        r.candidates << near[i].second->device;
    r.message = r.candidates.isEmpty()
        ? QCoreApplication::translate("Pack", "未知设备：%1（没有可用的包）").arg(wanted)
        : QCoreApplication::translate("Pack", "未知设备：%1。最接近的：%2")
              .arg(wanted, r.candidates.join(QStringLiteral(", ")));
    return r;
}

} // namespace pack
