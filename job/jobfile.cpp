// Reading job files: every key checked, the first problem named.
#include "job/jobfile.h"

#include "job/chipmodels.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace job {

namespace {

constexpr qint64 minSwdClockHz = 1000, maxSwdClockHz = 50000000;

QStringList transportNames()
{
    return {QStringLiteral("hid"), QStringLiteral("bulk")};
}

// Reads a job's values and remembers the first problem; every reader refuses keys it does not know.
class Reader
{
public:
    QString error;

    bool keysKnown(const QJsonObject &object, const QSet<QString> &known, const QString &where)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!known.contains(it.key()))
                return fail(
                    QCoreApplication::translate("Job", "未知的键：%1").arg(where + it.key()));
        }
        return true;
    }
    bool fail(const QString &message)
    {
        if (error.isEmpty())
            error = message;
        return false;
    }
    bool invalid(const QString &key)
    {
        return fail(QCoreApplication::translate("Job", "键%1的值无效").arg(key));
    }

    bool boolean(const QJsonObject &o, const QString &key, bool &out)
    {
        if (!o.contains(key))
            return true;
        if (!o.value(key).isBool())
            return invalid(key);
        out = o.value(key).toBool();
        return true;
    }
    // Hex text "0x1F00" (or without 0x), eight digits at most.
    bool hex(const QJsonObject &o, const QString &key, uint32_t &out, bool &present)
    {
        present = o.contains(key);
        if (!present)
            return true;
        QString text = o.value(key).toString();
        if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            text = text.mid(2);
        bool ok = false;
        const uint value = text.toUInt(&ok, 16);
        if (!o.value(key).isString() || !ok || text.isEmpty() || text.size() > 8)
            return invalid(key);
        out = value;
        return true;
    }
    bool hex(const QJsonObject &o, const QString &key, uint32_t &out)
    {
        bool present = false;
        return hex(o, key, out, present);
    }
    bool integer(const QJsonObject &o, const QString &key, qint64 max, qint64 &out)
    {
        if (!o.contains(key))
            return true;
        const QJsonValue v = o.value(key);
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d < 0 || d > double(max) || d != double(qint64(d)))
            return invalid(key);
        out = qint64(d);
        return true;
    }
    bool choice(const QJsonObject &o, const QString &key, const QStringList &names, int &out)
    {
        if (!o.contains(key))
            return true;
        const int index = names.indexOf(o.value(key).toString());
        if (!o.value(key).isString() || index < 0)
            return invalid(key);
        out = index;
        return true;
    }
};

bool readRolling(Reader &r, const QJsonObject &root, JobSetup &setup)
{
    if (!root.contains("rollingCode") || root.value("rollingCode").isNull())
        return true;
    if (!root.value("rollingCode").isObject())
        return r.invalid("rollingCode");
    const QJsonObject o = root.value("rollingCode").toObject();
    bool hasAddress = false;
    return r.keysKnown(o, {"address", "value", "step"}, "rollingCode.")
        && r.hex(o, "address", setup.rollingAddress, hasAddress)
        && (hasAddress || r.invalid("rollingCode.address")) && r.hex(o, "value", setup.rollingValue)
        && r.hex(o, "step", setup.rollingStep);
}

bool readOffline(Reader &r, const QJsonObject &root, JobSetup &setup)
{
    if (!root.contains("offline"))
        return true;
    if (!root.value("offline").isObject())
        return r.invalid("offline");
    const QJsonObject o = root.value("offline").toObject();
    qint64 count = 0, autoMs = 0;
    const bool ok = r.keysKnown(o, {"enabled", "count", "autoMs", "machine", "force"}, "offline.")
        && r.boolean(o, "enabled", setup.offline) && r.integer(o, "count", 0xFFFFFFFE, count)
        && r.integer(o, "autoMs", 3000, autoMs) && r.boolean(o, "machine", setup.offlineMachine)
        && r.boolean(o, "force", setup.offlineForce);
    setup.offlineCount = uint32_t(count);
    setup.offlineAutoMs = uint32_t(autoMs);
    return ok;
}

