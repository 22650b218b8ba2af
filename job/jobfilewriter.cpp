// Writing job files: the oldest format version that holds the job, paths relative to the job.
#include "job/jobfile.h"

#include "job/chipmodels.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace job {

namespace {

const char *const eraseNames[] = {"full", "sector", "none", "auto"}; // job::EraseMode order

QString hex32(uint32_t value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

} // namespace

int formatVersionFor(const JobSetup &setup)
{
    const bool swd = setup.via != ViaVendor || !setup.transport.isEmpty() || setup.verifyReadback
        || setup.swdClockHz != defaultSwdClockHz || !setup.uid.isEmpty()
        || !setup.rttExpect.isEmpty();
    return swd ? 2 : 1;
}

QByteArray serializeJob(const JobSetup &setup, const QDir &base)
{
    QJsonObject root;
    root.insert("format", jobFormatName);
    const int version = formatVersionFor(setup);
    root.insert("version", version);
    root.insert("chip", chipNameForModel(modelForIndex(setup.chipIndex)));
    if (setup.chipIndex == 6) // QC18/19 shares its model code with QA12
        root.insert("chip", "QC18/19");
    root.insert("erase", eraseNames[setup.eraseMode]);
    root.insert("program", setup.program);
    root.insert("verify", setup.verify);
    root.insert("reset", setup.resetAndRun);
    root.insert("protect", setup.protectLevel);
    if (setup.rollingAddress) {
        root.insert("rollingCode",
                    QJsonObject{{"address", hex32(setup.rollingAddress)},
                                {"value", hex32(setup.rollingValue)},
                                {"step", hex32(setup.rollingStep)}});
    }
    root.insert("watchdog",
                setup.watchdog == WatchdogOn        ? "on"
                    : setup.watchdog == WatchdogOff ? "off"
                                                    : "keep");
    root.insert("serialLedger", setup.serialLedger);
    root.insert("offline",
                QJsonObject{{"enabled", setup.offline},
                            {"count", qint64(setup.offlineCount)},
                            {"autoMs", qint64(setup.offlineAutoMs)},
                            {"machine", setup.offlineMachine},
                            {"force", setup.offlineForce}});
    QJsonArray files;
    for (const JobFile &file : setup.files) {
        QJsonObject o{{"path", QDir::fromNativeSeparators(base.relativeFilePath(file.path))}};
        if (file.hasAddress)
            o.insert("address", hex32(file.address));
        if (file.hasFingerprint) {
            o.insert("length", file.length);
            o.insert("crc32", hex32(file.crc32));
        }
        files.append(o);
    }
    root.insert("files", files);
    if (!setup.targetDevice.isEmpty()) {
        QJsonObject target{{"device", setup.targetDevice}};
        if (!setup.targetPack.isEmpty())
            target.insert("pack",
                          QDir::fromNativeSeparators(base.relativeFilePath(setup.targetPack)));
        if (!setup.targetAlgorithms.isEmpty())
            target.insert("algorithms", QJsonArray::fromStringList(setup.targetAlgorithms));
        if (!setup.targetCore.isEmpty())
            target.insert("core", setup.targetCore);
        QJsonObject vars;
        for (auto it = setup.targetDebugVars.begin(); it != setup.targetDebugVars.end(); ++it)
            vars.insert(
                it.key(),
                QStringLiteral("0x%1").arg(it.value(), 0, 16).toUpper().replace("0X", "0x"));
        if (!vars.isEmpty())
            target.insert("debugvars", vars);
        root.insert("target", target);
    }
    if (version >= 2) {
        root.insert("via", setup.via == ViaSwd ? "swd" : "vendor");
        if (!setup.transport.isEmpty())
            root.insert("transport", setup.transport);
        root.insert("verifyMode", setup.verifyReadback ? "readback" : "crc");
        root.insert("swdClock", qint64(setup.swdClockHz));
        if (!setup.uid.isEmpty())
            root.insert("uid", setup.uid);
    }
    if (!setup.rttExpect.isEmpty()) {
        QJsonObject rtt{{"expect", setup.rttExpect}, {"timeoutMs", setup.rttTimeoutMs}};
        if (!setup.rttFail.isEmpty())
            rtt.insert("fail", setup.rttFail);
        if (setup.rttAddress)
            rtt.insert("address", hex32(setup.rttAddress));
        root.insert("rtt", rtt);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool writeJobFile(const QString &path, JobSetup setup, QString &error)
{
    for (JobFile &file : setup.files) {
        file.hasFingerprint = fileFingerprint(file.path, file.length, file.crc32);
        if (!file.hasFingerprint) {
            error = QCoreApplication::translate("Job", "文件不存在或无法读取")
                + QStringLiteral(": ") + file.path;
            return false;
        }
    }
    // Written aside and renamed, so a failed save never leaves half a job behind.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)
        || out.write(serializeJob(setup, QFileInfo(path).absoluteDir())) < 0 || !out.commit()) {
        error = QCoreApplication::translate("Job", "工程文件无法写入：%1").arg(path);
        return false;
    }
    return true;
}

QString changedFile(const JobSetup &setup)
{
    for (const JobFile &file : setup.files) {
        qint64 length = 0;
        uint32_t crc = 0;
        if (!file.hasFingerprint)
            continue;
        if (!fileFingerprint(file.path, length, crc) || length != file.length || crc != file.crc32)
            return file.path;
    }
    return QString();
}

} // namespace job
