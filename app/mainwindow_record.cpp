// The window's side of the production record: every run from Start gets its row, the serial
// ledger hands out rolling-code values, and the status bar counts the current job.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "job/messages.h"
#include "recorddb.h"
#include "recorddlg.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTextDocumentFragment>

namespace {

const QString settingsFile = QStringLiteral("./Setting.ini");
const QString recordLocationKey = QStringLiteral("RecordLocation");

QString probeIdText(uint32_t v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

QString firmwareText(uint32_t v)
{
    return QString("%1.%2%3").arg((v >> 8) & 0xFF).arg((v >> 4) & 0xF).arg(v & 0xF);
}

} // namespace

void MainWindow::setupRecord()
{
    record = new RecordDb;
    projectMenu = new QMenu(tr("工程"), ui->menuBar);
    ui->menuBar->insertMenu(ui->offlineMenu->menuAction(), projectMenu);
    recordAction = new QAction(QIcon("open.png"), tr("生产记录…"), this);
    recordAction->setStatusTip(tr("查看烧录记录、良率，导出CSV"));
    connect(recordAction, &QAction::triggered, this, &MainWindow::recordActionSlot);
    projectMenu->addAction(recordAction);

    tallyLabel = new QLabel(this);
    tallyLabel->setContentsMargins(0, 0, 6, 0);
    ui->statusBar->addPermanentWidget(tallyLabel);
    showTally();

    // Between the shortest label and its value, so the three value fields stay aligned.
    ledgerCheckBox = new QCheckBox(tr("电脑分配"), ui->snGroupBox);
    ledgerCheckBox->setToolTip(tr("由生产记录分配每次烧录的滚码值，每个值只用一次"));
    ui->horizontalLayout_4->insertWidget(1, ledgerCheckBox);
}

QString MainWindow::recordLocation() const
{
    QSettings settings(settingsFile, QSettings::IniFormat);
    const QString chosen = settings.value(recordLocationKey).toString();
    return chosen.isEmpty() ? RecordDb::defaultLocation() : chosen;
}

bool MainWindow::openRecord()
{
    const QString location = recordLocation();
    if (record->isOpen() && record->location() == location)
        return true;
    return record->open(location);
}

bool MainWindow::beginRecordedRun(const QString &chipUid)
{
    // An automatic restart after code 6 is the same run: same row, same serial.
    if (codeSixRestarts > 0 && recordedRunId >= 0)
        return true;
    recordedRunId = -1;
    ledgerSerialTaken = false;
    // A chip programmed without its row could not be traced: no record, no run.
    auto refuse = [this]() {
        QMessageBox::information(this, tr("警告"),
                                 tr("生产记录无法写入，未开始烧录：%1").arg(record->lastError()));
        return false;
    };
    if (!openRecord())
        return refuse();
    RunRecord run =
        runRecordFrom(*download, probeIdText(download->probeId), firmwareText(download->probeId));
    if (swdPath())
        describeSwdRun(run);
    run.chipUid = chipUid;
    const qint64 id = record->beginRun(run);
    if (id < 0)
        return refuse();
    if (ledgerCheckBox->isChecked() && ui->snGroupBox->isChecked()
        && download->rollingCodeAddress != 0) {
        const SerialSeries series{download->rollingCodeAddress, download->rollingCodeValue,
                                  download->rollingCodeStep};
        if (!record->allocateSerial(series, id, &ledgerSerial, chipUid)) {
            const QString why = record->lastError();
            record->finishRun(id, false, -1, why);
            QMessageBox::information(this, tr("警告"), tr("滚码分配失败，未开始烧录：%1").arg(why));
            return false;
        }
        ledgerSerialTaken = true;
    }
    recordedRunId = id;
    recordedDigest = run.jobDigest;
    return true;
}

bool MainWindow::finishRecordedRun(int code, const QString &html, const SectorCounts &sectors,
                                   const RunCheck &check)
{
    if (recordedRunId < 0)
        return false;
    const bool passed = job::runPassed(code);
    Tally &tally = sessionTally[recordedDigest];
    ++(passed ? tally.passed : tally.failed);
    tallyDigest = recordedDigest;
    showTally();
    const QString message = QTextDocumentFragment::fromHtml(html).toPlainText().trimmed();
    const bool ok =
        record->finishRun(recordedRunId, passed, code, message,
                          download->chip ? download->chip->deviceId : 0, sectors, check);
    recordedRunId = -1;
    ledgerSerialTaken = false;
    return ok;
}

void MainWindow::showTally()
{
    const Tally tally = sessionTally.value(tallyDigest);
    tallyLabel->setText(
        tr("通过 %1  失败 %2  良率 %3").arg(tally.passed).arg(tally.failed).arg(tally.yieldText()));
}

void MainWindow::recordActionSlot()
{
    RecordDlg dlg(this);
    openRecord();
    dlg.load(record, recordLocation(), jobDigest(*download));
    connect(&dlg, &RecordDlg::locationChosen, this, [this, &dlg](const QString &location) {
        RecordDb trial;
        if (!trial.open(location)) {
            QMessageBox::information(&dlg, tr("警告"),
                                     tr("生产记录无法打开：%1").arg(trial.lastError()));
            return;
        }
        trial.close();
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue(recordLocationKey, location);
        settings.sync();
        openRecord();
        dlg.load(record, recordLocation(), jobDigest(*download));
    });
    dlg.exec();
}
