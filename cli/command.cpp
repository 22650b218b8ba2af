// Option parsing and the outcome report of a subcommand.
#include "command.h"

#include "exitcodes.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <cstdio>

namespace cli {

namespace {

void writeLine(FILE *stream, const QString &text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

Command::Command(const QString &name, const QString &description, const QString &positional,
                 const QString &positionalHelp)
    : name(name)
{
    clock.start();
    parser.setApplicationDescription(description);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addOption(
        {"json", QCoreApplication::translate("QuorvelCli", "以一个JSON对象输出结果。")});
    parser.addPositionalArgument(name, QCoreApplication::translate("QuorvelCli", "子命令"), name);
    if (!positional.isEmpty())
        parser.addPositionalArgument(positional, positionalHelp, positional);
    object.insert("command", name);
}

int Command::parse(const QStringList &arguments, bool takesProbe)
{
    if (takesProbe)
        parser.addOption(
            {"probe",
             QCoreApplication::translate(
                 "QuorvelCli",
                 "烧录器的序列号或路径（默认：第一个）；program可多次给出，或用all选全部。"),
             "SERIAL|PATH"});
    // The subcommand's name stays out of the positional arguments.
    QStringList args = arguments;
    args.removeAt(1);
    if (!parser.parse(args)) {
        jsonOutput = args.contains("--json");
        return fail(ExitUsage, parser.errorText());
    }
    jsonOutput = parser.isSet("json");
    if (parser.isSet("help")) {
        // Usage names the program as typed on a command line, not by the path it was run from.
        QString help = parser.helpText();
        help.replace(QCoreApplication::arguments().constFirst(), QStringLiteral("quorvel-cli"));
        std::fputs(help.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        return ExitOk;
    }
    return -1;
}

QString Command::probeSelector() const
{
    return parser.value("probe");
}

int Command::finish(int exitCode, const QString &message, int result)
{
    if (jsonOutput) {
        if (result >= 0)
            object.insert("result", result);
        object.insert("message", message);
        object.insert("exitCode", exitCode);
        object.insert("durationMs", double(clock.elapsed()));
        std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).append('\n').constData(),
                   stdout);
        std::fflush(stdout);
        if (exitCode != ExitOk && !message.isEmpty())
            warn(message);
    } else if (!message.isEmpty()) {
        if (exitCode == ExitOk)
            writeLine(stdout, message);
        else
            warn(message);
    }
    return exitCode;
}

void Command::data(const QString &text) const
{
    if (!jsonOutput)
        writeLine(stdout, text);
}

void Command::data(const QByteArray &bytes) const
{
    if (jsonOutput)
        return;
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

namespace {
std::function<void(const QString &)> warningSink;
}

void setWarningSink(std::function<void(const QString &)> sink)
{
    warningSink = std::move(sink);
}

void Command::warn(const QString &text)
{
    writeLine(stderr, QStringLiteral("quorvel-cli: ") + text);
    if (warningSink)
        warningSink(text);
}

void Command::prompt(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

QJsonObject probeJson(const QString &path, const QString &serial, const QString &product,
                      const QString &firmware)
{
    return QJsonObject{{"path", path},
                       {"serial", serial},
                       {"product", product},
                       {"firmware", firmware.isEmpty() ? QJsonValue() : QJsonValue(firmware)}};
}

} // namespace cli
