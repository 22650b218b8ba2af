// `program` on several probes at once (--probe all, or --probe given more than once): one run per
// probe per round, progress per probe, a summary table, and rounds repeated for board swaps.
#include "command.h"
#include "exitcodes.h"
#include "gangview.h"

#include "engine/gangrunner.h"
#include "probe/probelist.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace cli {

namespace {

std::atomic<Gang *> activeRunner{nullptr};
GangDriver gangDriver;
volatile std::sig_atomic_t interrupted = 0;

// Ctrl-C: every probe finishes the exchange in flight and sends nothing more.
void onInterrupt(int)
{
    interrupted = 1;
    if (Gang *runner = activeRunner.load())
        runner->cancel();
}

void catchInterrupt()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a wait for the next round ends at once
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

void ExitTally::board(const GangResult &r)
{
    const int s = statusOf(r);
    (s == ExitOk ? passed : failed)++;
    if (s != ExitOk && status == ExitOk)
        status = s;
}

int statusOf(const GangResult &r)
{
    if (r.status == GangStatus::Passed)
        return ExitOk;
    if (r.status == GangStatus::Interrupted)
        return ExitInterrupted;
    if (r.heldBack)
        return ExitRecord;
    if (r.code > 0)
        return r.code;
    return r.connectCode == -2 ? int(ExitFirmwareRefused) : 1;
}

namespace {

// Waits for the operator between rounds: Enter on a terminal (after a prompt); without a terminal
// one line from stdin, so a fixture or test executive can pace the rounds. False: stop (EOF,
// Ctrl-C).
bool nextRoundWanted()
{
    if (isatty(STDIN_FILENO))
        Command::prompt(
            QCoreApplication::translate("QuorvelCli", "换好芯片后按回车开始下一轮（Ctrl-C结束）"));
    char line[256];
    return std::fgets(line, sizeof line, stdin) != nullptr && !interrupted;
}

// The probes named on the command line, in that order; false with `error` for an unknown one.
bool resolveProbes(const QStringList &selectors, std::vector<ProbeInfo> &chosen, QString &error)
{
    const std::vector<ProbeInfo> probes = listProbes();
    auto add = [&](const ProbeInfo &p) { chosen.push_back(p); };
    for (const QString &selector : selectors) {
        if (selector.isEmpty() && !probes.empty()) { // the first, as the window connects
            add(probes.front());
            continue;
        }
        if (selector == QLatin1String("all")) {
            for (const ProbeInfo &p : probes)
                add(p);
            continue;
        }
        const auto found = std::find_if(probes.begin(), probes.end(), [&](const ProbeInfo &p) {
            return p.serial == selector || QString::fromLocal8Bit(p.path) == selector;
        });
        if (found == probes.end()) {
            error = QCoreApplication::translate("QuorvelCli", "未找到烧录器：%1").arg(selector);
            return false;
        }
        add(*found);
    }
    if (chosen.empty())
        error = QCoreApplication::translate("QuorvelCli", "未找到烧录器");
    return !chosen.empty();
}

// --poll into `line`; false when out of range.
bool pollFrom(const Command &c, LineOptions &line)
{
    if (!c.parser.isSet("poll"))
        return true;
    bool ok = false;
    line.pollMs = c.parser.value("poll").toInt(&ok);
    return ok && line.pollMs >= 10 && line.pollMs <= 60000;
}

// --auto: every probe runs boards as they are attached, until it has run `boards` of them (0: until
// Ctrl-C). One line (or JSON object) per board on stdout as it ends.
int runLine(Command &c, const GangFactory &make, const std::vector<ProbeInfo> &probes,
            const QStringList &names, int boards, const GangHooks &hooks)
{
    LineOptions line;
    line.enabled = true;
    line.boards = boards;
    if (!pollFrom(c, line))
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "--poll需要10到60000毫秒"));
    catchInterrupt();
    GangView view(probes, c.json());
    view.setLine(true);
    std::vector<QString> serials(size_t(names.size()));
    ExitTally tally;
    const std::unique_ptr<Gang> gang = make();
    Gang &runner = *gang;
    runner.setLine(line);
    runner.setProgress([&view](const GangProgress &e) { view.progress(e); });
    runner.setPrepare([&](int index, Download &job) {
        serials[size_t(index)].clear();
        return hooks.prepare ? hooks.prepare(index, names[index], job, serials[size_t(index)])
                             : true;
    });
    runner.setFinished([&](int index, const GangResult &r) {
        if (hooks.finished)
            hooks.finished(index, names[index], r);
        const QString &serial = serials[size_t(index)];
        if (c.json()) {
            const QJsonObject board = view.boardJson(index, r, serial);
            std::printf("%s\n", QJsonDocument(board).toJson(QJsonDocument::Compact).constData());
        } else {
            view.finished(index, r, serial);
            // On the terminal that shows the live lines, the last board stands in its own line.
            if (!view.live() || !isatty(STDOUT_FILENO))
                std::printf("%s\n", view.boardLine(index, r, serial).toLocal8Bit().constData());
        }
        std::fflush(stdout);
        tally.board(r);
    });
    activeRunner = &runner;
    if (interrupted)
        runner.cancel();
    runner.run();
    activeRunner = nullptr;
    if (interrupted && tally.status == ExitOk && boards != 0)
        tally.status = ExitInterrupted;
    c.report().insert("passed", tally.passed);
    c.report().insert("failed", tally.failed);
    return c.finish(tally.status, QString());
}

} // namespace

