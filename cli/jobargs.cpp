// Job options on the command line.
#include "jobargs.h"

#include "engine/download.h"
#include "exitcodes.h"
#include "job/chipmodels.h"
#include "job/filelist.h"
#include "job/jobfile.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QRegularExpression>

namespace cli {

namespace {

int usage(QString &error, const QString &message)
{
    error = message;
    return ExitUsage;
}

bool decimal(const QCommandLineParser &p, const QString &name, uint32_t &out)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    bool ok = false;
    const uint value = p.value(name).toUInt(&ok, 10);
    if (!digits.match(p.value(name)).hasMatch() || !ok)
        return false;
    out = value;
    return true;
}

// The FILE[@ADDRESS] arguments behind the setup's files. `binAtZero` reads a BIN without an
// address at 0 (the host-side CRC-32 places nothing).
int appendFileArguments(const QCommandLineParser &p, job::JobSetup &setup, QString &error,
                        bool binAtZero)
{
    for (const QString &argument : p.positionalArguments()) {
        job::JobFile file;
        if (!parseFileArgument(argument, file))
            return usage(
                error,
                QCoreApplication::translate("QuorvelCli", "文件参数格式错误：%1").arg(argument));
        if (binAtZero)
            file.hasAddress = file.hasAddress || !file.path.endsWith(".hex", Qt::CaseInsensitive);
        setup.files.append(file);
    }
    return ExitOk;
}

int offlineFromArgs(const QCommandLineParser &p, job::JobSetup &setup, QString &error)
{
    if (p.isSet("offline"))
        setup.offline = true;
    if (p.isSet("offline-count") && !decimal(p, "offline-count", setup.offlineCount))
        return usage(error,
                     QCoreApplication::translate("QuorvelCli", "脱机烧写次数格式错误：%1")
                         .arg(p.value("offline-count")));
    if (p.isSet("offline-auto")
        && (!decimal(p, "offline-auto", setup.offlineAutoMs) || setup.offlineAutoMs == 0))
        return usage(error, QStringLiteral("自动烧写间隔必须在300-3000毫秒之间"));
    if (p.isSet("offline-machine"))
        setup.offlineMachine = true;
    if (p.isSet("offline-force"))
        setup.offlineForce = true;
    const QString problem = job::optionsProblem(setup);
    return problem.isEmpty() ? int(ExitOk) : usage(error, problem);
}

} // namespace

bool parseHex(const QString &text, uint32_t &value)
{
    static const QRegularExpression hex(QStringLiteral("^(0[xX])?[0-9A-Fa-f]{1,8}$"));
    if (!hex.match(text).hasMatch())
        return false;
    value = text.toUInt(nullptr, 16);
    return true;
}

bool parseFileArgument(const QString &argument, job::JobFile &file)
{
    const int at = argument.lastIndexOf('@');
    // An '@' inside a folder name is part of the path, not an address.
    if (at < 0 || argument.indexOf('/', at) >= 0) {
        file.path = argument;
        return !argument.isEmpty();
    }
    file.path = argument.left(at);
    file.hasAddress = true;
    return !file.path.isEmpty() && parseHex(argument.mid(at + 1), file.address);
}

bool parseRolling(const QString &text, uint32_t &address, uint32_t &value, uint32_t &step)
{
    const QStringList parts = text.split(':');
    return parts.size() == 3 && parseHex(parts[0], address) && parseHex(parts[1], value)
        && parseHex(parts[2], step);
}

void addJobOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {"job", QCoreApplication::translate("QuorvelCli", "从工程文件读取任务。"), "JOB"},
        {"accept-changed",
         QCoreApplication::translate("QuorvelCli", "工程保存后改变的文件也照样使用。")},
        {"save-job", QCoreApplication::translate("QuorvelCli", "把任务保存为工程文件。"), "JOB"},
        {"erase",
         QCoreApplication::translate("QuorvelCli",
                                     "擦除方式：full、sector、none或auto（默认full；--via "
                                     "swd时默认auto，auto只用于--via swd）。"),
         "MODE"},
        {"no-program", QCoreApplication::translate("QuorvelCli", "不烧写。")},
        {"no-verify", QCoreApplication::translate("QuorvelCli", "不校验。")},
        {"reset", QCoreApplication::translate("QuorvelCli", "完成后复位运行。")},
        {"protect", QCoreApplication::translate("QuorvelCli", "读保护等级0、1或2。"), "LEVEL"},
        {"level2-password",
         QCoreApplication::translate("QuorvelCli", "读保护等级2的密码（十六进制）。"), "HEX"},
        {"rolling", QCoreApplication::translate("QuorvelCli", "滚码：地址:初值:步长（十六进制）。"),
         "ADDRESS:VALUE:STEP"},
        {"watchdog", QCoreApplication::translate("QuorvelCli", "看门狗选项：keep、on或off。"),
         "MODE"},
        {"offline", QCoreApplication::translate("QuorvelCli", "打开脱机烧写功能。")},
        {"offline-count", QCoreApplication::translate("QuorvelCli", "脱机烧写次数（十进制）。"),
         "N"},
        {"offline-auto",
         QCoreApplication::translate("QuorvelCli", "自动烧写时间（300-3000毫秒）。"), "MS"},
        {"offline-machine", QCoreApplication::translate("QuorvelCli", "机台烧录。")},
        {"offline-force", QCoreApplication::translate("QuorvelCli", "强制烧写脱机文件。")},
    });
    addChipOption(parser);
}

void addChipOption(QCommandLineParser &parser)
{
    parser.addOption({"chip",
                      QCoreApplication::translate("QuorvelCli", "芯片型号（默认QB48V）：%1。")
                          .arg(job::chipNames().join(", ")),
                      "NAME"});
}

