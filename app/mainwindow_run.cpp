// The window's side of a programming run: Start locks the window and hands the job to the worker
// thread; progress moves the bar; the result code becomes one message and the window comes back.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "usbconnectthread.h"

#include <QDebug>
#include <QMessageBox>

namespace {

// Code 6 is the probe asking to be reconnected before the job is tried again. A probe that keeps
// asking would restart the job for ever with the window locked, so the chain of automatic
// restarts is cut after this many and reported as a probe/chip connection problem.
constexpr int maxCodeSixRestarts = 3;

struct ResultView
{
    int code;
    int bar; // progress bar value to show; -1 leaves the bar where the run put it
    const char *message;
};

constexpr ResultView resultViews[] = {
    {0, -1,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#6688DD' size='+2' face='新宋体'><b> 烧写成功！ </b></font>")},
    {1, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> 未连接! </b></font>")},
    {2, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "请确认烧录器和待编程芯片正确连接！ </b></font>")},
    {3, 0,
     QT_TRANSLATE_NOOP(
         "MainWindow",
         "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片识别错误！ </b></font>")},
    {4, 0,
     QT_TRANSLATE_NOOP(
         "MainWindow",
         "<font color='#DD6622' size='+2' face='新宋体'><b> 没有文件或滚码！ </b></font>")},
    {5, 100,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#6688DD' size='+2' face='新宋体'><b> 擦除成功！ </b></font>")},
    // Only reached once the automatic restarts are used up: the probe still cannot attach to the
    // chip, which is what code 2's message asks the user to check.
    {6, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "请确认烧录器和待编程芯片正确连接！ </b></font>")},
    {7, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> 擦除错误！ </b></font>")},
    {8, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> 烧写错误！ </b></font>")},
    {9, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> 滚码错误！ </b></font>")},
    {10, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "芯片读保护，请选择全擦除！ </b></font>")},
    {11, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "芯片从LDROM启动，LDROM的bin文件超出8KB！ </b></font>")},
    {12, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "芯片从APROM启动，LDROM的bin文件超出8KB！ </b></font>")},
    {13, 0,
     QT_TRANSLATE_NOOP(
         "MainWindow",
         "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片探测错误！ </b></font>")},
};

constexpr ResultView otherResult = {
    -1, 0,
    QT_TRANSLATE_NOOP("MainWindow",
                      "<font color='#DD6622' size='+2' face='新宋体'><b> 其他错误！ </b></font>")};

ResultView resultViewFor(int code)
{
    for (const ResultView &view : resultViews) {
        if (view.code == code)
            return view;
    }
    return otherResult;
}

} // namespace

void MainWindow::on_startPushButton_clicked()
{
    qDebug().noquote() << tr("开始传输数据");
    setLockSetEnabled(false);
    // The worker's copy shares the probe handle: the tick check must not read it meanwhile.
    stopPolling();
    if (reloadChangedFiles() != 0) {
        // A restart chain cut here ends its recorded run without a chip programmed.
        if (codeSixRestarts > 0 && recordedRunId >= 0)
            finishRecordedRun(6, tr(resultViewFor(6).message));
        codeSixRestarts = 0; // no run, so any restart chain ends here
        restoreAfterRun();
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
    if (code == 6 && codeSixRestarts < maxCodeSixRestarts) {
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
    const ResultView view = resultViewFor(code);
    if (view.bar >= 0)
        ui->progressBar->setValue(view.bar);
    // Written before the box, which may stay open long; never claimed when it failed.
    const bool hadRun = recordedRunId >= 0;
    const bool recorded = finishRecordedRun(code, tr(view.message));
    showAbout(tr(view.message));
    if (hadRun && !recorded)
        QMessageBox::information(this, tr("警告"),
                                 tr("本次结果未写入生产记录：%1").arg(record->lastError()));
    restoreAfterRun();
}

void MainWindow::restoreAfterRun()
{
    // After a run polling goes on even without a connection; its ticks then do nothing.
    if (usbThread && !usbThread->isRunning())
        usbThread->start();
    setLockSetEnabled(true);
}
