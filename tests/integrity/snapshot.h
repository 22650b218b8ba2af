// Everything a user would lose if a run went wrong, captured as comparable text lines: the job
// fields of the window's record, each file slot with a digest of its whole image buffer, the file
// table, the offline dialog's confirmed values, ./Setting.ini and the files of the working folder.
#pragma once

#include "support/mainwindowaccess.h"

#include "download.h"
#include "offlinedlg.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStringList>
#include <QTableWidget>

namespace integrity {

inline QString ptr(const void *p)
{
    return QString::number(quintptr(p), 16);
}

inline QString sha1(const void *bytes, int size)
{
    const QByteArray raw = QByteArray::fromRawData(static_cast<const char *>(bytes), size);
    return QString::fromLatin1(QCryptographicHash::hash(raw, QCryptographicHash::Sha1).toHex());
}

inline QString hexBytes(const uint8_t *bytes, int size)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes), size).toHex());
}

// The connection fields (device, connected, probeId, firmwareInfo, the report buffers) are left
// out: reconnecting is allowed to change them. chip->deviceId is left out too: the chip record is
// shared with the run's copy and the chip detect writes the id it read.
inline QStringList recordLines(const Download &d)
{
    return {
        QString("chip %1 model %2").arg(ptr(d.chip)).arg(d.chip ? d.chip->model : -1),
        QString::asprintf("erase %d program %d verify %d reset %d protect %d", d.eraseMode,
                          d.programEnabled, d.verifyEnabled, d.resetAndRun, d.readProtectLevel),
        QString::asprintf("rolling value %08X address %08X step %08X", d.rollingCodeValue,
                          d.rollingCodeAddress, d.rollingCodeStep),
        QString::asprintf("watchdog %X settingsFlag %u", unsigned(d.watchdogOption),
                          unsigned(d.settingsFlag)),
        QString::asprintf("offline %d count %d/%08X interval %d/%u machine %d force %d",
                          d.offline_flag, d.offlineMaxProgramCount_flag, d.offlineMaxProgramCount,
                          d.offlineAutoProgramTime_flag, d.offlineAutoProgramTime,
                          d.offlineMachine_flag, d.offlineForceProgram_flag),
        QString::asprintf("result %d timestamp %u", d.result, d.timestamp),
        "keys " + hexBytes(d.settingsKey, 24) + " " + hexBytes(d.settingsIv, 16) + " "
            + hexBytes(d.dataKey, 24) + " " + hexBytes(d.dataIv, 16),
        "aes " + sha1(&d.aes, int(sizeof d.aes)),
        QString::asprintf("md5 %08X %u crc %08X %u %08X", d.md5Address, d.md5Size, d.crcAddress,
                          d.crcSize, d.crcValue)
            + " " + hexBytes(d.md5Digest, 16),
        "handleBar " + ptr(d.handleBar),
    };
}

// The whole 4 MiB buffer, not only the image: a stray write past the image shows too.
inline QStringList slotLines(const Download &d, int i)
{
    const QString buffer =
        d.imageData[i] ? sha1(d.imageData[i], int(Download::imageBufferSize)) : QStringLiteral("-");
    return {
        "path " + d.filePath[i],
        "name " + d.fileName[i],
        QString::asprintf("time %lld size %u address %08X length %u crc %08X", d.fileTime[i],
                          d.fileSize[i], d.imageAddress[i], d.imageLength[i], d.fileCrc[i]),
        "buffer " + ptr(d.imageData[i]) + " " + buffer,
        "cells " + ptr(d.nameItem[i]) + " " + ptr(d.addressItem[i]) + " " + ptr(d.sizeItem[i]),
    };
}

inline QString tableRow(const QTableWidget &table, int row)
{
    QStringList cells;
    for (int c = 0; c < table.columnCount(); ++c) {
        const QTableWidgetItem *item = table.item(row, c);
        cells << (item ? "'" + item->text() + "'" : QStringLiteral("-"));
    }
    return cells.join(' ');
}

inline QStringList offlineLines(const OfflineDlg &o)
{
    auto box = [](const QCheckBox *b) {
        return QString(b->isEnabled() ? "E" : "d") + (b->isChecked() ? "X" : "o");
    };
    auto edit = [](const QLineEdit *e) {
        return QString(e->isEnabled() ? "E" : "d") + "'" + e->text() + "'";
    };
    return {
        QString::asprintf("isOK %d offline %d count %d/%u interval %d/%u machine %d force %d",
                          o.isOK, o.offline_flag, o.offlineMaxProgramCount_flag,
                          o.offlineMaxProgramCount, o.offlineAutoProgramTime_flag,
                          o.offlineAutoProgramTime, o.offlineMachine_flag,
                          o.offlineForceProgram_flag),
        QStringList({box(o.OfflineCB), box(o.maxProgramCountCB), edit(o.maxProgramCountLineEdit),
                     box(o.autoProgramCB), edit(o.autoProgramTimeLineEdit), box(o.machineCB),
                     box(o.forceProgramCB)})
            .join(' '),
    };
}

struct Snapshot
{
    QStringList record;
    int fileCount = 0;
    QList<QStringList> fileSlots; // all ten
    QStringList table; // one line per row
    QStringList offline;
    QByteArray settings; // ./Setting.ini
    QStringList disk; // name, size and digest of every file in the working folder

    static Snapshot take(MainWindow &w)
    {
        Snapshot s;
        const Download &d = *MainWindowTestAccess::download(w);
        s.record = recordLines(d);
        s.fileCount = d.fileCount;
        for (int i = 0; i < Download::maxFiles; ++i)
            s.fileSlots << slotLines(d, i);
        const QTableWidget &table = *MainWindowTestAccess::ui(w)->fileTableWidget;
        for (int r = 0; r < table.rowCount(); ++r)
            s.table << tableRow(table, r);
        s.offline = offlineLines(*MainWindowTestAccess::offDlg(w));
        QFile ini(QStringLiteral("./Setting.ini"));
        if (ini.open(QIODevice::ReadOnly))
            s.settings = ini.readAll();
        const QFileInfoList files = QDir::current().entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &info : files) {
            QFile f(info.filePath());
            const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            s.disk << QString("%1 %2 %3")
                          .arg(info.fileName())
                          .arg(info.size())
                          .arg(sha1(bytes.constData(), bytes.size()));
        }
        return s;
    }

    // One list, each line tagged with its part, so a mismatch names what changed.
    QStringList lines() const
    {
        QStringList all;
        for (const QString &l : record)
            all << "record: " + l;
        all << QString("record: fileCount %1").arg(fileCount);
        for (int i = 0; i < fileSlots.size(); ++i)
            for (const QString &l : fileSlots[i])
                all << QString("slot %1: ").arg(i) + l;
        for (int r = 0; r < table.size(); ++r)
            all << QString("table row %1: ").arg(r) + table[r];
        for (const QString &l : offline)
            all << "offline dialog: " + l;
        all << "Setting.ini: " + QString::fromUtf8(settings);
        for (const QString &l : disk)
            all << "disk: " + l;
        return all;
    }
};

} // namespace integrity
