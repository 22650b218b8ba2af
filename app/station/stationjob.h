// What a station shows of its job and which probes it sees: the job file's fixed choices in
// words, and the probes of the job's path on the bus with the transport each would use.
#pragma once

#include "stationmodel.h"
#include "stationrun.h"

#include "job/jobsetup.h"

#include <QString>
#include <QStringList>
#include <vector>

struct StationJobText
{
    QString name; // the job file's name
    QString path; // the dedicated probe, or CMSIS-DAP over SWD
    QString device;
    QStringList files; // "name @ 0x00001000"
    QString options; // erase, program, verify, reset, rolling code
};

StationJobText describeStationJob(const QString &jobPath, const job::JobSetup &setup);

// The probes a run of `setup` would take, named as the run names them.
std::vector<StationModel::Listed> probesOnBus(const job::JobSetup &setup);

// `Quorvel --station JOB [--record FILE|URL | --no-record] [--auto]`: NotAsked when the arguments
// do not name a station; Bad with `error` when they do but cannot be used.
enum class StationArguments { NotAsked, Station, Bad };
StationArguments stationFromArguments(const QStringList &arguments, StationJob &job,
                                      QString &error);
