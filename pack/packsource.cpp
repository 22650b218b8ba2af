// Zip archives through libzip, folders through QFile; both behind the same member names.
#include "packsource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <zip.h>

namespace pack {

namespace {

bool isDescription(const QString &member)
{
    return !member.contains(QLatin1Char('/'))
        && member.endsWith(QLatin1String(".pdsc"), Qt::CaseInsensitive);
}

QString pickDescription(const QStringList &names, const QString &pack, QString &error)
{
    if (names.size() == 1)
        return names.front();
    error = names.isEmpty() ? QCoreApplication::translate("Pack", "%1：包中没有.pdsc文件").arg(pack)
                            : QCoreApplication::translate("Pack", "%1：包中有多个.pdsc文件：%2")
                                  .arg(pack, names.join(", "));
    return {};
}

QString tooLarge(const QString &member, qint64 cap)
{
    return QCoreApplication::translate("Pack", "%1：文件超过%2字节上限")
        .arg(member, QString::number(cap));
}

class ZipSource : public PackSource
{
public:
    ZipSource(const QString &path, const PackLimits &limits, zip_t *archive)
        : PackSource(path, limits)
        , m_zip(archive)
    { }
    ~ZipSource() override { zip_discard(m_zip); }
    ZipSource(const ZipSource &) = delete;
    ZipSource &operator=(const ZipSource &) = delete;

    bool index(QString &error)
    {
        const zip_int64_t count = zip_get_num_entries(m_zip, 0);
        if (count < 0 || count > m_limits.maxEntries) {
            error = QCoreApplication::translate("Pack", "%1：压缩包条目过多（%2）")
                        .arg(m_path, QString::number(count));
            return false;
        }
        for (zip_int64_t i = 0; i < count; ++i) {
            const char *raw = zip_get_name(m_zip, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
            if (!raw)
                continue;
            // Unsafe names stay out of the index: nothing can ask for them.
            const QString member = safeMemberPath(QString::fromUtf8(raw));
            if (member.isEmpty() || member.endsWith(QLatin1Char('/')))
                continue;
            m_entries.insert(member, zip_uint64_t(i));
            m_folded.insert(member.toLower(), zip_uint64_t(i));
            if (isDescription(member))
                m_descriptions << member;
        }
        return true;
    }

    QString descriptionName(QString &error) const override
    {
        return pickDescription(m_descriptions, m_path, error);
    }

    bool contains(const QString &member) const override { return find(member) >= 0; }

    bool read(const QString &member, qint64 cap, QByteArray &out, QString &error) const override
    {
        const qint64 at = find(member);
        zip_stat_t st;
        zip_stat_init(&st);
        if (at < 0 || zip_stat_index(m_zip, zip_uint64_t(at), 0, &st) != 0) {
            error = QCoreApplication::translate("Pack", "%1：包中没有此文件").arg(member);
            return false;
        }
        if ((st.valid & ZIP_STAT_SIZE) && st.size > zip_uint64_t(cap)) {
            error = tooLarge(member, cap);
            return false;
        }
        if ((st.valid & ZIP_STAT_SIZE) && (st.valid & ZIP_STAT_COMP_SIZE) && st.size > 65536
            && st.size > zip_uint64_t(m_limits.maxRatio) * st.comp_size) {
            error = QCoreApplication::translate("Pack", "%1：压缩比异常（%2字节压缩为%3字节）")
                        .arg(member, QString::number(qulonglong(st.size)),
                             QString::number(qulonglong(st.comp_size)));
            return false;
        }
        zip_file_t *file = zip_fopen_index(m_zip, zip_uint64_t(at), 0);
        if (!file) {
            error = QCoreApplication::translate("Pack", "%1：无法解压：%2")
                        .arg(member, QString::fromUtf8(zip_strerror(m_zip)));
            return false;
        }
        // The declared size is only a claim: read at most one byte past it (or the cap) to prove
        // it.
        const bool sized = st.valid & ZIP_STAT_SIZE;
        out.resize(int(sized ? qint64(st.size) + 1 : cap + 1));
        qint64 got = 0;
        while (got < out.size()) {
            const zip_int64_t n = zip_fread(file, out.data() + got, zip_uint64_t(out.size() - got));
            if (n <= 0) {
                if (n < 0) {
                    error = QCoreApplication::translate("Pack", "%1：无法解压：%2")
                                .arg(member, QString::fromUtf8(zip_file_strerror(file)));
                    zip_fclose(file);
                    return false;
                }
                break;
            }
            got += n;
        }
        zip_fclose(file);
        if (got > cap) {
            error = tooLarge(member, cap);
            return false;
        }
        if (sized && got != qint64(st.size)) {
            error = QCoreApplication::translate("Pack", "%1：无法解压：%2")
                        .arg(member, QStringLiteral("size differs from the archive's directory"));
            return false;
        }
        out.truncate(int(got));
        return true;
    }

private:
    qint64 find(const QString &member) const
    {
        auto it = m_entries.constFind(member);
        if (it != m_entries.constEnd())
            return qint64(*it);
        // Packs written on case-insensitive systems may spell a name differently.
        auto folded = m_folded.constFind(member.toLower());
        return folded != m_folded.constEnd() ? qint64(*folded) : -1;
    }

    zip_t *m_zip;
    QHash<QString, zip_uint64_t> m_entries;
    QHash<QString, zip_uint64_t> m_folded;
    QStringList m_descriptions;
};

class FolderSource : public PackSource
{
public:
    FolderSource(const QString &path, const PackLimits &limits, const QString &root,
                 const QString &description = {})
        : PackSource(path, limits)
        , m_root(QFileInfo(root).canonicalFilePath())
        , m_description(description)
    { }

