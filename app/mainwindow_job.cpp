// The project menu's job files: saving the window's job, and opening one by setting the window up
// through its own slots, so that every rule and question of the panels applies as if clicked.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "images/hexfilereader.h"
#include "job/chipmodels.h"
#include "job/jobfile.h"
#include "job/jobsetup.h"
#include "offlinedlg.h"
#include "swdstate.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>

namespace {

const QString settingsFile = QStringLiteral("./Setting.ini");
const QString lastJobPathKey = QStringLiteral("LastJobPath");
constexpr uint32_t noCountLimit = 0xFFFFFFFF; // how the record holds "no limit"

QString lastJobPath()
{
    return QSettings(settingsFile, QSettings::IniFormat).value(lastJobPathKey).toString();
}

void rememberJobPath(const QString &path)
{
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.setValue(lastJobPathKey, path);
    settings.sync();
}

bool isHex(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("hex"), Qt::CaseInsensitive) == 0;
}

// A listed file always has its typed address; a HEX saved without one goes to its own start.
uint32_t listAddress(const job::JobFile &file)
{
    if (file.hasAddress)
        return file.address;
    HexFileReader reader;
    return reader.readFile(file.path) == 0 ? reader.start : 0;
}

} // namespace

void MainWindow::setupJobMenu()
{
    projectMenu->setObjectName(QStringLiteral("projectMenu"));
    const QIcon icon("open.png");
    openJobAction = new QAction(icon, tr("打开工程…"), this);
    openJobAction->setStatusTip(tr("打开保存的工程，恢复选项和烧录文件"));
    connect(openJobAction, &QAction::triggered, this, &MainWindow::openJobActionSlot);
    saveJobAction = new QAction(icon, tr("保存工程…"), this);
    saveJobAction->setStatusTip(tr("把当前的选项和烧录文件保存为工程文件"));
    connect(saveJobAction, &QAction::triggered, this, &MainWindow::saveJobActionSlot);
    projectMenu->insertActions(recordAction, {openJobAction, saveJobAction});
}

job::JobSetup MainWindow::currentJob() const
{
    const Download &d = *download;
    job::JobSetup setup;
    setup.chipIndex = ui->chipComboBox->currentIndex();
    setup.eraseMode = d.eraseMode;
    setup.program = d.programEnabled == 1;
    setup.verify = d.verifyEnabled == 1;
    setup.resetAndRun = d.resetAndRun == 1;
    // The Level-2 password is never stored: opening the job asks for it again.
    setup.protectLevel = d.readProtectLevel;
    if (ui->snGroupBox->isChecked()) {
        setup.rollingAddress = d.rollingCodeAddress;
        setup.rollingValue = d.rollingCodeValue;
        setup.rollingStep = d.rollingCodeStep;
    }
    setup.serialLedger = ledgerCheckBox->isChecked();
    setup.watchdog = d.watchdogOption;
    setup.offline = d.offline_flag == 1;
    if (setup.offline) {
        const bool counted = d.offlineMaxProgramCount_flag == 1;
        setup.offlineCount =
            counted && d.offlineMaxProgramCount != noCountLimit ? d.offlineMaxProgramCount : 0;
        setup.offlineAutoMs = d.offlineAutoProgramTime_flag == 1 ? d.offlineAutoProgramTime : 0;
        setup.offlineMachine = d.offlineMachine_flag == 1;
        setup.offlineForce = d.offlineForceProgram_flag == 1;
    }
    for (int i = 0; i < d.fileCount; ++i) {
        job::JobFile file;
        file.path = d.filePath[i];
        file.hasAddress = true;
        file.address = d.imageAddress[i];
        setup.files.append(file);
    }
    if (swdPath()) {
        setup.via = job::ViaSwd;
        setup.targetDevice = swd->device;
        setup.targetPack = swd->pack;
        setup.targetCore = swd->core;
        setup.targetAlgorithms = swd->algorithms;
        setup.transport = swd->transport;
        setup.swdClockHz = swd->clockHz;
        setup.verifyReadback = swd->verifyMode->currentIndex() == 1;
        const SelfTestFields &c = swd->checks;
        setup.uid = c.uid;
        setup.rttExpect = c.expect;
        setup.rttFail = c.fail;
        setup.rttTimeoutMs = c.timeoutMs;
        setup.rttAddress = c.address;
    }
    return setup;
}

