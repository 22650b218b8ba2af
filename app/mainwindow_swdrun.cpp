// Start and 读出… on the SWD path: the window gathers the job, the core prepares and runs it (the
// same functions the command line calls) in the worker thread, and the window shows the phases on
// the bar, the result in one message, and writes the record row as on the dedicated path.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "engine/swdjobof.h"
#include "engine/swdtargetof.h"
#include "images/readoutfile.h"
#include "job/jobsetup.h"
#include "job/messages.h"
#include "readoutdlg.h"
#include "swd/memoryread.h"
#include "swdstate.h"
#include "swdworker.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLineEdit>

namespace {

// What the bar shows of phase `name` at `percent`: the phases share it equally, in order.
int barValue(const QStringList &phases, const QString &name, int percent)
{
    const int index = phases.indexOf(name);
    if (index < 0 || phases.isEmpty())
        return -1;
    return (index * 100 + qBound(0, percent, 100)) / phases.size();
}

QStringList phasesOf(const SwdJob &job)
{
    QStringList phases{QStringLiteral("connect")};
    if (job.eraseMode != job::NoErase)
        phases << QStringLiteral("erase");
    if (job.program)
        phases << QStringLiteral("program");
    if (job.verify)
        phases << QStringLiteral("verify");
    if (job.resetAndRun)
        phases << QStringLiteral("reset");
    if (job.checks())
        phases << QStringLiteral("check");
    return phases;
}

} // namespace

void MainWindow::ensureSwdWorker()
{
    if (swd->worker)
        return;
    swd->worker = new SwdWorker;
    swd->worker->moveToThread(&workerThread);
    connect(&workerThread, &QThread::finished, swd->worker, &QObject::deleteLater);
    connect(swd->worker, &SwdWorker::progress, this, [this](const QString &phase, int percent) {
        const int bar = barValue(swd->phases, phase, percent);
        if (bar >= 0)
            ui->progressBar->setValue(bar);
    });
    connect(swd->worker, &SwdWorker::finished, this, &MainWindow::swdFinished);
}

void MainWindow::describeSwdRun(RunRecord &run) const
{
    run.via = QStringLiteral("swd");
    run.target = swd->job.target.device;
    run.probeSerial = swd->probeInfo.serial;
    run.probeFirmware = swd->caps.firmware;
}

void MainWindow::startSwd()
{
    if (!swd->probe) {
        showAbout(tr("请先连接CMSIS-DAP烧录器"));
        restoreAfterRun();
        return;
    }
    // Over SWD only the record knows which value the last board got.
    if (ui->snGroupBox->isChecked() && !ledgerCheckBox->isChecked()) {
        showAbout(tr("经CMSIS-DAP烧录滚码需要勾选“电脑分配”"));
        restoreAfterRun();
        return;
    }
    job::JobSetup setup = currentJob();
    QString error;
    if (!prepareSwdJob(setup, *download, {}, swd->job, error, &swd->uid)) {
        showAbout(error);
        restoreAfterRun();
        return;
    }
    ensureSwdWorker();
    swd->reading = false;
    swd->chipUid = std::make_shared<QString>();
    if (!swd->uid.given()) {
        startSwdProgramming();
        return;
    }
    // As the command line does: the ID first, so a board that cannot be told apart is not
    // programmed, and the ledger can give a chip that holds a serial the same one again.
    swd->readingUid = true;
    DapTransport *probe = &swd->probe->transport();
    const uint32_t clockHz = swd->job.clockHz;
    const UidPlace uid = swd->uid;
    std::shared_ptr<QString> chipUid = swd->chipUid;
    swd->busy = true;
    swd->worker->start([probe, clockHz, uid, chipUid](const SwdProgress &) {
        return readChipUid(*probe, clockHz, uid, *chipUid);
    });
}

void MainWindow::startSwdProgramming()
{
    if (!beginRecordedRun(*swd->chipUid)) {
        restoreAfterRun();
        return;
    }
    swd->phases = phasesOf(swd->job);
    ui->progressBar->setValue(0);
    Download board = *download; // shares the images; the window stays locked while it runs
    if (ledgerSerialTaken)
        board.rollingCodeValue = ledgerSerial;
    DapTransport *probe = &swd->probe->transport();
    const SwdJob *job = &swd->job;
    swd->busy = true;
    swd->worker->start([probe, job, board](const SwdProgress &progress) {
        return runSwdProgramming(*probe, *job, board, progress);
    });
}

// A chip whose ID cannot be read gets no row and no serial: nothing was done to it.
void MainWindow::swdUidFinished(const SwdResult &result)
{
    swd->readingUid = false;
    if (result.ok()) {
        startSwdProgramming();
        return;
    }
    const QString message = tr("SWD错误%1：%2").arg(result.code).arg(result.message);
    ui->statusBar->showMessage(job::plainText(message).trimmed());
    const bool lineRun = lineRunEnded(message);
    if (result.code == SwdProbeLost)
        swdProbeLost();
    if (!lineRun)
        showAbout(message);
    restoreAfterRun();
}

