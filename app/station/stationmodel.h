// What a station shows, kept apart from its widgets: one entry per probe with its state, progress,
// last result and counts, and today's passed and failed boards per hour. Fed by the gang's events
// and by the list of probes on the bus; the tiles only draw it.
#pragma once

#include "engine/gangrunner.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

struct StationProbe
{
    // Idle: not in a run. Waiting: armed for a board, or its board still in the fixture.
    enum class State { Idle, Waiting, Programming, Passed, Failed };
    QString name; // serial number, or the path without one
    QString transport;
    State state = State::Idle;
    bool present = true; // on the bus at the last look
    bool inRun = false; // one of the running gang's probes
    bool removeBoard = false; // its last board is still in the fixture
    QString phase; // the running phase in words
    int percent = 0;
    QString lastResult;
    QString serialWritten;
    int boards = 0;
    int passed = 0;
    // Passed boards in percent of those done; -1 before the first.
    int yieldPercent() const { return boards ? (passed * 100 + boards / 2) / boards : -1; }
};

class StationModel
{
public:
    // A probe seen on the bus: its name and transport. New names get an entry at the end.
    struct Listed
    {
        QString name;
        QString transport;
    };
    // Marks who is on the bus; returns whether anything shown changed.
    bool listed(const std::vector<Listed> &probes);
    // A run starts on these probes (the gang's order): their entries, created when missing, are
    // armed; `gangIndex` maps the gang's indexes to entries from then on.
    void runStarted(const QStringList &names, bool line);
    void progress(const GangProgress &event);
    // `outcome`: the result in words as the record keeps it; `at` when it ended. `board`: a board
    // was run (or held back) for it; false when the probe itself went away between boards, which
    // is shown but counts no board.
    void boardEnded(int gangIndex, const GangResult &result, const QString &outcome,
                    const QString &serialWritten, const QDateTime &at, bool board = true);
    void runEnded();

    // A board from the record (earlier today, before this station opened) in the yield chart.
    void countEarlier(bool passed, const QDateTime &at);
    const std::array<int, 24> &passedByHour() const { return passedHours; }
    const std::array<int, 24> &failedByHour() const { return failedHours; }
    int passedToday() const;
    int failedToday() const;

    const std::vector<StationProbe> &probes() const { return entries; }
    int indexOf(const QString &name) const; // -1 when unknown
    int entryOfGang(int gangIndex) const;

    static QString phaseText(const GangProgress &event);
    static QString stateText(StationProbe::State state);

private:
    void count(bool passed, const QDateTime &at);

    std::vector<StationProbe> entries;
    std::vector<int> gangEntries;
    std::array<int, 24> passedHours{};
    std::array<int, 24> failedHours{};
    QDate day;
};
