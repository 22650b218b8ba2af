// The chip's ID and the self-test options; see checkargs.h.
#include "checkargs.h"

#include "exitcodes.h"
#include "jobargs.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace cli {

namespace {

constexpr int kLongestCheckMs = 600000;

// --new-serial is the record's option, but only a chip's ID gives it a meaning.
const char *const kOptions[] = {"uid",      "new-serial",  "rtt-expect",
                                "rtt-fail", "rtt-timeout", "rtt-address"};

int usage(QString &error, const QString &message)
{
    error = message;
    return ExitUsage;
}

bool validPattern(const QString &pattern, QString &error)
{
    const QRegularExpression re(pattern);
    if (re.isValid())
        return true;
    error = QCoreApplication::translate("QuorvelCli", "正则表达式无效：%1（%2）")
                .arg(pattern, re.errorString());
    return false;
}

} // namespace

void addCheckOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {"uid",
         QCoreApplication::translate("QuorvelCli",
                                     "--via swd：芯片唯一ID的位置（地址:字节数），记入生产记录；"
                                     "默认用器件包给出的位置。"),
         "ADDRESS:LENGTH"},
        {"rtt-expect",
         QCoreApplication::translate("QuorvelCli",
                                     "--via swd --reset：复位后从RTT上行缓冲0读取，直到匹配此正则"
                                     "表达式（自检通过）。"),
         "REGEX"},
        {"rtt-fail", QCoreApplication::translate("QuorvelCli", "匹配此正则表达式时自检失败。"),
         "REGEX"},
        {"rtt-timeout",
         QCoreApplication::translate("QuorvelCli", "自检的最长时间（毫秒，默认5000）。"), "MS"},
        {"rtt-address",
         QCoreApplication::translate("QuorvelCli",
                                     "RTT控制块的地址（十六进制）；默认在器件的RAM中查找。"),
         "ADDRESS"},
    });
}

bool checkOptionsGiven(const QCommandLineParser &parser)
{
    for (const char *name : kOptions) {
        if (parser.isSet(QString::fromLatin1(name)))
            return true;
    }
    return false;
}

int checkFromArgs(const QCommandLineParser &p, job::JobSetup &setup, QString &error)
{
    if (p.isSet("uid"))
        setup.uid = p.value("uid");
    UidPlace place;
    if (!setup.uid.isEmpty() && !parseUidPlace(setup.uid, place, error))
        return ExitUsage;
    if (p.isSet("rtt-expect"))
        setup.rttExpect = p.value("rtt-expect");
    if (p.isSet("rtt-fail"))
        setup.rttFail = p.value("rtt-fail");
    if (p.isSet("rtt-timeout")) {
        bool ok = false;
        const int ms = p.value("rtt-timeout").toInt(&ok);
        if (!ok || ms < 1 || ms > kLongestCheckMs)
            return usage(error,
                         QCoreApplication::translate("QuorvelCli", "--rtt-timeout需要1到%1毫秒")
                             .arg(kLongestCheckMs));
        setup.rttTimeoutMs = ms;
    }
    if (p.isSet("rtt-address")
        && (!parseHex(p.value("rtt-address"), setup.rttAddress) || setup.rttAddress % 4 != 0))
        return usage(error,
                     QCoreApplication::translate("QuorvelCli", "RTT控制块地址无效：%1")
                         .arg(p.value("rtt-address")));
    const bool checks = !setup.rttExpect.isEmpty();
    if (!checks && (!setup.rttFail.isEmpty() || p.isSet("rtt-timeout") || p.isSet("rtt-address")))
        return usage(error,
                     QCoreApplication::translate(
                         "QuorvelCli", "--rtt-fail、--rtt-timeout和--rtt-address需要--rtt-expect"));
    if (checks && !setup.resetAndRun)
        return usage(error, QCoreApplication::translate("QuorvelCli", "--rtt-expect需要--reset"));
    if ((checks && !validPattern(setup.rttExpect, error))
        || (!setup.rttFail.isEmpty() && !validPattern(setup.rttFail, error)))
        return ExitUsage;
    return ExitOk;
}

} // namespace cli