void MainWindow::swdFinished(const SwdResult &result)
{
    swd->busy = false;
    if (swd->reading) {
        readOutFinished(result);
        return;
    }
    if (swd->readingUid) {
        swdUidFinished(result);
        return;
    }
    const SwdJob &job = swd->job;
    QString message;
    if (result.ok()) {
        message = job.program               ? job::runResultMessage(0)
            : job.eraseMode != job::NoErase ? job::runResultMessage(5)
                                            : job::verifyMessage(0);
        message += tr("<br>擦除%1个扇区，烧写%2个，跳过%3个（内容已相同）")
                       .arg(result.sectors.erased)
                       .arg(result.sectors.programmed)
                       .arg(result.sectors.skipped);
        ui->progressBar->setValue(100);
    } else if (result.code == SwdSelfTestFailed) {
        // The command line's words: the chip is programmed, the board failed its own test.
        message =
            QCoreApplication::translate("QuorvelCli", "烧录成功，自检失败：%1").arg(result.message);
    } else {
        message = tr("SWD错误%1：%2").arg(result.code).arg(result.message);
    }
    // As the command line records it: 0, or its exit status for the SWD failure.
    const int code = result.ok() ? 0 : swdRecordBase + result.code;
    const SectorCounts sectors{result.sectors.erased, result.sectors.programmed,
                               result.sectors.skipped};
    RunCheck check;
    check.chipUid = swd->chipUid ? *swd->chipUid : QString();
    check.functional = result.functional;
    check.text = result.functionalText;
    const bool hadRun = recordedRunId >= 0;
    const bool recorded = finishRecordedRun(code, message, sectors, check);
    // The outcome's first line stays in the status bar after the box; a line run puts its own.
    ui->statusBar->showMessage(
        job::plainText(message).trimmed().section(QLatin1Char('\n'), 0, 0).trimmed());
    const bool lineRun = lineRunEnded(message);
    // The window must not stay "connected" to a probe that is gone: the user's next Start would
    // fail the same way, the line's next poll too.
    if (result.code == SwdProbeLost)
        swdProbeLost();
    if (!lineRun)
        showAbout(message);
    if (hadRun && !recorded) {
        stopLine();
        showAbout(tr("本次结果未写入生产记录：%1").arg(record->lastError()));
    }
    restoreAfterRun();
}

void MainWindow::readOutSlot()
{
    if (!swd->probe) {
        showAbout(tr("请先连接CMSIS-DAP烧录器"));
        return;
    }
    ReadOutDlg range; // no parent: its window flags would make it a child widget of this one
    range.exec();
    if (range.isOK != 1)
        return;
    bool okAddress = false, okLength = false;
    const uint32_t address = range.addressLineEdit->text().toUInt(&okAddress, 16);
    const uint32_t length = range.sizeLineEdit->text().toUInt(&okLength, 16);
    if (!okAddress || !okLength) {
        showAbout(tr("起始地址和长度必须是十六进制数"));
        return;
    }
    const QString file = QFileDialog::getSaveFileName(this, tr("读出到文件"), QString(),
                                                      tr("读出文件 (*.bin *.hex)"));
    if (file.isEmpty())
        return;
    if (readOutFormat(file) == ReadOutFormat::None) {
        showAbout(tr("读出的文件必须是.bin或.hex：%1").arg(file));
        return;
    }
    job::JobSetup setup = currentJob();
    QString error;
    pack::TargetDescription target;
    if (findSwdTarget(setup, {}, target, error) != SwdTargetProblem::None) {
        showAbout(error);
        return;
    }
    const QString problem = swdReadProblem(target, address, length);
    if (!problem.isEmpty()) {
        showAbout(problem);
        return;
    }
    ensureSwdWorker();
    setLockSetEnabled(false);
    swd->reading = true;
    swd->readFile = file;
    swd->readAddress = address;
    swd->readLength = length;
    swd->readBytes = std::make_shared<QByteArray>();
    swd->phases = QStringList{QStringLiteral("connect"), QStringLiteral("read")};
    ui->progressBar->setValue(0);
    DapTransport *probe = &swd->probe->transport();
    const uint32_t clock = swd->clockHz;
    std::shared_ptr<QByteArray> bytes = swd->readBytes;
    swd->busy = true;
    swd->worker->start([probe, target, clock, address, length, bytes](const SwdProgress &p) {
        return readMemory(*probe, target, SwdConnectOptions(), clock, address, length, *bytes, p);
    });
}

void MainWindow::readOutFinished(const SwdResult &result)
{
    swd->reading = false;
    QString message;
    if (result.code == SwdFault)
        message = tr("芯片拒绝读出%1起的%2字节（读保护？）：%3")
                      .arg(hex8(swd->readAddress))
                      .arg(swd->readLength)
                      .arg(result.message);
    else if (!result.ok())
        message = tr("SWD错误%1：%2").arg(result.code).arg(result.message);
    else if (!writeReadOut(swd->readFile, swd->readAddress, *swd->readBytes))
        message = tr("无法写入文件：%1").arg(swd->readFile);
    else
        message = tr("已读出%1起的%2字节到%3")
                      .arg(hex8(swd->readAddress))
                      .arg(swd->readBytes->size())
                      .arg(swd->readFile);
    swd->readBytes.reset();
    setLockSetEnabled(true);
    if (result.code == SwdProbeLost)
        swdProbeLost();
    showAbout(message);
}
