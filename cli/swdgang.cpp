// `program --via swd` on several CMSIS-DAP probes, in rounds (--repeat) or as a line (--auto): the
// dedicated path's gang view, exit status and record, each board run over SWD.
#include "command.h"
#include "exitcodes.h"
#include "recording.h"
#include "swdcommands.h"

#include "engine/swdgangrunner.h"

#include <QCoreApplication>
#include <memory>

namespace cli {

namespace {

// The CMSIS-DAP probes named on the command line, in that order ("all": every one; empty: the
// first); false with `error` for one that is not there.
bool resolveDapProbes(const QStringList &selectors, std::vector<DapProbe> &chosen, QString &error)
{
    const std::vector<DapProbe> probes = listDapProbes();
    for (const QString &selector : selectors) {
        if (selector.isEmpty() && !probes.empty()) {
            chosen.push_back(probes.front());
            continue;
        }
        if (selector == QLatin1String("all")) {
            chosen.insert(chosen.end(), probes.begin(), probes.end());
            continue;
        }
        const auto found = std::find_if(probes.begin(), probes.end(),
                                        [&](const DapProbe &p) { return p.matches(selector); });
        if (found == probes.end()) {
            error = QCoreApplication::translate("QuorvelCli", "未找到CMSIS-DAP烧录器：%1")
                        .arg(selector);
            return false;
        }
        chosen.push_back(*found);
    }
    if (chosen.empty())
        error = QCoreApplication::translate("QuorvelCli", "未找到CMSIS-DAP烧录器");
    return !chosen.empty();
}

} // namespace

int runSwdGang(Command &c, const Download &d, const SwdJob &swdJob, const QString &transport,
               const RecordOptions &options, const QString &success, const UidPlace &uid)
{
    DapTransportChoice choice;
    if (!parseTransportChoice(transport, choice))
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "未知传输方式：%1").arg(transport));
    QStringList selectors = c.parser.values("probe");
    if (selectors.isEmpty())
        selectors << QString();
    std::vector<DapProbe> probes;
    QString error;
    if (!resolveDapProbes(selectors, probes, error))
        return c.fail(1, error);
    std::vector<ProbeInfo> shown;
    for (const DapProbe &p : probes) {
        ProbeInfo info;
        info.path = p.path().toLocal8Bit();
        info.serial = p.serial;
        info.product = p.product;
        shown.push_back(info);
    }
    // Each slot is written and read only by its probe's thread, board after board.
    auto sectors = std::make_shared<std::vector<SectorCounts>>(probes.size());
    auto checks = std::make_shared<std::vector<RunCheck>>(probes.size());
    const SwdGangRunner::Run run = [&](int index, DapTransport &probe, const Download &job,
                                       const SwdProgress &progress) {
        const SwdResult r = runSwdProgramming(probe, swdJob, job, progress);
        (*sectors)[size_t(index)] = r.sectors;
        RunCheck &check = (*checks)[size_t(index)];
        check.functional = r.functional;
        check.text = r.functionalText;
        SwdBoardOutcome outcome{ExitOk, success, r.functional, r.functionalText};
        if (!r.ok()) {
            outcome.code = exitForSwd(r.code);
            outcome.message = swdFailureText(r);
        }
        return outcome;
    };
    const SwdGangRunner::Identify identify = [&](int index, DapTransport &probe, QString &hex) {
        (*checks)[size_t(index)] = RunCheck();
        const SwdResult r = readChipUid(probe, swdJob.clockHz, uid, hex);
        (*checks)[size_t(index)].chipUid = hex;
        return r.ok() ? SwdBoardOutcome{ExitOk, QString(), {}, {}}
                      : SwdBoardOutcome{exitForSwd(r.code), swdFailureText(r), {}, {}};
    };
    return runGangOf(
        c, shown,
        [&]() -> std::unique_ptr<Gang> {
            auto gang = std::make_unique<SwdGangRunner>(d, probes, choice, swdJob.clockHz, run);
            if (uid.given())
                gang->setIdentify(identify);
            return gang;
        },
        recordedGang(
            options, [sectors](int k) { return (*sectors)[size_t(k)]; },
            [checks](int k) { return (*checks)[size_t(k)]; }));
}

} // namespace cli
