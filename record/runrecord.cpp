// Builds a run's record and the job digest from the job record.
#include "runrecord.h"

#include "download.h"
#include "images/crc32.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <wolfssl/options.h>
#include <wolfssl/wolfcrypt/sha256.h>

namespace {

int listedFiles(const Download &d)
{
    return qBound(0, int(d.fileCount), int(Download::maxFiles));
}

// Bounded by the slot's buffer so a corrupt length never reads past it.
quint32 safeLength(const Download &d, int i)
{
    if (!d.imageData[i])
        return 0;
    return qMin<quint32>(d.imageLength[i], Download::imageBufferSize);
}

void hashWord(wc_Sha256 &sha, quint32 v)
{
    uchar le[4];
    qToLittleEndian(v, le);
    wc_Sha256Update(&sha, le, 4);
}

} // namespace

QString jobOptionsJson(const Download &d)
{
    QJsonObject o;
    o.insert("erase", int(d.eraseMode));
    o.insert("program", int(d.programEnabled));
    o.insert("verify", int(d.verifyEnabled));
    o.insert("resetAndRun", int(d.resetAndRun));
    o.insert("readProtect", int(d.readProtectLevel));
    o.insert("watchdog", int(d.watchdogOption));
    o.insert("rollingCodeAddress", qint64(d.rollingCodeAddress));
    o.insert("rollingCodeStep", qint64(d.rollingCodeStep));
    o.insert("model", d.chip ? d.chip->model : 0);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QByteArray jobDigest(const Download &d)
{
    wc_Sha256 sha;
    wc_InitSha256(&sha);
    const QByteArray options = jobOptionsJson(d).toUtf8();
    wc_Sha256Update(&sha, reinterpret_cast<const byte *>(options.constData()),
                    word32(options.size()));
    for (int i = 0; i < listedFiles(d); ++i) {
        const quint32 length = safeLength(d, i);
        hashWord(sha, d.imageAddress[i]);
        hashWord(sha, length);
        if (length)
            wc_Sha256Update(&sha, d.imageData[i], length);
    }
    byte out[WC_SHA256_DIGEST_SIZE];
    wc_Sha256Final(&sha, out);
    wc_Sha256Free(&sha);
    return QByteArray(reinterpret_cast<const char *>(out), sizeof out).toHex();
}

RunRecord runRecordFrom(const Download &d, const QString &probeSerial, const QString &probeFirmware,
                        const QString &jobFile)
{
    RunRecord r;
    r.toolVersion = QCoreApplication::applicationVersion();
    r.probeSerial = probeSerial;
    r.probeFirmware = probeFirmware;
    r.chipModel = d.chip ? d.chip->model : 0;
    r.deviceId = d.chip ? d.chip->deviceId : 0;
    r.jobFile = jobFile;
    r.jobDigest = jobDigest(d);
    for (int i = 0; i < listedFiles(d); ++i) {
        const quint32 length = safeLength(d, i);
        r.files.append({d.fileName[i], d.imageAddress[i], length,
                        length ? calcCrc32(d.imageData[i], length) : 0});
    }
    r.options = jobOptionsJson(d);
    return r;
}