    QString descriptionName(QString &error) const override
    {
        if (!m_description.isEmpty())
            return m_description;
        QStringList names =
            QDir(m_root).entryList({QStringLiteral("*.pdsc")}, QDir::Files, QDir::Name);
        return pickDescription(names, m_path, error);
    }

    bool contains(const QString &member) const override { return !resolve(member).isEmpty(); }

    bool read(const QString &member, qint64 cap, QByteArray &out, QString &error) const override
    {
        const QString file = resolve(member);
        if (file.isEmpty()) {
            error = QCoreApplication::translate("Pack", "%1：包中没有此文件").arg(member);
            return false;
        }
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) {
            error = QCoreApplication::translate("Pack", "%1：无法读取").arg(member);
            return false;
        }
        out = f.read(cap + 1);
        if (out.size() > cap) {
            error = tooLarge(member, cap);
            return false;
        }
        return true;
    }

private:
    // The member's real file when it lies inside the folder (links followed); else empty. A pack
    // written on a case-insensitive system may spell a folder or file differently from the disk.
    QString resolve(const QString &member) const
    {
        if (member.isEmpty())
            return {};
        QString path = m_root;
        for (const QString &part : member.split(QLatin1Char('/'))) {
            QString next = path + QLatin1Char('/') + part;
            if (!QFileInfo::exists(next)) {
                const QStringList same = QDir(path).entryList(
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
                for (const QString &entry : same) {
                    if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                        next = path + QLatin1Char('/') + entry;
                        break;
                    }
                }
            }
            path = next;
        }
        const QFileInfo info(path);
        const QString real = info.canonicalFilePath();
        if (real.isEmpty() || !info.isFile() || !real.startsWith(m_root + QLatin1Char('/')))
            return {};
        return real;
    }

    QString m_root;
    QString m_description; // a lone .pdsc's name; empty: the one in the folder
};

} // namespace

QString safeMemberPath(const QString &name)
{
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty() || path.startsWith(QLatin1Char('/'))
        || (path.size() >= 2 && path.at(1) == QLatin1Char(':')))
        return {};
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return {};
    }
    QStringList parts;
    for (const QString &part : path.split(QLatin1Char('/'))) {
        if (part == QLatin1String(".."))
            return {};
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        parts << part;
    }
    if (parts.isEmpty())
        return {};
    return parts.join(QLatin1Char('/')) + (path.endsWith(QLatin1Char('/')) ? "/" : "");
}

std::unique_ptr<PackSource> PackSource::open(const QString &path, const PackLimits &limits,
                                             QString &error)
{
    const QFileInfo info(path);
    if (info.isDir())
        return std::unique_ptr<PackSource>(new FolderSource(path, limits, path));
    if (info.isFile() && info.suffix().compare(QLatin1String("pdsc"), Qt::CaseInsensitive) == 0)
        return std::unique_ptr<PackSource>(
            new FolderSource(path, limits, info.absolutePath(), info.fileName()));
    if (!info.isFile()) {
        error = QCoreApplication::translate("Pack", "%1：包不存在").arg(path);
        return nullptr;
    }
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive) {
        zip_error_t why;
        zip_error_init_with_code(&why, code);
        error = QCoreApplication::translate("Pack", "%1：不是有效的包（zip）：%2")
                    .arg(path, QString::fromUtf8(zip_error_strerror(&why)));
        zip_error_fini(&why);
        return nullptr;
    }
    auto source = std::make_unique<ZipSource>(path, limits, archive);
    if (!source->index(error))
        return nullptr;
    return source;
}

} // namespace pack