int chipFromArgs(const QCommandLineParser &p, int &index, QString &error)
{
    if (!p.isSet("chip"))
        return ExitOk;
    const int named = job::chipIndexForName(p.value("chip"));
    if (named < 0)
        return usage(
            error,
            QCoreApplication::translate("QuorvelCli", "未知芯片型号：%1").arg(p.value("chip")));
    index = named;
    return ExitOk;
}

QString fileArgumentsHelp()
{
    return QCoreApplication::translate("QuorvelCli", "HEX或BIN文件，可带烧录地址（十六进制）。");
}

int jobSetupFromArgs(const QCommandLineParser &p, job::JobSetup &setup, QString &error)
{
    if (p.isSet("job")) {
        if (!p.positionalArguments().isEmpty())
            return usage(error,
                         QCoreApplication::translate("QuorvelCli", "文件和--job不能同时使用"));
        if (!job::readJobFile(p.value("job"), setup, error))
            return ExitInputFile;
    }
    if (const int status = appendFileArguments(p, setup, error, false))
        return status;
    // Kept in the job, so the window and a later --job run take serials from the ledger too.
    if (p.optionNames().contains(QStringLiteral("serial-ledger")))
        setup.serialLedger = true;
    if (p.isSet("erase")) {
        setup.eraseMode = QStringList{"full", "sector", "none", "auto"}.indexOf(p.value("erase"));
        if (setup.eraseMode < 0)
            return usage(error,
                         QCoreApplication::translate("QuorvelCli", "未知擦除方式：%1")
                             .arg(p.value("erase")));
    }
    if (p.isSet("no-program"))
        setup.program = false;
    if (p.isSet("no-verify"))
        setup.verify = false;
    if (p.isSet("reset"))
        setup.resetAndRun = true;
    if (const int status = chipFromArgs(p, setup.chipIndex, error))
        return status;
    if (p.isSet("protect")) {
        const QStringList levels{"0", "1", "2"};
        setup.protectLevel = levels.indexOf(p.value("protect"));
        if (setup.protectLevel < 0)
            return usage(error,
                         QCoreApplication::translate("QuorvelCli", "读保护等级必须是0、1或2"));
    }
    // Level 2 can never be undone on the chip: the password is asked every time, never stored.
    if (setup.protectLevel == 2 && !job::level2PasswordMatches(p.value("level2-password")))
        return usage(error, QCoreApplication::translate("QuorvelCli", "读保护等级2的密码错误"));
    if (p.isSet("rolling")
        && (!parseRolling(p.value("rolling"), setup.rollingAddress, setup.rollingValue,
                          setup.rollingStep)
            || setup.rollingAddress == 0))
        return usage(
            error,
            QCoreApplication::translate("QuorvelCli", "滚码格式错误：%1").arg(p.value("rolling")));
    if (p.isSet("watchdog")) {
        const int index = QStringList{"keep", "on", "off"}.indexOf(p.value("watchdog"));
        if (index < 0)
            return usage(error,
                         QCoreApplication::translate("QuorvelCli", "未知看门狗选项：%1")
                             .arg(p.value("watchdog")));
        const int options[] = {job::WatchdogKeep, job::WatchdogOn, job::WatchdogOff};
        setup.watchdog = options[index];
    }
    return offlineFromArgs(p, setup, error);
}

// Loads the job's files into `d` and saves the job when asked; 0 or the exit status.
int prepareJob(const QCommandLineParser &p, job::JobSetup &setup, Download &d, QString &error)
{
    const int status = jobSetupFromArgs(p, setup, error);
    return status != ExitOk ? status : loadJob(p, setup, d, error);
}

int loadJob(const QCommandLineParser &p, const job::JobSetup &setup, Download &d, QString &error)
{
    if (p.isSet("job") && !p.isSet("accept-changed")) {
        const QString changed = job::changedFile(setup);
        if (!changed.isEmpty()) {
            error = QCoreApplication::translate("QuorvelCli", "文件在工程保存后已改变：%1")
                        .arg(changed);
            return ExitInputFile;
        }
    }
    const job::LoadProblem problem = job::loadFiles(setup, d);
    if (problem.isProblem()) {
        error = problem.file + QStringLiteral(": ") + problem.message;
        return problem.inputFile ? ExitInputFile : ExitUsage;
    }
    if (p.isSet("save-job") && !job::writeJobFile(p.value("save-job"), setup, error))
        return ExitCannotCreate;
    job::applyOptions(setup, d);
    return ExitOk;
}

int loadFileArguments(const QCommandLineParser &p, Download &d, QString &error, bool binAtZero)
{
    job::JobSetup setup;
    if (p.optionNames().contains(QLatin1String("job"))
        && !job::readJobFile(p.value("job"), setup, error))
        return ExitInputFile;
    if (const int status = appendFileArguments(p, setup, error, binAtZero))
        return status;
    const job::LoadProblem problem = job::loadFiles(setup, d);
    if (!problem.isProblem())
        return ExitOk;
    error = problem.file + QStringLiteral(": ") + problem.message;
    return problem.inputFile ? ExitInputFile : ExitUsage;
}

QJsonArray describeImages(Download &d)
{
    d.calcFileCrc32();
    QJsonArray files;
    for (int i = 0; i < d.fileCount; ++i) {
        files.append(QJsonObject{{"name", d.fileName[i]},
                                 {"path", d.filePath[i]},
                                 {"address", job::hexText(d.imageAddress[i])},
                                 {"length", double(d.imageLength[i])},
                                 {"crc32", QString::asprintf("0x%08X", d.fileCrc[i])}});
    }
    return files;
}

} // namespace cli
