// The window's side of a programming run: Start locks the window and hands the job to the worker
// thread; progress moves the bar; the result code becomes one message and the window comes back.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "job/messages.h"
#include "usbconnectthread.h"

#include <QDebug>

void MainWindow::on_startPushButton_clicked()
{
    qDebug().noquote() << tr("开始传输数据");
    setLockSetEnabled(false);
    // The worker's copy shares the probe handle: the tick check must not read it meanwhile.
    stopPolling();
    if (reloadChangedFiles() != 0) {
        codeSixRestarts = 0; // no run, so any restart chain ends here
        restoreAfterRun();
        return;
    }
    ui->progressBar->setValue(0);
    emit downloadOperate(*download);
}

void MainWindow::handleProgressBarSet(int value)
{
    ui->progressBar->setValue(value > 100 ? 100 : value);
    qDebug() << "handleProgressBarSet";
}

void MainWindow::handleResults(int code)
{
    if (code == 6 && codeSixRestarts < job::maxCodeSixRestarts) {
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
    showAbout(job::runResultMessage(code));
    restoreAfterRun();
}

void MainWindow::restoreAfterRun()
{
    // After a run polling goes on even without a connection; its ticks then do nothing.
    if (usbThread && !usbThread->isRunning())
        usbThread->start();
    setLockSetEnabled(true);
}
