// Several probes' progress: on a terminal one line per probe redrawn in place; otherwise one line
// per probe when it finishes. Then the summary table, or the per-probe part of the JSON report.
#pragma once

#include "engine/gangrunner.h"
#include "probe/probelist.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace cli {

// The exit status of a probe's run in a gang: 0 passed; its result code; 74 when its ledger or
// record refused it; 130 interrupted; 1 or 27 when it did not connect.
int statusOf(const GangResult &result);

// The command's exit status over every board it ran (rounds or a line): the first failure's
// status once any board failed, whatever came after.
struct ExitTally
{
    void board(const GangResult &result);
    int status = 0;
    int passed = 0;
    int failed = 0;
};

class GangView
{
public:
    // The probes in listed order; each is labelled by its serial number, or its path without one.
    GangView(const std::vector<ProbeInfo> &probes, bool quiet);

    void progress(const GangProgress &event);
    void finished(int index, const GangResult &result, const QString &serialWritten);
    // The table of every probe's outcome (stdout), one row per probe in listed order.
    QString table(const std::vector<GangResult> &results, const QStringList &serials) const;
    QJsonArray json(const std::vector<GangResult> &results, const QStringList &serials) const;

    static QString outcome(const GangResult &result);

    // A line (--auto): each probe's terminal line also says what it waits for, the last board's
    // result and how many boards it ran; boards end as one line or JSON object each.
    void setLine(bool on) { lineMode = on; }
    bool live() const { return onTerminal; } // the per-probe lines are redrawn on a terminal
    QString boardLine(int index, const GangResult &result, const QString &serialWritten) const;
    QJsonObject boardJson(int index, const GangResult &result, const QString &serialWritten) const;

private:
    void redraw();

    std::vector<ProbeInfo> probes;
    QStringList names;
    QStringList lines;
    QStringList lastBoard; // line mode: the last board's outcome per probe
    bool lineMode = false;
    bool onTerminal;
    bool drawn = false;
};

} // namespace cli
