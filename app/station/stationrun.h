// A station's runs: the job file's `program` on every probe, as the command line runs it (the
// same job loading, refusals, record rows and ledger values), on a thread of its own, with each
// probe's progress and boards handed to the GUI thread as signals.
#pragma once

#include "engine/gangrunner.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <thread>

class StationModel;

Q_DECLARE_METATYPE(GangProgress)
Q_DECLARE_METATYPE(GangResult)

struct StationJob
{
    QString path; // the job file
    QString record; // SQLite file or postgresql:// URL; empty: the default record
    bool noRecord = false;
    bool autoStart = false; // the line starts with the window (a fixture's PC that boots into it)
};

class StationRun : public QObject
{
    Q_OBJECT

public:
    explicit StationRun(const StationJob &job, QObject *parent = nullptr);
    ~StationRun() override; // cancels a run and waits for its probes

    // `line`: each probe runs a board whenever one is attached, until stop(); otherwise every
    // probe runs once. False while a run is going.
    bool start(bool line);
    // Every probe finishes the exchange in flight; the run's boards end interrupted.
    void stop();
    bool running() const { return thread.joinable() && !done; }

    // The command's arguments for a run (without the program's name).
    static QStringList arguments(const StationJob &job, bool line, bool ledger);

signals:
    void started(const QStringList &probes, bool line);
    void progressed(const GangProgress &event);
    // `board`: false when the probe went away between boards (no board, no record row).
    void boardEnded(int probe, const GangResult &result, const QString &outcome,
                    const QString &serialWritten, const QDateTime &at, bool board);
    void warned(const QString &text);
    // The command's exit status: 0 when every board passed.
    void ended(int status);

private:
    void join();

    StationJob job;
    std::thread thread;
    std::atomic<Gang *> gang{nullptr};
    std::atomic<bool> stopping{false};
    std::atomic<bool> done{true};
};

// Today's boards in the record (those that passed or failed) into the model's yield per hour.
// False with `error` when the record cannot be read.
bool countTodaysBoards(const QString &record, StationModel &model, QString &error);
