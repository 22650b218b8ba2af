// read: a range of flash or RAM over SWD into a .bin or .hex file.
#include "command.h"
#include "connectargs.h"
#include "exitcodes.h"
#include "jobargs.h"
#include "packargs.h"
#include "probesession.h"
#include "progressview.h"
#include "swdcommands.h"

#include "images/crc32.h"
#include "images/readoutfile.h"
#include "job/jobsetup.h"
#include "swd/link/dapprobes.h"
#include "swd/memoryread.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace cli {

int runRead(const QStringList &arguments)
{
    Command c(
        "read",
        QCoreApplication::translate("QuorvelCli",
                                    "经SWD读出一段FLASH或RAM，按扩展名存为.bin或.hex文件。"),
        "ADDRESS LENGTH FILE",
        QCoreApplication::translate("QuorvelCli", "起始地址和长度（十六进制），以及保存的文件。"));
    addViaOption(c.parser, false);
    const int parsed = c.parse(arguments);
    if (parsed >= 0)
        return parsed;
    if (c.parser.isSet("via") && c.parser.value("via") != QLatin1String("swd"))
        return c.fail(ExitUsage, QCoreApplication::translate("QuorvelCli", "read只经SWD"));
    const QStringList args = c.parser.positionalArguments();
    uint32_t address = 0, length = 0;
    if (args.size() != 3 || !parseHex(args[0], address) || !parseHex(args[1], length))
        return c.fail(
            ExitUsage,
            QCoreApplication::translate("QuorvelCli", "需要起始地址、长度（十六进制）和文件"));
    const QString &file = args[2];
    if (readOutFormat(file) == ReadOutFormat::None)
        return c.fail(
            ExitUsage,
            QCoreApplication::translate("QuorvelCli", "读出的文件必须是.bin或.hex：%1").arg(file));
    c.report().insert("address", QString::asprintf("0x%08X", address));
    c.report().insert("length", double(length));
    c.report().insert("file", QFileInfo(file).absoluteFilePath());

    QString error;
    job::JobSetup setup;
    pack::TargetDescription target;
    // Its memories are all a read needs; no algorithm is loaded.
    if (const int status = findTarget(c.parser, setup, target, error))
        return c.fail(status, error);
    const QString problem = swdReadProblem(target, address, length);
    if (!problem.isEmpty())
        return c.fail(ExitUsage, problem);
    uint32_t clockHz = job::defaultSwdClockHz;
    if (!swdClockFrom(c.parser, clockHz, error))
        return c.fail(ExitUsage, error);
    SwdConnectOptions connect;
    if (!connectOptionsFrom(c.parser, connect, error))
        return c.fail(ExitUsage, error);

    OpenedDapProbe probe;
    if (const int opened = openDapProbe(c, probe, error, c.parser.value("transport")))
        return c.fail(opened, error);
    QByteArray bytes;
    SwdResult result;
    {
        ProgressView view({QCoreApplication::translate("QuorvelCli", "连接"),
                           QCoreApplication::translate("QuorvelCli", "读出")});
        QString phase;
        result = readMemory(probe.transport(), target, connect, clockHz, address, length, bytes,
                            [&](const QString &name, int percent) {
                                if (name != phase && percent != 0)
                                    view.setValue(0);
                                phase = name;
                                view.setValue(percent);
                            });
        view.finish();
    }
    if (result.code == SwdFault)
        return c.finish(
            ExitChipProtected,
            QCoreApplication::translate("QuorvelCli", "芯片拒绝读出%1起的%2字节（读保护？）：%3")
                .arg(QString::asprintf("0x%08X", address))
                .arg(length)
                .arg(result.message),
            result.code);
    if (!result.ok())
        return c.finish(exitForSwd(result.code),
                        QCoreApplication::translate("QuorvelCli", "SWD错误%1：%2")
                            .arg(result.code)
                            .arg(result.message),
                        result.code);

    if (!writeReadOut(file, address, bytes))
        return c.fail(ExitCannotCreate,
                      QCoreApplication::translate("QuorvelCli", "无法写入文件：%1").arg(file));
    const uint32_t crc =
        calcCrc32(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(bytes.size()));
    c.report().insert("crc32", QString::asprintf("0x%08X", crc));
    return c.finish(ExitOk,
                    QCoreApplication::translate("QuorvelCli", "已读出%1起的%2字节到%3（CRC-32 %4）")
                        .arg(QString::asprintf("0x%08X", address), QString::number(length), file,
                             QString::asprintf("0x%08X", crc)),
                    0);
}

} // namespace cli