void MainWindow::saveJobActionSlot()
{
    // The suffix is added by the dialog, so its overwrite question sees the name really written.
    QFileDialog dialog(this, tr("保存工程"), lastJobPath(), tr("工程文件 (*.json)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("json"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    rememberJobPath(path);
    QString error;
    if (!job::writeJobFile(path, currentJob(), error))
        QMessageBox::information(this, tr("警告"), error);
}

void MainWindow::openJobActionSlot()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("打开工程"), lastJobPath(), tr("工程文件 (*.json)"));
    if (path.isEmpty())
        return;
    rememberJobPath(path);
    job::JobSetup setup;
    QString error;
    // Everything that refuses the job is asked before the window changes.
    if (!job::readJobFile(path, setup, error)) {
        QMessageBox::information(this, tr("警告"), error);
        return;
    }
    // The options only the dedicated probe has cannot come with a job over SWD.
    if (setup.via == job::ViaSwd
        && (setup.protectLevel != 0 || setup.watchdog != job::WatchdogKeep || setup.offline)) {
        QMessageBox::information(
            this, tr("警告"), tr("经CMSIS-DAP烧录器（SWD）的工程不能设置读保护、看门狗或脱机烧录"));
        return;
    }
    if (setup.chipIndex != ui->chipComboBox->currentIndex()) {
        QMessageBox::information(this, tr("警告"),
                                 tr("工程的芯片型号是%1，本程序只能烧录%2")
                                     .arg(job::chipNames().value(setup.chipIndex - 1))
                                     .arg(ui->chipComboBox->currentText()));
        return;
    }
    error = job::optionsProblem(setup);
    for (const job::JobFile &file : setup.files) {
        if (error.isEmpty() && !file.hasAddress && !isHex(file.path))
            error = tr("工程中的BIN文件没有烧录地址：%1").arg(file.path);
    }
    if (!error.isEmpty()) {
        QMessageBox::information(this, tr("警告"), error);
        return;
    }
    const QString changed = job::changedFile(setup);
    if (!changed.isEmpty()
        && QMessageBox::information(
               this, tr("警告"), tr("工程保存后文件已改变：%1\n仍然使用这个文件吗？").arg(changed),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    applyJob(setup);
}

void MainWindow::applyJob(const job::JobSetup &setup)
{
    while (download->fileCount > 0)
        on_fileRemovePushButton_clicked();

    choosePath(setup.via == job::ViaSwd);
    swd->checks = {setup.uid, setup.rttExpect, setup.rttFail, setup.rttTimeoutMs, setup.rttAddress};
    if (swdPath()) {
        swd->device = setup.targetDevice;
        swd->pack = setup.targetPack;
        swd->core = setup.targetCore;
        swd->algorithms = setup.targetAlgorithms;
        swd->transport = setup.transport;
        swd->clockHz = setup.swdClockHz;
        swd->verifyMode->setCurrentIndex(setup.verifyReadback ? 1 : 0);
        showDevice();
    }
    // The dedicated probe has no auto erase: its nearest is erasing the sectors the images touch.
    const bool autoErase = setup.eraseMode == job::AutoErase;
    eraseGroup->button(autoErase && !swdPath() ? int(job::SectorErase) : setup.eraseMode)
        ->setChecked(true);
    on_eraseRadioButton_clicked();
    ui->programCheckBox->setChecked(setup.program);
    on_programCheckBox_clicked(setup.program);
    ui->verifyCheckBox->setChecked(setup.verify);
    on_verifyCheckBox_clicked(setup.verify);
    ui->resetAndRunCheckBox->setChecked(setup.resetAndRun);
    on_resetAndRunCheckBox_clicked(setup.resetAndRun);
    // Level 2 asks for its password here; a wrong one leaves level 0, as by hand.
    readProtectGroup->button(setup.protectLevel)->setChecked(true);
    on_readProtectRadioButton_clicked();

    const bool rolling = setup.rollingAddress != 0;
    ui->snGroupBox->setChecked(rolling);
    on_snGroupBox_clicked(rolling);
    if (rolling) {
        // Their text-changed slots write the record.
        ui->snNumLineEdit->setText(QString::number(setup.rollingValue, 16).toUpper());
        ui->snAddrLineEdit->setText(QString::number(setup.rollingAddress, 16).toUpper());
        ui->snStepsLineEdit->setText(QString::number(setup.rollingStep, 16).toUpper());
    }
    ledgerCheckBox->setChecked(setup.serialLedger);

    // Changing the watchdog needs the same confirmation as ticking the box; No keeps it as is.
    const bool watchdog = setup.watchdog != job::WatchdogKeep;
    ui->optionsGroupBox->setChecked(watchdog);
    on_optionsGroupBox_clicked(watchdog);
    if (watchdog && ui->optionsGroupBox->isChecked() && setup.watchdog == job::WatchdogOn) {
        ui->wdtEnableRadioButton->setChecked(true);
        on_wdtEnableRadioButton_clicked();
    }

    offDlg->takeConfirmed(setup.offline, setup.offlineCount, setup.offlineAutoMs,
                          setup.offlineMachine, setup.offlineForce);
    takeOfflineOptions();
    checkOfflineOptions();

    for (const job::JobFile &file : setup.files) {
        if (download->fileCount >= Download::maxFiles) {
            QMessageBox::information(this, tr("警告"), tr("最大支持10个烧录文件"));
            return;
        }
        listFile(file.path, listAddress(file));
    }
}