bool readFiles(Reader &r, const QJsonObject &root, const QDir &base, JobSetup &setup)
{
    if (!root.contains("files"))
        return true;
    if (!root.value("files").isArray())
        return r.invalid("files");
    setup.files.clear();
    for (const QJsonValue &value : root.value("files").toArray()) {
        if (!value.isObject())
            return r.invalid("files");
        const QJsonObject o = value.toObject();
        JobFile file;
        qint64 length = -1;
        bool hasCrc = false;
        if (!r.keysKnown(o, {"path", "address", "length", "crc32"}, "files[].")
            || !r.hex(o, "address", file.address, file.hasAddress)
            || !r.integer(o, "length", qint64(1) << 40, length)
            || !r.hex(o, "crc32", file.crc32, hasCrc))
            return false;
        if (!o.value("path").isString() || o.value("path").toString().isEmpty())
            return r.invalid("files[].path");
        file.path = QDir::cleanPath(base.absoluteFilePath(o.value("path").toString()));
        file.hasFingerprint = hasCrc && length >= 0;
        if (hasCrc != (length >= 0))
            return r.invalid("files[].length");
        file.length = length;
        setup.files.append(file);
    }
    return true;
}

// "target": {"device": "…", "pack": "…"}, the pack relative to the job; absent: the default.
bool readTarget(Reader &r, const QJsonObject &root, const QDir &base, JobSetup &setup)
{
    if (!root.contains("target"))
        return true;
    if (!root.value("target").isObject())
        return r.invalid("target");
    const QJsonObject o = root.value("target").toObject();
    if (!r.keysKnown(o, {"device", "pack", "algorithms", "core", "debugvars"}, "target."))
        return false;
    // "debugvars": {"NAME": "0x…" or "…"}: strings, as a 64-bit value is no JSON number.
    const QJsonValue vars = o.value("debugvars");
    if (o.contains("debugvars") && !vars.isObject())
        return r.invalid("target.debugvars");
    const QJsonObject varObject = vars.toObject();
    for (auto it = varObject.begin(); it != varObject.end(); ++it) {
        const QString text = it.value().toString().trimmed();
        bool ok = false;
        const quint64 value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
            ? text.midRef(2).toULongLong(&ok, 16)
            : text.toULongLong(&ok, 10);
        if (!ok || !it.value().isString())
            return r.invalid("target.debugvars." + it.key());
        setup.targetDebugVars[it.key()] = value;
    }
    const QJsonValue device = o.value("device"), pack = o.value("pack");
    if (!device.isString() || device.toString().trimmed().isEmpty())
        return r.invalid("target.device");
    if (o.contains("pack") && (!pack.isString() || pack.toString().isEmpty()))
        return r.invalid("target.pack");
    if (o.contains("core") && (!o.value("core").isString() || o.value("core").toString().isEmpty()))
        return r.invalid("target.core");
    if (o.contains("algorithms")) {
        if (!o.value("algorithms").isArray())
            return r.invalid("target.algorithms");
        for (const QJsonValue &name : o.value("algorithms").toArray()) {
            if (!name.isString() || name.toString().isEmpty())
                return r.invalid("target.algorithms");
            setup.targetAlgorithms << name.toString();
        }
    }
    setup.targetCore = o.value("core").toString();
    setup.targetDevice = device.toString();
    if (o.contains("pack"))
        setup.targetPack = QDir::cleanPath(base.absoluteFilePath(pack.toString()));
    return true;
}

// The chip's ID place and the self-test over RTT (version 2): "uid" text, "rtt" object.
bool readCheck(Reader &r, const QJsonObject &root, JobSetup &setup)
{
    if (root.contains("uid")) {
        if (!root.value("uid").isString() || root.value("uid").toString().isEmpty())
            return r.invalid("uid");
        setup.uid = root.value("uid").toString();
    }
    if (!root.contains("rtt"))
        return true;
    if (!root.value("rtt").isObject())
        return r.invalid("rtt");
    const QJsonObject o = root.value("rtt").toObject();
    if (!r.keysKnown(o, {"expect", "fail", "timeoutMs", "address"}, QStringLiteral("rtt.")))
        return false;
    if (!o.value("expect").isString() || o.value("expect").toString().isEmpty())
        return r.invalid("rtt.expect");
    if (o.contains("fail") && !o.value("fail").isString())
        return r.invalid("rtt.fail");
    setup.rttExpect = o.value("expect").toString();
    setup.rttFail = o.value("fail").toString();
    qint64 timeout = setup.rttTimeoutMs;
    const bool ok =
        r.integer(o, "timeoutMs", 600000, timeout) && r.hex(o, "address", setup.rttAddress);
    setup.rttTimeoutMs = int(timeout);
    return ok;
}

