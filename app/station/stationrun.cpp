// The station's runs through the command line's own `program`.
#include "stationrun.h"

#include "stationmodel.h"

#include "cli/command.h"
#include "cli/gangview.h"
#include "job/jobfile.h"
#include "job/jobsetup.h"
#include "record/recorddb.h"

#include <QCoreApplication>
#include <memory>
#include <wolfssl/ssl.h>

StationRun::StationRun(const StationJob &job, QObject *parent)
    : QObject(parent)
    , job(job)
{
    qRegisterMetaType<GangProgress>();
    qRegisterMetaType<GangResult>();
    wolfSSL_Init(); // the dedicated probe's settings are encrypted
}

StationRun::~StationRun()
{
    stop();
    join();
    wolfSSL_Cleanup();
}

QStringList StationRun::arguments(const StationJob &job, bool line, bool ledger)
{
    QStringList args{QStringLiteral("program"), QStringLiteral("--job"), job.path,
                     QStringLiteral("--probe"), QStringLiteral("all")};
    if (line)
        args << QStringLiteral("--auto");
    if (job.noRecord)
        args << QStringLiteral("--no-record");
    else if (!job.record.isEmpty())
        args << QStringLiteral("--record") << job.record;
    if (ledger && !job.noRecord)
        args << QStringLiteral("--serial-ledger");
    return args;
}

void StationRun::join()
{
    if (thread.joinable())
        thread.join();
    cli::setGangDriver({});
    cli::setWarningSink({});
}

bool StationRun::start(bool line)
{
    if (running())
        return false;
    join();
    stopping = false;
    done = false;
    job::JobSetup setup;
    QString error;
    // An unreadable job is named by the command itself.
    const bool ledger = job::readJobFile(job.path, setup, error) && setup.serialLedger;
    QStringList args = arguments(job, line, ledger);
    args.prepend(QCoreApplication::applicationName());

    // The signals come from the run's threads: queued to the window's.
    cli::setWarningSink([this](const QString &text) { emit warned(text); });
    cli::setGangDriver([this](const std::vector<ProbeInfo> &probes, const cli::GangFactory &make,
                              const cli::GangHooks &hooks, const LineOptions &options) {
        QStringList names;
        for (const ProbeInfo &p : probes)
            names << (p.serial.isEmpty() ? QString::fromLocal8Bit(p.path) : p.serial);
        std::vector<QString> serials(probes.size());
        std::vector<char> preparing(probes.size(), 0); // a board began: Prepare was asked
        const std::unique_ptr<Gang> runner = make();
        runner->setLine(options);
        runner->setProgress([this](const GangProgress &e) { emit progressed(e); });
        runner->setPrepare([&](int index, Download &d) {
            QString &serial = serials[size_t(index)];
            serial.clear();
            preparing[size_t(index)] = 1;
            return hooks.prepare ? hooks.prepare(index, names[index], d, serial) : true;
        });
        cli::ExitTally tally;
        runner->setFinished([&](int index, const GangResult &r) {
            if (hooks.finished)
                hooks.finished(index, names[index], r);
            tally.board(r);
            const QString outcome = cli::GangView::outcome(r);
            const QString serial = serials[size_t(index)];
            const QDateTime at = QDateTime::currentDateTime();
            const bool board = preparing[size_t(index)] != 0;
            preparing[size_t(index)] = 0;
            emit boardEnded(index, r, outcome, serial, at, board);
        });
        const bool lineOn = options.enabled;
        emit started(names, lineOn);
        gang = runner.get();
        if (stopping)
            runner->cancel();
        runner->run();
        gang = nullptr;
        return tally.status;
    });
    thread = std::thread([this, args] {
        const int status = cli::runProgram(args);
        done = true;
        emit ended(status);
    });
    return true;
}

void StationRun::stop()
{
    stopping = true;
    if (Gang *g = gang.load())
        g->cancel();
}

bool countTodaysBoards(const QString &record, StationModel &model, QString &error)
{
    RecordDb db;
    if (!db.open(record.isEmpty() ? RecordDb::defaultLocation() : record)) {
        error = db.lastError();
        return false;
    }
    const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
    const bool ok = db.forEachRun(midnight.toUTC(), [&](const RecordedRun &run) {
        if (run.status == QLatin1String("passed") || run.status == QLatin1String("failed"))
            model.countEarlier(run.status == QLatin1String("passed"), run.endedUtc);
        return true;
    });
    if (!ok)
        error = db.lastError();
    return ok;
}
