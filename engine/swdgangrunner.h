// The gang over any CMSIS-DAP probes: one thread and one job record copy per probe, as on the
// dedicated probes, each probe opened once and its job run over SWD. On a line a probe waits for a
// debug port that answers its identity read, runs the board, and waits until it is gone.
#pragma once

#include "gangrunner.h"
#include "swd/link/dapprobes.h"
#include "swd/swdprogrammer.h"

// A board's end as the record keeps it: `code` (0 or 5 passes), `message` the text beside it.
struct SwdBoardOutcome
{
    int32_t code = -1;
    QString message;
    QString functional; // the self-test's verdict; empty when none ran
    QByteArray functionalText;
};

class SwdGangRunner : public Gang
{
public:
    // The job on one board through its opened probe; `job` holds that board's own values (the
    // ledger's rolling code, set by Prepare).
    using Run = std::function<SwdBoardOutcome(int index, DapTransport &probe, const Download &job,
                                              const SwdProgress &progress)>;

    SwdGangRunner(const Download &prototype, std::vector<DapProbe> probes,
                  DapTransportChoice choice, uint32_t clockHz, Run run);

    // Reads the board's chip ID (hex into `uid`) before Prepare; a code other than 0 fails the
    // board before its row and serial are taken.
    using Identify = std::function<SwdBoardOutcome(int index, DapTransport &probe, QString &uid)>;
    void setIdentify(Identify identify) { identifyBoard = std::move(identify); }

    // A probe that cannot be opened fails (connect code -1, its reason as the message); one listed
    // again fails unopened.
    std::vector<GangResult> run() override;

private:
    class Phases;
    class Gate;
    void runProbe(int index, GangResult &result);
    void runBoard(int index, Gate &probe, Download &job, Phases &phases, GangResult &result);
    void runLine(int index, Gate &probe, Download &job, Phases &phases, GangResult &result);

    Download prototype;
    std::vector<DapProbe> probes;
    DapTransportChoice choice;
    uint32_t clockHz;
    Run runJob;
    Identify identifyBoard;
};
