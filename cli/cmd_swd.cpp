// program, verify and erase through any CMSIS-DAP probe: the job's files load as for the dedicated
// probe, then the chip's own flash algorithms write them over SWD.
#include "checkargs.h"
#include "command.h"
#include "connectargs.h"
#include "exitcodes.h"
#include "jobargs.h"
#include "packargs.h"
#include "probesession.h"
#include "progressview.h"
#include "recording.h"
#include "swdcommands.h"

#include "engine/chiprecord.h"
#include "engine/download.h"
#include "engine/swdjobof.h"
#include "job/chipmodels.h"
#include "job/filelist.h"
#include "job/flashplan.h"
#include "job/jobfile.h"
#include "job/messages.h"
#include "pack/targetcatalog.h"
#include "swd/link/dapprobes.h"
#include "swd/rollingpatch.h"
#include "swd/swdprogrammer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>

namespace cli {

namespace {

// The SWD choices of the command line over the job's, kept in `setup` so that a job saved from
// this run holds them. 0 or the usage status.
int swdChoicesFrom(const QCommandLineParser &p, job::JobSetup &setup, QString &error)
{
    setup.via = job::ViaSwd;
    if (p.isSet("transport")) {
        DapTransportChoice choice;
        if (!parseTransportChoice(p.value("transport"), choice)) {
            error = QCoreApplication::translate("QuorvelCli", "未知传输方式：%1")
                        .arg(p.value("transport"));
            return ExitUsage;
        }
        setup.transport = p.value("transport");
    }
    if (p.isSet("verify"))
        setup.verifyReadback = p.value("verify") == QLatin1String("readback");
    for (const QString &text : p.values("debugvar")) {
        QString name;
        uint64_t value = 0;
        if (!parseDebugVar(text, name, value, error))
            return ExitUsage;
        setup.targetDebugVars[name] = value;
    }
    return swdClockFrom(p, setup.swdClockHz, error) ? int(ExitOk) : int(ExitUsage);
}

// What the SWD path cannot do, named before anything is loaded or sent; empty when the job fits.
QString refusal(const job::JobSetup &setup)
{
    const struct
    {
        bool refused;
        const char *text;
    } rules[] = {
        {setup.offline || setup.offlineCount || setup.offlineAutoMs || setup.offlineMachine
             || setup.offlineForce,
         QT_TRANSLATE_NOOP("QuorvelCli", "--via swd不能用于脱机任务")},
        // The dedicated probe keeps the series; over SWD only the ledger knows the next value.
        {setup.rollingAddress != 0 && !setup.serialLedger,
         QT_TRANSLATE_NOOP("QuorvelCli", "--via swd写滚码需要--serial-ledger")},
        {setup.watchdog != job::WatchdogKeep,
         QT_TRANSLATE_NOOP("QuorvelCli", "--via swd不能设置看门狗")},
        {setup.protectLevel != 0, QT_TRANSLATE_NOOP("QuorvelCli", "--via swd不能设置读保护")},
        {setup.chipIndex != job::chipIndexForName(QStringLiteral("QB48V")),
         QT_TRANSLATE_NOOP("QuorvelCli", "--via swd只支持芯片QB48V")},
    };
    for (const auto &rule : rules) {
        if (rule.refused)
            return QCoreApplication::translate("QuorvelCli", rule.text);
    }
    return {};
}

// A rolling-code word outside the target's memory is the flash map's problem on this path too:
// status 28 unless --force. The other map rules are the dedicated probe's and do not apply here.
int rollingCodePlaced(Command &c, const Download &d, const pack::TargetDescription &target)
{
    if (d.rollingCodeAddress == 0 || c.parser.isSet("force"))
        return ExitOk;
    QVector<FlashMemory> memories;
    QString error;
    if (!memoriesOf(target, memories, error))
        return c.fail(ExitInputFile, error);
    for (const FlashProblem &problem : planJob(d, 0, memories).problems) {
        if (problem.kind == FlashProblem::RollingCodeOutside)
            return c.fail(
                ExitPlanProblems,
                QCoreApplication::translate("QuorvelCli", "烧录地图有问题（--force仍然烧写）：%1")
                    .arg(problem.text));
    }
    return ExitOk;
}

int swdProgram(Command &c)
{
    job::JobSetup setup;
    QString error;
    int status = jobSetupFromArgs(c.parser, setup, error);
    if (status != ExitOk)
        return c.fail(status, error);
    const QString refused = refusal(setup);
    if (!refused.isEmpty())
        return c.fail(ExitUsage, refused);
    if (!c.parser.isSet("erase") && !c.parser.isSet("job"))
        setup.eraseMode = job::AutoErase;
    pack::TargetDescription target;
    status = findTarget(c.parser, setup, target, error);
    if (status != ExitOk)
        return c.fail(status, error);
    if (const int chosen = swdChoicesFrom(c.parser, setup, error); chosen != ExitOk)
        return c.fail(chosen, error);
    if (const int checked = checkFromArgs(c.parser, setup, error); checked != ExitOk)
        return c.fail(checked, error);

    ChipRecord chip;
    Download d;
    const job::ImagesReleased released(d);
    d.chip = &chip;
    status = loadJob(c.parser, setup, d, error);
    if (status == ExitOk)
        status = useAlgorithms(setup, imageSpansOf(d), target, error);
    if (status != ExitOk)
        return c.fail(status, error);
    c.report().insert("files", describeImages(d));
    if (const int planned = rollingCodePlaced(c, d, target); planned != ExitOk)
        return planned;
    RecordOptions recordOptions;
    if (!recordOptionsFrom(c.parser, d, recordOptions, error, setup.serialLedger))
        return c.fail(ExitUsage, error);
    recordOptions.via = QStringLiteral("swd");
    recordOptions.target = target.device;
    SwdJob swdJob = swdJobOf(setup, d);
    swdJob.target = target;
    swdJob.clockHz = setup.swdClockHz;
    swdJob.verifyMode = setup.verifyReadback ? SwdVerifyReadback : SwdVerifyCrc;
    if (!connectOptionsFrom(c.parser, swdJob.connect, error))
        return c.fail(ExitUsage, error);
    UidPlace uid;
    if (!swdChecksOf(setup, target, uid, swdJob.selfTest, error))
        return c.fail(ExitInputFile, error);
    // Refused once, before any probe is opened or ledger value taken, when no board could take it.
    if (d.rollingCodeAddress != 0) {
        const SwdResult placed = checkRollingCode(swdJob, d.rollingCodeAddress);
        if (!placed.ok())
            return c.fail(ExitUsage, placed.message);
    }
    const QString success = swdJob.program ? job::runResultMessage(0)
        : swdJob.eraseMode != job::NoErase ? job::runResultMessage(5)
                                           : job::verifyMessage(0);
    const QStringList probes = c.parser.values("probe");
    if (probes.size() > 1 || probes.contains(QLatin1String("all")) || c.parser.isSet("repeat")
        || c.parser.isSet("auto"))
        return runSwdGang(c, d, swdJob, setup.transport, recordOptions, job::plainText(success),
                          uid);
    if (c.parser.isSet("poll"))
        return c.fail(ExitUsage, QCoreApplication::translate("QuorvelCli", "--poll只用于--auto"));
    RunRecorder recorder(recordOptions);
    const SwdRecording recording{&recorder, &d, uid, swdJob.clockHz};
    return runOnProbe(
        c, setup.transport, stagesOf(swdJob),
        [&swdJob, &d](DapTransport &probe, const SwdProgress &progress) {
            return runSwdProgramming(probe, swdJob, d, progress);
        },
        job::plainText(success), &recording);
}

int swdVerify(Command &c)
{
    int index = job::defaultChipIndex;
    QString error;
    if (const int status = chipFromArgs(c.parser, index, error))
        return c.fail(status, error);
    if (index != job::defaultChipIndex)
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "--via swd只支持芯片QB48V"));
    ChipRecord chip;
    Download d;
    const job::ImagesReleased released(d);
    d.chip = &chip;
    const int loaded = loadFileArguments(c.parser, d, error);
    if (loaded != ExitOk)
        return c.fail(loaded, error);
    c.report().insert("files", describeImages(d));
    job::JobSetup setup;
    if (c.parser.isSet("job") && !job::readJobFile(c.parser.value("job"), setup, error))
        return c.fail(ExitInputFile, error);
    pack::TargetDescription target;
    if (const int status = resolveTarget(c.parser, setup, target, error, imageSpansOf(d)))
        return c.fail(status, error);
    if (const int chosen = swdChoicesFrom(c.parser, setup, error); chosen != ExitOk)
        return c.fail(chosen, error);
    SwdJob swdJob = swdJobOf(job::JobSetup(), d);
    swdJob.target = target;
    swdJob.clockHz = setup.swdClockHz;
    swdJob.verifyMode = setup.verifyReadback ? SwdVerifyReadback : SwdVerifyCrc;
    if (!connectOptionsFrom(c.parser, swdJob.connect, error))
        return c.fail(ExitUsage, error);
    return runOnProbe(
        c, setup.transport,
        {QCoreApplication::translate("QuorvelCli", "连接"),
         QCoreApplication::translate("QuorvelCli", "校验")},
        [&swdJob](DapTransport &probe, const SwdProgress &progress) {
            return verifyJob(probe, swdJob, progress);
        },
        job::plainText(job::verifyMessage(0)));
}

} // namespace