// The SWD path's choices (version 2).
bool readSwd(Reader &r, const QJsonObject &root, JobSetup &setup)
{
    int via = setup.via, transport = 0, verifyMode = setup.verifyReadback ? 1 : 0;
    qint64 clock = setup.swdClockHz;
    const bool ok = r.choice(root, "via", {"vendor", "swd"}, via)
        && r.choice(root, "transport", transportNames(), transport)
        && r.choice(root, "verifyMode", {"crc", "readback"}, verifyMode)
        && r.integer(root, "swdClock", maxSwdClockHz, clock)
        && (clock >= minSwdClockHz || r.invalid("swdClock"));
    setup.via = via;
    if (root.contains("transport"))
        setup.transport = transportNames().value(transport);
    setup.verifyReadback = verifyMode == 1;
    setup.swdClockHz = uint32_t(clock);
    return ok && readCheck(r, root, setup);
}

bool readOptions(Reader &r, const QJsonObject &root, JobSetup &setup)
{
    if (root.contains("chip")) {
        setup.chipIndex = chipIndexForName(root.value("chip").toString());
        if (!root.value("chip").isString() || setup.chipIndex < 0)
            return r.invalid("chip");
    }
    qint64 protect = setup.protectLevel;
    int watchdog = 0;
    const bool ok = r.choice(root, "erase", {"full", "sector", "none", "auto"}, setup.eraseMode)
        && r.boolean(root, "program", setup.program) && r.boolean(root, "verify", setup.verify)
        && r.boolean(root, "reset", setup.resetAndRun) && r.integer(root, "protect", 2, protect)
        && r.choice(root, "watchdog", {"keep", "on", "off"}, watchdog)
        && r.boolean(root, "serialLedger", setup.serialLedger);
    setup.protectLevel = int(protect);
    if (root.contains("watchdog"))
        setup.watchdog = watchdog == 0 ? WatchdogKeep : watchdog == 1 ? WatchdogOn : WatchdogOff;
    return ok;
}

} // namespace

bool parseJob(const QByteArray &json, const QDir &base, JobSetup &setup, QString &error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull() || !document.isObject()) {
        error = QCoreApplication::translate("Job", "工程文件不是有效的JSON：%1")
                    .arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = document.object();
    if (root.value("format").toString() != QLatin1String(jobFormatName)) {
        error = QCoreApplication::translate("Job", "不是Quorvel工程文件");
        return false;
    }
    const QJsonValue version = root.value("version");
    if (!version.isDouble() || version.toDouble() != double(version.toInt())
        || version.toInt() < 1) {
        error = QCoreApplication::translate("Job", "键%1的值无效").arg("version");
        return false;
    }
    if (version.toInt() > jobFormatVersion) {
        error = QCoreApplication::translate("Job", "工程文件版本%1较新，本程序只支持版本%2")
                    .arg(version.toInt())
                    .arg(jobFormatVersion);
        return false;
    }
    Reader r;
    JobSetup read;
    QSet<QString> known{"format",       "version", "chip",    "erase",       "program",
                        "verify",       "reset",   "protect", "rollingCode", "watchdog",
                        "serialLedger", "offline", "files",   "target"};
    if (version.toInt() >= 2)
        known += {"via", "transport", "verifyMode", "swdClock", "uid", "rtt"};
    const bool ok = r.keysKnown(root, known, QString()) && readOptions(r, root, read)
        && readRolling(r, root, read) && readOffline(r, root, read)
        && readFiles(r, root, base, read) && readTarget(r, root, base, read)
        && readSwd(r, root, read);
    if (!ok) {
        error = r.error;
        return false;
    }
    setup = read;
    return true;
}

bool readJobFile(const QString &path, JobSetup &setup, QString &error)
{
    QFile file(path);
    // A job file is a few kilobytes; anything far larger is not one.
    constexpr qint64 largestJobFile = 1024 * 1024;
    if (!file.open(QIODevice::ReadOnly) || file.size() > largestJobFile) {
        error = QCoreApplication::translate("Job", "工程文件无法读取：%1").arg(path);
        return false;
    }
    return parseJob(file.readAll(), QFileInfo(path).absoluteDir(), setup, error);
}

} // namespace job
