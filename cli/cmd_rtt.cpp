// `rtt`: the board's RTT up-buffer 0 on stdout while its firmware runs, until SIGINT or SIGTERM;
// an engineer's view of what the self-test reads.
#include "command.h"
#include "exitcodes.h"
#include "jobargs.h"
#include "packargs.h"
#include "probesession.h"
#include "swdcommands.h"

#include "swd/debug/debugport.h"
#include "swd/link/dappipe.h"
#include "swd/link/dapprobes.h"
#include "swd/rtt/debugmemory.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <ctime>

namespace cli {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStop(int)
{
    stopRequested = 1;
}

void catchStop()
{
    struct sigaction action = {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// A signal ends the pause early.
void pause(int ms)
{
    const timespec t{0, long(ms) * 1000000L};
    nanosleep(&t, nullptr);
}

constexpr int kPollMs = 10; // the firmware's time to print more
constexpr int kSearchMs = 50; // between two searches while the firmware sets RTT up

} // namespace

int runRtt(const QStringList &arguments)
{
    Command c("rtt",
              QCoreApplication::translate(
                  "QuorvelCli",
                  "经SWD读取RTT上行缓冲0并写到标准输出，直到Ctrl-C或SIGTERM（退出状态0）。"));
    addViaOption(c.parser, false);
    c.parser.addOption({"rtt-address",
                        QCoreApplication::translate(
                            "QuorvelCli", "RTT控制块的地址（十六进制）；默认在器件的RAM中查找。"),
                        "ADDRESS"});
    const int parsed = c.parse(arguments);
    if (parsed >= 0)
        return parsed;
    if (c.json())
        return c.fail(ExitUsage, QCoreApplication::translate("QuorvelCli", "rtt不支持--json"));
    if (c.parser.isSet("via") && c.parser.value("via") != QLatin1String("swd"))
        return c.fail(ExitUsage, QCoreApplication::translate("QuorvelCli", "rtt只经SWD"));
    uint32_t address = 0;
    if (c.parser.isSet("rtt-address")
        && (!parseHex(c.parser.value("rtt-address"), address) || address % 4 != 0))
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "RTT控制块地址无效：%1")
                          .arg(c.parser.value("rtt-address")));
    QString error;
    job::JobSetup setup;
    pack::TargetDescription target;
    if (const int status = findTarget(c.parser, setup, target, error))
        return c.fail(status, error);
    uint32_t clockHz = job::defaultSwdClockHz;
    if (!swdClockFrom(c.parser, clockHz, error))
        return c.fail(ExitUsage, error);
    OpenedDapProbe probe;
    if (const int opened = openDapProbe(c, probe, error, c.parser.value("transport")))
        return c.fail(opened, error);

    catchStop();
    DapPipe link(probe.transport());
    DebugPort port(link);
    rtt::DebugMemory memory(port);
    rtt::UpReader reader(memory, rtt::ramOf(target));
    // Attached to the running firmware: no reset, no halt.
    bool found = false, told = false;
    rtt::Status status = rtt::Status::Ok;
    if (link.open() && port.connect(clockHz)) {
        while (!stopRequested) {
            if (!found) {
                status = reader.find(address);
                if (status == rtt::Status::NotFound) {
                    if (!told)
                        Command::warn(reader.error()
                                      + QCoreApplication::translate("QuorvelCli", "；继续查找"));
                    told = true;
                    pause(kSearchMs);
                    continue;
                }
                if (status != rtt::Status::Ok)
                    break;
                found = true;
            }
            QByteArray text;
            status = reader.poll(text);
            if (!text.isEmpty()) {
                std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
                std::fflush(stdout);
            }
            if (status != rtt::Status::Ok)
                break;
            if (text.isEmpty())
                pause(kPollMs);
        }
    }
    port.disconnect();
    link.drain();
    const SwdResult result = link.error();
    if (!result.ok())
        return c.finish(exitForSwd(result.code), swdFailureText(result), result.code);
    if (status == rtt::Status::BadBlock)
        return c.finish(ExitSwdBase + SwdSelfTestFailed, reader.error());
    return c.finish(ExitOk, QString());
}

} // namespace cli
