// The station's state per probe and its yield per hour.
#include "stationmodel.h"

#include <QCoreApplication>
#include <numeric>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Station", text);
}

} // namespace

bool StationModel::listed(const std::vector<Listed> &probes)
{
    bool changed = false;
    for (StationProbe &e : entries) {
        const bool there = std::any_of(probes.begin(), probes.end(),
                                       [&](const Listed &p) { return p.name == e.name; });
        changed |= there != e.present;
        e.present = there;
    }
    for (const Listed &p : probes) {
        const int k = indexOf(p.name);
        if (k >= 0) {
            if (!p.transport.isEmpty() && entries[size_t(k)].transport != p.transport) {
                entries[size_t(k)].transport = p.transport;
                changed = true;
            }
            continue;
        }
        StationProbe e;
        e.name = p.name;
        e.transport = p.transport;
        entries.push_back(e);
        changed = true;
    }
    return changed;
}

void StationModel::runStarted(const QStringList &names, bool line)
{
    gangEntries.clear();
    for (const QString &name : names) {
        int k = indexOf(name);
        if (k < 0) {
            StationProbe e;
            e.name = name;
            entries.push_back(e);
            k = int(entries.size()) - 1;
        }
        StationProbe &e = entries[size_t(k)];
        e.inRun = true;
        e.present = true;
        e.removeBoard = false;
        e.percent = 0;
        e.state = line ? StationProbe::State::Waiting : StationProbe::State::Programming;
        GangProgress first;
        first.phase = line ? GangProgress::Phase::Waiting : GangProgress::Phase::Connect;
        e.phase = phaseText(first);
        gangEntries.push_back(k);
    }
}

int StationModel::entryOfGang(int gangIndex) const
{
    return gangIndex >= 0 && size_t(gangIndex) < gangEntries.size() ? gangEntries[size_t(gangIndex)]
                                                                    : -1;
}

void StationModel::progress(const GangProgress &event)
{
    const int k = entryOfGang(event.probe);
    if (k < 0)
        return;
    StationProbe &e = entries[size_t(k)];
    e.phase = phaseText(event);
    e.percent = event.percent;
    switch (event.phase) {
    case GangProgress::Phase::Waiting:
        e.removeBoard = false;
        if (e.state == StationProbe::State::Programming || e.state == StationProbe::State::Idle)
            e.state = StationProbe::State::Waiting;
        break;
    case GangProgress::Phase::Removal:
        // The result stays in view until the next board starts.
        e.removeBoard = true;
        break;
    default:
        e.removeBoard = false;
        e.state = StationProbe::State::Programming;
    }
}

void StationModel::boardEnded(int gangIndex, const GangResult &result, const QString &outcome,
                              const QString &serialWritten, const QDateTime &at, bool board)
{
    const int k = entryOfGang(gangIndex);
    if (k < 0)
        return;
    StationProbe &e = entries[size_t(k)];
    e.percent = 0;
    e.removeBoard = false;
    if (!board) { // the last board's result stays; the line says why the probe stopped
        e.state = StationProbe::State::Failed;
        e.phase = outcome;
        return;
    }
    e.lastResult = outcome;
    e.serialWritten = serialWritten;
    e.phase.clear();
    // A cancel's board says nothing about the chip: neither counted nor shown as failed.
    if (result.status == GangStatus::Interrupted) {
        e.state = StationProbe::State::Idle;
        return;
    }
    const bool passed = result.status == GangStatus::Passed;
    e.state = passed ? StationProbe::State::Passed : StationProbe::State::Failed;
    ++e.boards;
    e.passed += passed ? 1 : 0;
    count(passed, at);
}

void StationModel::runEnded()
{
    for (StationProbe &e : entries) {
        e.inRun = false;
        e.removeBoard = false;
        e.phase.clear();
        e.percent = 0;
        if (e.state == StationProbe::State::Waiting || e.state == StationProbe::State::Programming)
            e.state = StationProbe::State::Idle;
    }
    gangEntries.clear();
}

void StationModel::countEarlier(bool passed, const QDateTime &at)
{
    count(passed, at);
}

void StationModel::count(bool passed, const QDateTime &at)
{
    const QDateTime local = at.toLocalTime();
    // The chart is today's: a new day starts it again.
    if (local.date() != day) {
        if (day.isValid() && local.date() < day)
            return;
        day = local.date();
        passedHours.fill(0);
        failedHours.fill(0);
    }
    (passed ? passedHours : failedHours)[size_t(local.time().hour())]++;
}

int StationModel::passedToday() const
{
    return std::accumulate(passedHours.begin(), passedHours.end(), 0);
}

int StationModel::failedToday() const
{
    return std::accumulate(failedHours.begin(), failedHours.end(), 0);
}

int StationModel::indexOf(const QString &name) const
{
    for (size_t k = 0; k < entries.size(); ++k) {
        if (entries[k].name == name)
            return int(k);
    }
    return -1;
}

QString StationModel::phaseText(const GangProgress &event)
{
    // The command line's words for the same phases.
    auto cli = [](const char *text) { return QCoreApplication::translate("QuorvelCli", text); };
    switch (event.phase) {
    case GangProgress::Phase::Connect:
        return cli("连接");
    case GangProgress::Phase::Erase:
        return cli("擦除");
    case GangProgress::Phase::Program:
        return cli("文件%1").arg(event.image + 1);
    case GangProgress::Phase::Finish:
        return cli("完成");
    case GangProgress::Phase::Waiting:
        return cli("等待芯片");
    case GangProgress::Phase::Removal:
        return cli("请取下芯片");
    }
    return QString();
}

QString StationModel::stateText(StationProbe::State state)
{
    switch (state) {
    case StationProbe::State::Idle:
        return tr("空闲");
    case StationProbe::State::Waiting:
        return tr("等待");
    case StationProbe::State::Programming:
        return tr("烧录中");
    case StationProbe::State::Passed:
        return tr("通过");
    case StationProbe::State::Failed:
        return tr("失败");
    }
    return QString();
}
