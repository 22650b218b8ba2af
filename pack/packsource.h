// The files of a pack, from a .pack (zip) archive or an unpacked folder, read under limits that
// a hostile pack cannot talk its way past: names that would leave the pack are refused, and every
// file is read with its size capped whatever the archive claims.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

namespace pack {

struct PackLimits
{
    qint64 maxDescriptionBytes = 32 * 1024 * 1024; // the .pdsc
    qint64 maxAlgorithmBytes = 8 * 1024 * 1024; // one .FLM: external loaders reach a few MiB
    qint64 maxEntries = 200000; // members of the archive
    int maxRatio = 100; // uncompressed : compressed, for members above 64 KiB
};

// A member name as written in a pack ('\' or '/' separated) turned into a relative '/' path, or
// empty when it is absolute, names a drive, holds ".." or a control character, or is empty.
QString safeMemberPath(const QString &name);

class PackSource
{
public:
    virtual ~PackSource() = default;

    // A .pack/.zip file, a folder, or a lone .pdsc (a pack whose files lie beside it); nothing,
    // with a reason naming the file, when it cannot be opened as either.
    static std::unique_ptr<PackSource> open(const QString &path, const PackLimits &limits,
                                            QString &error);

    const QString &path() const { return m_path; }
    // The one .pdsc at the top of the pack; empty with a reason when there is none or several.
    virtual QString descriptionName(QString &error) const = 0;
    // True when the member exists (path as from safeMemberPath).
    virtual bool contains(const QString &member) const = 0;
    // Reads a member of at most `cap` bytes; false with a reason naming the member otherwise.
    virtual bool read(const QString &member, qint64 cap, QByteArray &out, QString &error) const = 0;

protected:
    PackSource(const QString &path, const PackLimits &limits)
        : m_path(path)
        , m_limits(limits)
    { }
    QString m_path;
    PackLimits m_limits;
};

} // namespace pack
