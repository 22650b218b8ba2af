// What every subcommand shares: its option parser with --help, and the one place its output is
// written: text (data on stdout, problems on stderr) or one JSON object on stdout, with a failure's
// message on stderr as well.
#pragma once

#include "engine/gangrunner.h"
#include "probe/probelist.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace cli {

class Command
{
public:
    Command(const QString &name, const QString &description, const QString &positional = {},
            const QString &positionalHelp = {});

    QCommandLineParser parser;
    // Parses the subcommand's arguments. -1: go on; otherwise the process's exit status (after
    // --help, or a usage error already reported).
    int parse(const QStringList &arguments, bool takesProbe = true);

    bool json() const { return jsonOutput; }
    QString probeSelector() const;
    QJsonObject &report() { return object; }

    // Ends the command: writes the outcome and returns `exitCode`. Text mode: `message` goes to
    // stdout when exitCode is 0, else to stderr; JSON mode: the report with result and message,
    // and a failure's message on stderr too, so a script's log names it.
    int finish(int exitCode, const QString &message, int result = -1);
    // A problem found before any work: one line naming it, and its exit status.
    int fail(int exitCode, const QString &message) { return finish(exitCode, message); }

    // Data beside the outcome (a map, a table, CSV bytes as they are): stdout in text mode;
    // nothing with --json, whose report carries the same.
    void data(const QString &text) const;
    void data(const QByteArray &bytes) const;
    // A problem beside the outcome, in both modes: "quorvel-cli: text" on stderr. One write per
    // line, so the probes' threads may call it at once.
    static void warn(const QString &text);
    // A question to the operator, on stderr without a line end.
    static void prompt(const QString &text);

private:
    QString name;
    QJsonObject object;
    QElapsedTimer clock;
    bool jsonOutput = false;
};

// Per-probe steps of a run on several probes, called from the probes' threads: `prepare` may set
// the probe's own values (e.g. its serial number, also returned in `serialWritten`) and false
// holds the probe back; `finished` sees each probe's outcome.
struct GangHooks
{
    std::function<bool(int index, const QString &probe, Download &job, QString &serialWritten)>
        prepare;
    std::function<void(int index, const QString &probe, const GangResult &result)> finished;
};
int runGang(Command &c, const Download &prototype, const QStringList &selectors,
            const GangHooks &hooks);
// The same over any gang of probes (`probes` name them in the view, in the gang's order): rounds,
// or a line with --auto; `make` builds a fresh gang for each round.
using GangFactory = std::function<std::unique_ptr<Gang>()>;
int runGangOf(Command &c, const std::vector<ProbeInfo> &probes, const GangFactory &make,
              const GangHooks &hooks);
// Another face that runs the gang a command has prepared (the station window): it gets the gang's
// probes, factory, record hooks and line (enabled with --auto) instead of the terminal's rounds,
// and returns the exit status. Empty: the terminal's. Set before the command starts.
using GangDriver = std::function<int(const std::vector<ProbeInfo> &probes, const GangFactory &make,
                                     const GangHooks &hooks, const LineOptions &line)>;
void setGangDriver(GangDriver driver);
// Where warnings and failures go besides stderr (from any thread); empty: stderr alone.
void setWarningSink(std::function<void(const QString &)> sink);

// The probe as every JSON report names it: {path, serial, product, firmware}; firmware is null
// when the probe did not tell it.
QJsonObject probeJson(const QString &path, const QString &serial, const QString &product,
                      const QString &firmware);

int runProbes(const QStringList &arguments);
int runPlan(const QStringList &arguments);
int runReport(const QStringList &arguments);
int runProgram(const QStringList &arguments);
int runVerify(const QStringList &arguments);
int runDigest(const QStringList &arguments, bool md5);
int runFileCrc(const QStringList &arguments);
int runOfflineErase(const QStringList &arguments);
int runTargets(const QStringList &arguments);
// `rtt`: RTT up-buffer 0 to stdout until SIGINT/SIGTERM (exit status 0).
int runRtt(const QStringList &arguments);

} // namespace cli