int runGang(Command &c, const Download &prototype, const QStringList &selectors,
            const GangHooks &hooks)
{
    std::vector<ProbeInfo> probes;
    QString error;
    if (!resolveProbes(selectors, probes, error))
        return c.fail(1, error);
    std::vector<QByteArray> paths;
    for (const ProbeInfo &p : probes)
        paths.push_back(p.path);
    return runGangOf(
        c, probes, [&] { return std::make_unique<GangRunner>(prototype, paths); }, hooks);
}

void setGangDriver(GangDriver driver)
{
    gangDriver = std::move(driver);
}

int runGangOf(Command &c, const std::vector<ProbeInfo> &probes, const GangFactory &make,
              const GangHooks &hooks)
{
    QStringList names;
    for (const ProbeInfo &p : probes)
        names << (p.serial.isEmpty() ? QString::fromLocal8Bit(p.path) : p.serial);
    bool ok = true;
    const int rounds = c.parser.isSet("repeat") ? c.parser.value("repeat").toInt(&ok) : 1;
    if (!ok || rounds < 0)
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "--repeat需要一个非负整数"));
    if (gangDriver) {
        LineOptions line;
        line.enabled = c.parser.isSet("auto");
        line.boards = line.enabled && c.parser.isSet("repeat") ? rounds : 0;
        if (!pollFrom(c, line))
            return c.fail(ExitUsage,
                          QCoreApplication::translate("QuorvelCli", "--poll需要10到60000毫秒"));
        return c.finish(gangDriver(probes, make, hooks, line), QString());
    }

    if (c.parser.isSet("auto")) // a line runs until Ctrl-C unless --repeat bounds it
        return runLine(c, make, probes, names, c.parser.isSet("repeat") ? rounds : 0, hooks);
    if (c.parser.isSet("poll"))
        return c.fail(ExitUsage, QCoreApplication::translate("QuorvelCli", "--poll只用于--auto"));

    catchInterrupt();
    QJsonArray roundsJson;
    ExitTally tally; // every round's boards: one that failed in any round fails the command
    QString summary; // the failures of the last round, the command's outcome
    for (int round = 1; rounds == 0 || round <= rounds; ++round) {
        summary.clear();
        GangView view(probes, c.json());
        QStringList serials;
        for (int i = 0; i < names.size(); ++i)
            serials << QString();
        const std::unique_ptr<Gang> gang = make();
        Gang &runner = *gang;
        runner.setProgress([&view](const GangProgress &e) { view.progress(e); });
        runner.setPrepare([&](int index, Download &job) {
            return hooks.prepare ? hooks.prepare(index, names[index], job, serials[index]) : true;
        });
        runner.setFinished([&](int index, const GangResult &r) {
            if (hooks.finished)
                hooks.finished(index, names[index], r);
            view.finished(index, r, serials[index]);
        });
        activeRunner = &runner;
        if (interrupted)
            runner.cancel();
        const std::vector<GangResult> results = runner.run();
        activeRunner = nullptr;

        QStringList failures;
        for (size_t i = 0; i < results.size(); ++i) {
            tally.board(results[i]);
            if (statusOf(results[i]) != ExitOk)
                failures << names[int(i)] + QStringLiteral(": ") + GangView::outcome(results[i]);
        }
        roundsJson.append(view.json(results, serials));
        c.data(view.table(results, serials));
        if (!failures.isEmpty())
            summary = QCoreApplication::translate("QuorvelCli", "%1个烧录器失败：%2")
                          .arg(failures.size())
                          .arg(failures.join(QStringLiteral("; ")));
        const bool last = interrupted || rounds == round;
        if (!last && !summary.isEmpty()) { // before the operator is asked for the next round
            Command::warn(summary);
            summary.clear();
        }
        if (last || !nextRoundWanted())
            break;
    }
    if (interrupted && tally.status == ExitOk)
        tally.status = ExitInterrupted;
    if (summary.isEmpty() && tally.failed > 0) // an earlier round's failures, warned back then
        summary =
            QCoreApplication::translate("QuorvelCli", "%1块芯片在前几轮失败").arg(tally.failed);
    c.report().insert("probes", roundsJson.last());
    if (roundsJson.size() > 1)
        c.report().insert("rounds", roundsJson);
    return c.finish(tally.status, summary);
}

} // namespace cli