// --swd-clock: 1 kHz to 50 MHz, default the job's.
bool swdClockFrom(const QCommandLineParser &p, uint32_t &hz, QString &error)
{
    if (!p.isSet("swd-clock"))
        return true;
    bool ok = false;
    const qulonglong value = p.value("swd-clock").toULongLong(&ok);
    if (!ok || value < 1000 || value > 50000000) {
        error = QCoreApplication::translate("QuorvelCli", "SWD时钟无效（1000到50000000 Hz）：%1")
                    .arg(p.value("swd-clock"));
        return false;
    }
    hz = uint32_t(value);
    return true;
}

void addViaOption(QCommandLineParser &parser, bool withVerify)
{
    parser.addOption(
        {"via",
         QCoreApplication::translate(
             "QuorvelCli", "烧录方式：vendor（专用烧录器，默认）或swd（任意CMSIS-DAP烧录器）。"),
         "vendor|swd", "vendor"});
    parser.addOption({"transport",
                      QCoreApplication::translate(
                          "QuorvelCli",
                          "--via swd的传输方式：bulk（CMSIS-DAP v2）或hid（v1）；默认有v2时用v2。"),
                      "hid|bulk"});
    parser.addOption(
        {"swd-clock",
         QCoreApplication::translate("QuorvelCli", "--via swd的SWD时钟（Hz，默认4000000）。"),
         "HZ"});
    addConnectOptions(parser);
    if (withVerify)
        parser.addOption({"verify",
                          QCoreApplication::translate(
                              "QuorvelCli",
                              "--via swd的校验方式：crc（在芯片上算每个扇区的CRC-32，默认）或"
                              "readback（读回每个字节）。"),
                          "crc|readback", "crc"});
    addPackOptions(parser);
}

