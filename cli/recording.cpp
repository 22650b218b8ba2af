// Command-line runs in the production record.
#include "recording.h"

#include "engine/download.h"
#include "gangview.h"
#include "job/chipmodels.h"
#include "job/messages.h"
#include "record/recordwriter.h"
#include "record/runrecord.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <map>
#include <memory>
#include <mutex>

namespace cli {

void addRecordOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {"record",
         QCoreApplication::translate("QuorvelCli",
                                     "生产记录：SQLite文件或postgresql://用户@主机:端口/数据库。"),
         "FILE|URL"},
        {"no-record", QCoreApplication::translate("QuorvelCli", "不写生产记录。")},
        {"serial-ledger",
         QCoreApplication::translate("QuorvelCli",
                                     "由生产记录分配每次烧录的滚码值，每个值只用一次。")},
        {"new-serial",
         QCoreApplication::translate("QuorvelCli",
                                     "已有滚码的芯片（按芯片ID）也分配新值；已用的值不作废。")},
    });
}

bool recordOptionsFrom(const QCommandLineParser &p, const Download &job, RecordOptions &options,
                       QString &error, bool ledger)
{
    options.enabled = !p.isSet("no-record");
    options.location = p.isSet("record") ? p.value("record") : RecordDb::defaultLocation();
    options.ledger = ledger;
    options.newSerial = p.isSet("new-serial");
    if (options.newSerial && !options.ledger) {
        error = QCoreApplication::translate("QuorvelCli", "--new-serial需要--serial-ledger");
        return false;
    }
    if (p.isSet("job"))
        options.jobFile = QFileInfo(p.value("job")).fileName();
    // The dedicated probe's device is the chosen model; the SWD path names its own.
    if (job.chip)
        options.target = job::chipNameForModel(job.chip->model);
    if (options.ledger && (job.rollingCodeAddress == 0 || !options.enabled)) {
        error = QCoreApplication::translate("QuorvelCli", "--serial-ledger需要--rolling和生产记录");
        return false;
    }
    return true;
}

namespace {

// The run's row and, with the ledger, its serial, on whichever connection the caller holds.
bool beginRecord(RecordDb &db, const RecordOptions &options, Download &job,
                 const QString &probeSerial, const QString &chipUid, QString &serial,
                 QString &error, qint64 &runId)
{
    // A chip programmed without its row could not be traced: no record, no run.
    auto refuse = [&]() {
        error = QCoreApplication::translate("QuorvelCli", "生产记录无法写入，未开始烧录：%1")
                    .arg(db.lastError());
        return false;
    };
    if (!db.isOpen() && !db.open(options.location))
        return refuse();
    RunRecord run =
        runRecordFrom(job, probeSerial, job::firmwareVersionText(job.probeId), options.jobFile);
    run.via = options.via;
    run.target = options.target;
    run.chipUid = chipUid;
    runId = db.beginRun(run);
    if (runId < 0)
        return refuse();
    if (!options.ledger)
        return true;
    const SerialSeries series{job.rollingCodeAddress, job.rollingCodeValue, job.rollingCodeStep};
    quint32 value = 0;
    if (!db.allocateSerial(series, runId, &value, chipUid, options.newSerial)) {
        error = QCoreApplication::translate("QuorvelCli", "滚码分配失败，未开始烧录：%1")
                    .arg(db.lastError());
        db.finishRun(runId, false, -1, error);
        runId = -1;
        return false;
    }
    job.rollingCodeValue = value;
    serial = QString::asprintf("0x%08X", value);
    return true;
}

bool finishRecord(RecordDb &db, qint64 runId, int code, bool interrupted, const QString &message,
                  uint32_t deviceId, QString &error, const SectorCounts &sectors,
                  const RunCheck &check)
{
    if (runId < 0)
        return true;
    const bool passed = !interrupted && job::runPassed(code);
    const bool ok = interrupted
        ? db.interruptRun(runId, code, message, deviceId, sectors, check)
        : db.finishRun(runId, passed, code, message, deviceId, sectors, check);
    if (!ok)
        error = QCoreApplication::translate("QuorvelCli", "本次结果未写入生产记录：%1")
                    .arg(db.lastError());
    return ok;
}

} // namespace

RunRecorder::RunRecorder(const RecordOptions &options)
    : options(options)
{ }

bool RunRecorder::begin(Download &job, const QString &probeSerial, QString &serial, QString &error,
                        const QString &chipUid)
{
    return !options.enabled
        || beginRecord(db, options, job, probeSerial, chipUid, serial, error, runId);
}

bool RunRecorder::finish(int code, bool interrupted, const QString &message, uint32_t deviceId,
                         QString &error, const SectorCounts &sectors, const RunCheck &check)
{
    const qint64 id = runId;
    runId = -1;
    return finishRecord(db, id, code, interrupted, message, deviceId, error, sectors, check);
}

GangHooks recordedGang(const RecordOptions &options,
                       const std::function<SectorCounts(int)> &sectorsOf,
                       const std::function<RunCheck(int)> &checkOf)
{
    if (!options.enabled)
        return GangHooks();
    // One writer, and so one open record, per gang; destroyed with the last copy of the hooks,
    // after the writes queued behind the gang's last board.
    auto writer = std::make_shared<RecordWriter>();
    auto runIds = std::make_shared<std::map<int, qint64>>();
    auto lock = std::make_shared<std::mutex>();
    GangHooks hooks;
    // The run needs its row and serial before it starts: the one wait a probe makes.
    hooks.prepare = [=](int index, const QString &probe, Download &job, QString &serial) {
        qint64 id = -1;
        QString error;
        bool ok = false;
        const QString uid = checkOf ? checkOf(index).chipUid : QString();
        writer->call([&](RecordDb &db) {
            ok = beginRecord(db, options, job, probe, uid, serial, error, id);
        });
        if (!ok) {
            Command::warn(probe + QStringLiteral(": ") + error);
            return false;
        }
        std::lock_guard<std::mutex> guard(*lock);
        (*runIds)[index] = id;
        return true;
    };
    // Queued: the probe goes on to its next board while its end is written.
    hooks.finished = [=](int index, const QString &probe, const GangResult &result) {
        qint64 id = -1;
        {
            std::lock_guard<std::mutex> guard(*lock);
            const auto it = runIds->find(index);
            if (it == runIds->end())
                return;
            id = it->second;
            runIds->erase(it);
        }
        const SectorCounts sectors = sectorsOf ? sectorsOf(index) : SectorCounts();
        const RunCheck check = checkOf ? checkOf(index) : RunCheck();
        const bool interrupted = result.status == GangStatus::Interrupted;
        const QString message = GangView::outcome(result);
        writer->post([=](RecordDb &db) {
            QString error;
            if (!finishRecord(db, id, result.code, interrupted, message, result.deviceId, error,
                              sectors, check))
                Command::warn(probe + QStringLiteral(": ") + error);
        });
    };
    return hooks;
}

} // namespace cli
