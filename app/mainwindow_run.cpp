// The window's side of a programming run: Start locks the window and hands the job to the worker
// thread; progress moves the bar; the result code becomes one message and the window comes back.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "job/messages.h"
#include "restarts.h"
#include "usbconnectthread.h"

#include <QDebug>
#include <QMessageBox>

void MainWindow::on_startPushButton_clicked()
{
    qDebug().noquote() << tr("开始传输数据");
    setLockSetEnabled(false);
    // The worker's copy shares the probe handle: the tick check must not read it meanwhile.
    stopPolling();
    if (reloadChangedFiles() != 0) {
        // A restart chain cut here ends its recorded run without a chip programmed.
        if (codeSixRestarts > 0 && recordedRunId >= 0)
            finishRecordedRun(6, job::runResultMessage(6));
        codeSixRestarts = 0; // no run, so any restart chain ends here
        restoreAfterRun();
        return;
    }
    if (swdPath()) {
        startSwd();
        return;
    }
    if (!beginRecordedRun()) {
        codeSixRestarts = 0;
        restoreAfterRun();
        return;
    }
    ui->progressBar->setValue(0);
    // The worker gets a copy made at emission: the ledger's value goes to this run only.
    const uint32_t typedValue = download->rollingCodeValue;
    if (ledgerSerialTaken)
        download->rollingCodeValue = ledgerSerial;
    emit downloadOperate(*download);
    download->rollingCodeValue = typedValue;
}

void MainWindow::handleProgressBarSet(int value)
{
    ui->progressBar->setValue(value > 100 ? 100 : value);
    qDebug() << "handleProgressBarSet";
}

void MainWindow::handleResults(int code)
{
    if (engine::restartWanted(code, codeSixRestarts)) {
        ++codeSixRestarts;
        ui->progressBar->setValue(0);
        // Close and reopen the probe, then run the same job again.
        on_connectPushButton_clicked();
        on_connectPushButton_clicked();
        restoreAfterRun();
        on_startPushButton_clicked();
        return;
    }

    codeSixRestarts = 0;
    const int bar = job::runResultBar(code);
    if (bar >= 0)
        ui->progressBar->setValue(bar);
    const QString message = job::runResultMessage(code);
    // Written before the box, which may stay open long; never claimed when it failed.
    const bool hadRun = recordedRunId >= 0;
    const bool recorded = finishRecordedRun(code, message);
    if (!lineRunEnded(message))
        showAbout(message);
    if (hadRun && !recorded) {
        stopLine(); // a board the record cannot trace: the operator must see it before the next
        QMessageBox::information(this, tr("警告"),
                                 tr("本次结果未写入生产记录：%1").arg(record->lastError()));
    }
    restoreAfterRun();
}

void MainWindow::restoreAfterRun()
{
    // After a run polling goes on even without a connection; its ticks then do nothing.
    if (usbThread && !usbThread->isRunning())
        usbThread->start();
    setLockSetEnabled(true);
}