namespace {

// The path a command takes: --via, else the job's (--job), else the dedicated probe.
QString pathOf(const QCommandLineParser &p)
{
    if (p.isSet("via") || !p.isSet("job"))
        return p.value("via");
    // A job that cannot be read goes the default way, which names the problem.
    job::JobSetup setup;
    QString error;
    if (job::readJobFile(p.value("job"), setup, error) && setup.via == job::ViaSwd)
        return QStringLiteral("swd");
    return p.value("via");
}

} // namespace

int runViaSwd(Command &c, SwdCommand command)
{
    const QString via = pathOf(c.parser);
    if (via == QLatin1String("vendor")
        && (c.parser.isSet("transport") || c.parser.isSet("swd-clock")))
        return c.fail(
            ExitUsage,
            QCoreApplication::translate("QuorvelCli", "--transport和--swd-clock只用于--via swd"));
    if (via == QLatin1String("vendor")
        && (c.parser.isSet("connect") || c.parser.isSet("reset-type")
            || c.parser.isSet("debugvar")))
        return c.fail(ExitUsage,
                      QCoreApplication::translate(
                          "QuorvelCli", "--connect、--reset-type和--debugvar只用于--via swd"));
    if (via == QLatin1String("vendor") && command == SwdCommand::Program
        && checkOptionsGiven(c.parser))
        return c.fail(ExitUsage,
                      QCoreApplication::translate(
                          "QuorvelCli", "--uid、--new-serial和--rtt-…选项只用于--via swd"));
    const QString verify = c.parser.value("verify");
    if (verify != QLatin1String("crc") && verify != QLatin1String("readback"))
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "未知校验方式：%1").arg(verify));
    if (via == QLatin1String("vendor") && (c.parser.isSet("pack") || c.parser.isSet("target")))
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "--pack和--target只用于--via swd"));
    if (via == QLatin1String("vendor") && c.parser.isSet("verify"))
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "--verify只能用于--via swd"));
    if (via == QLatin1String("vendor"))
        return -1;
    if (via != QLatin1String("swd"))
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "未知烧录方式：%1").arg(via));
    return command == SwdCommand::Program ? swdProgram(c) : swdVerify(c);
}

int runErase(const QStringList &arguments)
{
    Command c("erase",
              QCoreApplication::translate(
                  "QuorvelCli", "经SWD擦除整个芯片（APROM和LDROM），用任意CMSIS-DAP烧录器。"));
    addViaOption(c.parser, false);
    const int parsed = c.parse(arguments);
    if (parsed >= 0)
        return parsed;
    if (c.parser.isSet("via") && c.parser.value("via") != QLatin1String("swd"))
        return c.fail(ExitUsage,
                      QCoreApplication::translate(
                          "QuorvelCli",
                          "erase只经SWD；专用烧录器的整片擦除：program --no-program --erase full"));
    SwdJob swdJob;
    QString error;
    if (!swdClockFrom(c.parser, swdJob.clockHz, error)
        || !connectOptionsFrom(c.parser, swdJob.connect, error))
        return c.fail(ExitUsage, error);
    job::JobSetup setup;
    if (const int status = resolveTarget(c.parser, setup, swdJob.target, error))
        return c.fail(status, error);
    return runOnProbe(
        c, c.parser.value("transport"),
        {QCoreApplication::translate("QuorvelCli", "连接"),
         QCoreApplication::translate("QuorvelCli", "擦除")},
        [&swdJob](DapTransport &probe, const SwdProgress &progress) {
            return eraseDevice(probe, swdJob, progress);
        },
        job::plainText(job::runResultMessage(5)));
}

} // namespace cli
