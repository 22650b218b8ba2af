#include "connectargs.h"

#include <QCoreApplication>
#include <QJsonArray>

namespace cli {

void addConnectOptions(QCommandLineParser &parser)
{
    parser.addOption(
        {"connect",
         QCoreApplication::translate(
             "QuorvelCli",
             "--via swd的连接方式：normal（停住运行中的内核，默认）、under-reset"
             "（按住复位连接，固件一条指令也不运行）或halt-on-reset（复位后停在第一条指令）。"),
         "normal|under-reset|halt-on-reset"});
    parser.addOption({"reset-type",
                      QCoreApplication::translate(
                          "QuorvelCli",
                          "--via swd的复位方式：hardware（nRESET）、system（SYSRESETREQ）或core"
                          "（VECTRESET）；默认按设备包，否则system。"),
                      "hardware|system|core"});
    parser.addOption(
        {"debugvar",
         QCoreApplication::translate("QuorvelCli", "覆盖设备包debugvars中的变量，可重复。"),
         "NAME=VALUE"});
}

bool connectOptionsFrom(const QCommandLineParser &parser, SwdConnectOptions &out, QString &error)
{
    if (parser.isSet("connect") && !parseConnectMode(parser.value("connect"), out.mode)) {
        error = QCoreApplication::translate("QuorvelCli", "未知连接方式：%1")
                    .arg(parser.value("connect"));
        return false;
    }
    if (parser.isSet("reset-type") && !parseResetType(parser.value("reset-type"), out.reset)) {
        error = QCoreApplication::translate("QuorvelCli", "未知复位方式：%1")
                    .arg(parser.value("reset-type"));
        return false;
    }
    for (const QString &text : parser.values("debugvar")) {
        QString name;
        uint64_t value = 0;
        if (!parseDebugVar(text, name, value, error))
            return false;
        out.debugvars[name] = value;
    }
    return true;
}

namespace {

QStringList sequenceNames(const pack::TargetDescription &device)
{
    QStringList names;
    for (const pack::DebugSequence &s : device.debug.sequences) {
        QString name = s.pname.isEmpty() ? s.name : QStringLiteral("%1@%2").arg(s.name, s.pname);
        if (s.disabled)
            name += QStringLiteral(" (disabled)");
        if (!names.contains(name))
            names << name;
    }
    return names;
}

} // namespace

QString connectSummary(const pack::TargetDescription &device)
{
    const QStringList names = sequenceNames(device);
    return QStringLiteral("reset: %1 (%2); sequences: %3")
        .arg(resetTypeName(effectiveResetType(device, SwdResetType::Default)),
             device.debug.defaultResetSequence.isEmpty() ? QStringLiteral("default")
                                                         : QStringLiteral("pack"),
             names.isEmpty() ? QStringLiteral("none, the standard ones run")
                             : names.join(QStringLiteral(", ")));
}

QJsonObject connectJson(const pack::TargetDescription &device)
{
    return QJsonObject{{"reset", resetTypeName(effectiveResetType(device, SwdResetType::Default))},
                       {"resetFromPack", !device.debug.defaultResetSequence.isEmpty()},
                       {"sequences", QJsonArray::fromStringList(sequenceNames(device))}};
}

} // namespace cli
