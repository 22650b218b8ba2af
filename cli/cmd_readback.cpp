// The read-back tools of the Help and offline menus: verify, MD5 and CRC-32 of a flash range,
// the host-side CRC-32 of files, and erasing the probe's offline job; with the window's gates.
#include "command.h"
#include "exitcodes.h"
#include "jobargs.h"
#include "probesession.h"
#include "swdcommands.h"

#include "job/chipmodels.h"
#include "job/jobfile.h"
#include "job/messages.h"

#include <QCoreApplication>
#include <QJsonArray>

namespace cli {

namespace {

// The model of the chip --chip names (QB48V without it), or -1 after reporting an unknown name.
int chipModel(Command &c)
{
    int index = job::defaultChipIndex;
    QString error;
    if (chipFromArgs(c.parser, index, error) != ExitOk) {
        c.fail(ExitUsage, error);
        return -1;
    }
    return job::modelForIndex(index);
}

} // namespace

int runVerify(const QStringList &arguments)
{
    Command c("verify", QCoreApplication::translate("QuorvelCli", "校验：芯片数据与文件是否一致。"),
              "FILE[@ADDRESS]...", fileArgumentsHelp());
    c.parser.addOption(
        {"job", QCoreApplication::translate("QuorvelCli", "从工程文件读取文件。"), "JOB"});
    addChipOption(c.parser);
    addViaOption(c.parser);
    const int parsed = c.parse(arguments);
    if (parsed >= 0)
        return parsed;
    if (const int swd = runViaSwd(c, SwdCommand::Verify); swd >= 0)
        return swd;
    const int model = chipModel(c);
    if (model < 0)
        return ExitUsage;

    QString error;
    ProbeSession session;
    const int loaded = loadFileArguments(c.parser, session.record(), error);
    if (loaded != ExitOk)
        return c.fail(loaded, error);
    if (const int status = session.connect(c))
        return status;
    session.record().chip->model = model;
    const int code = session.record().verifyImages();
    return c.finish(exitForVerify(code), job::plainText(job::verifyMessage(code)), code);
}

int runDigest(const QStringList &arguments, bool md5)
{
    const QString name = md5 ? QStringLiteral("md5") : QStringLiteral("crc32");
    Command c(name,
              md5 ? QCoreApplication::translate("QuorvelCli", "读取芯片一段FLASH的MD5。")
                  : QCoreApplication::translate("QuorvelCli", "读取芯片一段FLASH的CRC-32。"),
              "ADDRESS SIZE",
              QCoreApplication::translate("QuorvelCli", "起始地址和大小（十六进制，4字节对齐）。"));
    addChipOption(c.parser);
    const int parsed = c.parse(arguments);
    if (parsed >= 0)
        return parsed;
    const QStringList range = c.parser.positionalArguments();
    uint32_t address = 0, size = 0;
    if (range.size() != 2 || !parseHex(range[0], address) || !parseHex(range[1], size))
        return c.fail(ExitUsage,
                      QCoreApplication::translate("QuorvelCli", "需要起始地址和大小（十六进制）"));
    const QString problem = job::rangeProblem(address, size);
    if (!problem.isEmpty())
        return c.fail(ExitUsage, job::plainText(problem));
    const int model = chipModel(c);
    if (model < 0)
        return ExitUsage;

    ProbeSession session;
    if (const int status = session.connect(c))
        return status;
    Download &d = session.record();
    const QString refusal = job::readBackRefusal(d.connected, d.probeId);
    if (!refusal.isEmpty())
        return c.fail(ExitFirmwareRefused, job::plainText(refusal));
    d.chip->model = model;
    int code = 0;
    QString message;
    if (md5) {
        d.md5Address = address;
        d.md5Size = size;
        code = d.readMd5();
        if (code == 0) {
            message = job::md5ResultMessage(address, size, d.md5Digest);
            QString hex;
            for (uint8_t byte : d.md5Digest)
                hex += QString::asprintf("%02X", byte);
            c.report().insert("md5", hex);
        }
    } else {
        d.crcAddress = address;
        d.crcSize = size;
        code = d.readCrc32();
        if (code == 0) {
            message = job::crcResultMessage(address, size, d.crcValue);
            c.report().insert("crc32", QString::asprintf("0x%08X", d.crcValue));
        }
    }
    if (code != 0)
        message = job::readBackFailureMessage(code);
    return c.finish(exitForReadBack(code), job::plainText(message), code);
}

int runFileCrc(const QStringList &arguments)
{
    Command c("file-crc",
              QCoreApplication::translate("QuorvelCli", "计算文件的CRC-32（不用烧录器）。"),
              "FILE[@ADDRESS]...", fileArgumentsHelp());
    const int parsed = c.parse(arguments, false);
    if (parsed >= 0)
        return parsed;
    // The host-side CRC-32 needs no placement: a BIN without an address is read at 0.
    ProbeSession session;
    Download &d = session.record();
    QString error;
    const int loaded = loadFileArguments(c.parser, d, error, true);
    if (loaded != ExitOk)
        return c.fail(loaded, error);
    if (d.fileCount <= 0)
        return c.fail(ExitUsage, job::plainText(job::noFilesMessage()));
    d.calcFileCrc32();
    QJsonArray files;
    for (int i = 0; i < d.fileCount; ++i)
        files.append(QJsonObject{{"name", d.fileName[i]},
                                 {"crc32", QString::asprintf("0x%08X", d.fileCrc[i])}});
    c.report().insert("files", files);
    return c.finish(ExitOk, job::plainText(job::fileCrcMessage(d)));
}

int runOfflineErase(const QStringList &arguments)
{
    Command c("offline-erase",
              QCoreApplication::translate("QuorvelCli", "删除烧录器中保存的脱机任务。"));
    const int parsed = c.parse(arguments);
    if (parsed >= 0)
        return parsed;
    ProbeSession session;
    if (const int status = session.connect(c))
        return status;
    const int code = session.record().offlineErase();
    return c.finish(code == 0       ? int(ExitOk)
                        : code == 1 ? 1
                                    : int(ExitOfflineEraseFailed),
                    job::plainText(job::offlineEraseMessage(code)), code);
}

} // namespace cli
