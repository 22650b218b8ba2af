// The station's job in words and its probes on the bus.
#include "stationjob.h"

#include "job/chipmodels.h"
#include "probe/probelist.h"
#include "swd/link/dapprobes.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Station", text);
}

QString eraseText(int mode)
{
    switch (mode) {
    case job::FullErase:
        return tr("整片擦除");
    case job::SectorErase:
        return tr("扇区擦除");
    case job::NoErase:
        return tr("不擦除");
    case job::AutoErase:
        return tr("自动擦除");
    }
    return QString();
}

} // namespace

StationJobText describeStationJob(const QString &jobPath, const job::JobSetup &setup)
{
    StationJobText t;
    t.name = QFileInfo(jobPath).fileName();
    const bool swd = setup.via == job::ViaSwd;
    t.path = swd ? tr("CMSIS-DAP/SWD") : tr("专用探针");
    if (swd)
        t.device = setup.targetDevice.isEmpty() ? tr("默认器件") : setup.targetDevice;
    else
        t.device = job::chipNameForModel(job::modelForIndex(setup.chipIndex));
    for (const job::JobFile &f : setup.files) {
        QString line = QFileInfo(f.path).fileName();
        if (f.hasAddress)
            line += QStringLiteral(" @ 0x%1").arg(f.address, 8, 16, QLatin1Char('0'));
        t.files << line;
    }
    QStringList options{eraseText(setup.eraseMode)};
    if (setup.program)
        options << tr("烧写");
    if (setup.verify)
        options << (swd && setup.verifyReadback ? tr("校验（读回）") : tr("校验"));
    if (setup.resetAndRun)
        options << tr("复位运行");
    if (setup.rollingAddress != 0)
        options << tr("滚码 0x%1").arg(QString::number(setup.rollingAddress, 16).toUpper());
    if (setup.serialLedger)
        options << tr("序列号台账");
    t.options = options.join(QStringLiteral(" · "));
    return t;
}

std::vector<StationModel::Listed> probesOnBus(const job::JobSetup &setup)
{
    std::vector<StationModel::Listed> out;
    if (setup.via != job::ViaSwd) {
        for (const ProbeInfo &p : listProbes())
            out.push_back({p.serial.isEmpty() ? QString::fromLocal8Bit(p.path) : p.serial,
                           QStringLiteral("HID")});
        return out;
    }
    DapTransportChoice choice = DapTransportChoice::Preferred;
    if (!parseTransportChoice(setup.transport, choice))
        choice = DapTransportChoice::Preferred;
    for (const DapProbe &p : listDapProbes()) {
        const bool bulk = choice == DapTransportChoice::Bulk
            || (choice == DapTransportChoice::Preferred && p.hasBulk());
        out.push_back(
            {p.serial.isEmpty() ? p.path() : p.serial,
             bulk ? QStringLiteral("CMSIS-DAP v2 (bulk)") : QStringLiteral("CMSIS-DAP v1 (HID)")});
    }
    return out;
}

StationArguments stationFromArguments(const QStringList &arguments, StationJob &job, QString &error)
{
    if (!arguments.contains(QLatin1String("--station")))
        return StationArguments::NotAsked;
    bool record = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        const bool valued = a == QLatin1String("--station") || a == QLatin1String("--record");
        if (valued
            && (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QLatin1String("--")))) {
            error = tr("%1需要一个值").arg(a);
            return StationArguments::Bad;
        }
        if (a == QLatin1String("--station")) {
            job.path = arguments[++i];
        } else if (a == QLatin1String("--record")) {
            job.record = arguments[++i];
            record = true;
        } else if (a == QLatin1String("--no-record")) {
            job.noRecord = true;
        } else if (a == QLatin1String("--auto")) {
            job.autoStart = true;
        } else {
            error = tr("未知参数：%1").arg(a);
            return StationArguments::Bad;
        }
    }
    if (record && job.noRecord) {
        error = tr("--record和--no-record不能同时使用");
        return StationArguments::Bad;
    }
    return StationArguments::Station;
}
