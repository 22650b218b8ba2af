// Per-probe progress lines and the summary of a run on several probes.
#include "gangview.h"

#include "command.h"
#include "job/chipmodels.h"
#include "job/messages.h"
#include "progressview.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <cstdio>

namespace cli {

namespace {

QString phaseText(const GangProgress &event)
{
    switch (event.phase) {
    case GangProgress::Phase::Connect:
        return QCoreApplication::translate("QuorvelCli", "连接");
    case GangProgress::Phase::Erase:
        return QCoreApplication::translate("QuorvelCli", "擦除");
    case GangProgress::Phase::Program:
        return QCoreApplication::translate("QuorvelCli", "文件%1").arg(event.image + 1);
    case GangProgress::Phase::Finish:
        return QCoreApplication::translate("QuorvelCli", "完成");
    case GangProgress::Phase::Waiting:
        return QCoreApplication::translate("QuorvelCli", "等待芯片");
    case GangProgress::Phase::Removal:
        return QCoreApplication::translate("QuorvelCli", "请取下芯片");
    }
    return QString();
}

QString deviceIdText(const GangResult &r)
{
    return r.deviceId ? QString::asprintf("0x%08X", r.deviceId) : QStringLiteral("-");
}

} // namespace

GangView::GangView(const std::vector<ProbeInfo> &probes, bool quiet)
    : probes(probes)
    , onTerminal(!quiet && ProgressView::onTerminal())
{
    for (const ProbeInfo &p : probes) {
        names << (p.serial.isEmpty() ? QString::fromLocal8Bit(p.path) : p.serial);
        lastBoard << QString();
    }
    lines = names;
}

QString GangView::outcome(const GangResult &result)
{
    if (result.status == GangStatus::Interrupted)
        return QCoreApplication::translate("QuorvelCli", "已中断");
    if (!result.message.isEmpty())
        return result.message;
    if (result.code < 0)
        return QCoreApplication::translate("QuorvelCli", "未连接");
    return job::plainText(job::runResultMessage(result.code));
}

void GangView::progress(const GangProgress &event)
{
    if (!onTerminal || event.probe < 0 || event.probe >= lines.size())
        return;
    // One arg() call: a probe's name is the probe's to choose and may hold a %1 itself.
    const QString percent = QString::number(event.percent).rightJustified(3);
    QString line =
        QStringLiteral("%1  %2 %3%")
            .arg(names[event.probe].leftJustified(16), phaseText(event).leftJustified(8), percent);
    if (lineMode) {
        const bool idle = event.phase == GangProgress::Phase::Waiting
            || event.phase == GangProgress::Phase::Removal;
        line = QStringLiteral("%1  %2  %3  %4")
                   .arg(names[event.probe].leftJustified(16),
                        (idle ? phaseText(event)
                              : QStringLiteral("%1 %2%").arg(phaseText(event), percent))
                            .leftJustified(14),
                        QCoreApplication::translate("QuorvelCli", "第%1块")
                            .arg(event.boards)
                            .leftJustified(8),
                        lastBoard[event.probe]);
    }
    if (line == lines[event.probe])
        return;
    lines[event.probe] = line;
    redraw();
}

void GangView::finished(int index, const GangResult &result, const QString &serialWritten)
{
    const QString line =
        QStringLiteral("%1  %2").arg(names[index].leftJustified(16), outcome(result))
        + (serialWritten.isEmpty() ? QString() : QStringLiteral("  ") + serialWritten);
    if (lineMode) {
        lastBoard[index] =
            QCoreApplication::translate("QuorvelCli", "上一块：%1")
                .arg(outcome(result)
                     + (serialWritten.isEmpty() ? QString() : QStringLiteral(" ") + serialWritten));
        return; // the board's own line goes to stdout
    }
    if (!onTerminal) {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
        return;
    }
    lines[index] = line;
    redraw();
}

// Moves up over the lines drawn before and writes them all again.
void GangView::redraw()
{
    if (drawn)
        std::fprintf(stderr, "\033[%dA", int(lines.size()));
    for (const QString &line : lines)
        std::fprintf(stderr, "\r%s\033[K\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    drawn = true;
}

QString GangView::table(const std::vector<GangResult> &results, const QStringList &serials) const
{
    QStringList rows;
    rows << QCoreApplication::translate("QuorvelCli", "烧录器\t芯片ID\t写入序列号\t结果\t用时(ms)");
    for (size_t i = 0; i < results.size(); ++i)
        rows << boardLine(int(i), results[i], serials.value(int(i)));
    return rows.join('\n');
}

QJsonObject GangView::boardJson(int index, const GangResult &r, const QString &serialWritten) const
{
    const ProbeInfo &p = probes[size_t(index)];
    QJsonObject o{{"probe",
                   probeJson(QString::fromLocal8Bit(p.path), p.serial, p.product,
                             r.probeId ? job::firmwareVersionText(r.probeId) : QString())},
                  {"status", gangStatusName(r.status)},
                  {"result", r.code},
                  {"message", outcome(r)},
                  {"deviceId", deviceIdText(r)},
                  {"durationMs", double(r.durationUs) / 1000.0}};
    if (!serialWritten.isEmpty())
        o.insert("serial", serialWritten);
    // The same keys as one probe's run.
    if (!r.chipUid.isEmpty())
        o.insert("chipUid", r.chipUid);
    if (!r.functional.isEmpty())
        o.insert("rtt",
                 QJsonObject{{"matched", r.functional == QLatin1String("passed")},
                             {"text", QString::fromUtf8(r.functionalText)}});
    return o;
}

QString GangView::boardLine(int index, const GangResult &r, const QString &serialWritten) const
{
    return QStringLiteral("%1\t%2\t%3\t%4\t%5")
        .arg(names.value(index), deviceIdText(r),
             serialWritten.isEmpty() ? QStringLiteral("-") : serialWritten, outcome(r),
             QString::number(r.durationUs / 1000));
}

QJsonArray GangView::json(const std::vector<GangResult> &results, const QStringList &serials) const
{
    QJsonArray probes;
    for (size_t i = 0; i < results.size(); ++i)
        probes.append(boardJson(int(i), results[i], serials.value(int(i))));
    return probes;
}

} // namespace cli
