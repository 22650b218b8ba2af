// Every device of the packs a run may use, and the one rule that turns a --target name into a
// device: case-insensitive, whole name; an unknown or ambiguous name lists the nearest ones.
#pragma once

#include "pdscreader.h"

#include <QStringList>
#include <QVector>

namespace pack {

// Where packs come from besides --pack: the packs shipped with the program, then the user's pack
// folder (QStandardPaths' generic data folder, quorvel/packs).
QString shippedPackFolder();
QString userPackFolder();
// The device of the shipped pack that the SWD path programs when no --target names one.
inline QString defaultDeviceName()
{
    return QStringLiteral("QB48");
}

class TargetCatalog
{
public:
    explicit TargetCatalog(const PackLimits &limits = {})
        : m_limits(limits)
    { }

    // One pack (file, unpacked folder or lone .pdsc). False with the reader's message. A pack
    // `named` by the user wins over other versions of it.
    bool addPack(const QString &path, QString &error, bool named = false);
    // Every pack in a folder: *.pack and *.zip files, lone .pdsc files, and sub-folders holding a
    // .pdsc. A missing folder adds nothing; a broken pack in it is left out with a warning.
    bool addFolder(const QString &folder, QString &error);
    // The packs addFolder left out, and devices a pack refused, one message each.
    const QStringList &warnings() const { return m_warnings; }
    // A pack already read (or built by a test).
    void addContents(const PackContents &contents) { m_packs << contents; }

    const QVector<PackContents> &packs() const { return m_packs; }
    // The devices of the packs in use: of several versions of one pack the one named on the
    // command line, else the newest.
    QVector<const TargetDescription *> devices() const;
    bool inUse(const PackContents &pack) const;

    struct Resolution
    {
        const TargetDescription *device = nullptr; // set when exactly one device matches
        QString message; // why not, with the candidates; empty on success
        QStringList candidates;
    };
    Resolution resolve(const QString &name) const;

private:
    PackLimits m_limits;
    QVector<PackContents> m_packs;
    QStringList m_warnings;
};

// Orders pack versions as numbers, part by part ("1.10.0" after "1.9.2"); <0, 0 or >0.
int compareVersions(const QString &a, const QString &b);

} // namespace pack
