// quorvel-cli: the programming engine from the command line, for build scripts, test fixtures and
// production lines. Subcommands share the window's rules, texts and probe link.
#include "command.h"
#include "exitcodes.h"
#include "swdcommands.h"

#include "job/localepolicy.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <wolfssl/options.h>
#include <wolfssl/ssl.h>

namespace {

// The engine's debug lines are for developers; QUORVEL_DEBUG=1 shows them on stderr.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

void printUsage(FILE *stream)
{
    const QString text = QCoreApplication::translate(
        "QuorvelCli",
        "用法：quorvel-cli <子命令> [选项]\n\n"
        "子命令：\n"
        "  probes          列出连接的烧录器\n"
        "  program         烧写文件或工程\n"
        "  plan            烧录地图：文件、擦除范围和滚码在芯片上的位置\n"
        "  verify          校验芯片数据与文件\n"
        "  erase           经SWD擦除整个芯片（任意CMSIS-DAP烧录器）\n"
        "  read            经SWD读出一段FLASH或RAM到文件\n"
        "  rtt             经SWD把RTT上行缓冲0输出到标准输出\n"
        "  md5             读取一段FLASH的MD5\n"
        "  crc32           读取一段FLASH的CRC-32\n"
        "  file-crc        计算文件的CRC-32\n"
        "  offline-erase   删除烧录器中的脱机任务\n"
        "  report          生产记录的统计和导出\n"
        "  targets         列出设备包描述的设备\n\n"
        "每个子命令的选项：quorvel-cli <子命令> --help\n");
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIntValue("QUORVEL_DEBUG") == 0)
        qInstallMessageHandler(quietHandler);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quorvel-cli");
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    QTranslator translator;
    if (needsEnglishTranslation(QLocale::system().name())) {
        translator.load(englishTranslationPath());
        app.installTranslator(&translator);
    }

    const QStringList args = app.arguments();
    const QString command = args.value(1);
    if (command == "--version" || command == "-v") {
        std::printf("quorvel-cli %s\n", QUORVEL_VERSION);
        return cli::ExitOk;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(stdout);
        return cli::ExitOk;
    }
    wolfSSL_Init();
    int status = cli::ExitUsage;
    if (command == "probes")
        status = cli::runProbes(args);
    else if (command == "program")
        status = cli::runProgram(args);
    else if (command == "report")
        status = cli::runReport(args);
    else if (command == "plan")
        status = cli::runPlan(args);
    else if (command == "verify")
        status = cli::runVerify(args);
    else if (command == "md5" || command == "crc32")
        status = cli::runDigest(args, command == "md5");
    else if (command == "file-crc")
        status = cli::runFileCrc(args);
    else if (command == "offline-erase")
        status = cli::runOfflineErase(args);
    else if (command == "erase")
        status = cli::runErase(args);
    else if (command == "read")
        status = cli::runRead(args);
    else if (command == "rtt")
        status = cli::runRtt(args);
    else if (command == "targets")
        status = cli::runTargets(args);
    else {
        if (!command.isEmpty())
            std::fprintf(stderr, "quorvel-cli: %s\n",
                         QCoreApplication::translate("QuorvelCli", "未知子命令：%1")
                             .arg(command)
                             .toLocal8Bit()
                             .constData());
        printUsage(stderr);
    }
    wolfSSL_Cleanup();
    return status;
}
