// File list rules on the job record.
#include "job/filelist.h"

#include "engine/download.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>

namespace job {

namespace {

// A file that is gone counts as changed (and as empty): -1 never equals a stored time.
qint64 modifiedMs(const QFileInfo &info)
{
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
}

} // namespace

QString hexText(uint32_t value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

void prepareSlot(Download &d, int n, const QString &path, uint32_t address)
{
    const QFileInfo info(path);
    d.filePath[n] = path;
    d.fileTime[n] = modifiedMs(info);
    d.fileName[n] = info.fileName();
    d.fileSize[n] = static_cast<uint32_t>(info.size());
    d.imageAddress[n] = address;
    if (!d.imageData[n])
        d.imageData[n] = new uint8_t[Download::imageBufferSize];
    d.imageLength[n] = 0;
    qDebug().noquote() << "File Info" << d.fileName[n] << d.fileSize[n] << d.imageAddress[n];
}

int placeFile(Download &d, int n, const QString &path, uint32_t address)
{
    prepareSlot(d, n, path, address);
    return d.loadImageFile(d.filePath[n], n);
}

// The end is taken in 64 bits so that an image reaching past 4 GiB cannot wrap round and let an
// overlap through.
bool overlapsPrevious(const Download &d, int n)
{
    return n > 0 && n < Download::maxFiles
        && d.imageAddress[n] < uint64_t(d.imageAddress[n - 1]) + d.imageLength[n - 1];
}

void releaseImages(Download &d)
{
    for (int i = 0; i < Download::maxFiles; ++i) {
        delete[] d.imageData[i];
        d.imageData[i] = nullptr;
    }
}

void removeSlot(Download &d, int slot)
{
    if (slot < 0 || slot >= d.fileCount)
        return;
    delete[] d.imageData[slot];

    const int last = d.fileCount - 1;
    for (int i = slot; i < last; ++i) {
        d.filePath[i] = d.filePath[i + 1];
        d.fileName[i] = d.fileName[i + 1];
        d.fileTime[i] = d.fileTime[i + 1];
        d.fileSize[i] = d.fileSize[i + 1];
        d.imageAddress[i] = d.imageAddress[i + 1];
        d.imageData[i] = d.imageData[i + 1];
        d.imageLength[i] = d.imageLength[i + 1];
        d.fileCrc[i] = d.fileCrc[i + 1];
        d.nameItem[i] = d.nameItem[i + 1];
        d.addressItem[i] = d.addressItem[i + 1];
        d.sizeItem[i] = d.sizeItem[i + 1];
    }

    d.filePath[last].clear();
    d.fileName[last].clear();
    d.fileTime[last] = 0;
    d.fileSize[last] = 0;
    d.imageAddress[last] = 0;
    d.imageData[last] = nullptr;
    d.imageLength[last] = 0;
    d.nameItem[last] = nullptr;
    d.addressItem[last] = nullptr;
    d.sizeItem[last] = nullptr;
    d.fileCount = last;
}

AddOutcome addFile(Download &d, const QString &path, uint32_t address)
{
    const int n = d.fileCount;
    if (n >= Download::maxFiles)
        return AddOutcome::TooMany;
    const int loaded = placeFile(d, n, path, address);
    d.fileCount = n + 1;
    if (loaded != 0) {
        removeSlot(d, n);
        return AddOutcome::Unreadable;
    }
    if (overlapsPrevious(d, n)) {
        removeSlot(d, n);
        return AddOutcome::Overlaps;
    }
    return AddOutcome::Added;
}

ReloadResult reloadChangedFiles(Download &d, const std::function<void(int)> &sizeChanged)
{
    ReloadResult result;
    for (int i = 0; i < d.fileCount; ++i) {
        const QFileInfo info(d.filePath[i]);
        const qint64 time = modifiedMs(info);
        if (time == d.fileTime[i])
            continue;
        const qint64 size = info.exists() ? info.size() : 0;
        d.fileSize[i] = static_cast<uint32_t>(size);
        if (size == 0) {
            result.slot = i;
            return result;
        }
        if (sizeChanged)
            sizeChanged(i);
        d.fileTime[i] = time;
        if (d.loadImageFile(d.filePath[i], i) != 0) {
            result.slot = i;
            result.parseError = true;
            return result;
        }
    }
    return result;
}

} // namespace job
