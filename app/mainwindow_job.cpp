// The project menu's job files: saving the window's job, and opening one by setting the window up
// through its own slots, so that every rule and question of the panels applies as if clicked.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "images/hexfilereader.h"
#include "job/chipmodels.h"
#include "job/jobfile.h"
#include "job/jobspec.h"
#include "offlinedlg.h"

#include <QButtonGroup>
#include <QCheckBox>
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

job::JobSpec MainWindow::currentJob() const
{
    const Download &d = *download;
    job::JobSpec spec;
    spec.chipIndex = ui->chipComboBox->currentIndex();
    spec.eraseMode = d.eraseMode;
    spec.program = d.programEnabled == 1;
    spec.verify = d.verifyEnabled == 1;
    spec.resetAndRun = d.resetAndRun == 1;
    // The Level-2 password is never stored: opening the job asks for it again.
    spec.protectLevel = d.readProtectLevel;
    if (ui->snGroupBox->isChecked()) {
        spec.rollingAddress = d.rollingCodeAddress;
        spec.rollingValue = d.rollingCodeValue;
        spec.rollingStep = d.rollingCodeStep;
    }
    spec.serialLedger = ledgerCheckBox->isChecked();
    spec.watchdog = d.watchdogOption;
    spec.offline = d.offline_flag == 1;
    if (spec.offline) {
        const bool counted = d.offlineMaxProgramCount_flag == 1;
        spec.offlineCount =
            counted && d.offlineMaxProgramCount != noCountLimit ? d.offlineMaxProgramCount : 0;
        spec.offlineAutoMs = d.offlineAutoProgramTime_flag == 1 ? d.offlineAutoProgramTime : 0;
        spec.offlineMachine = d.offlineMachine_flag == 1;
        spec.offlineForce = d.offlineForceProgram_flag == 1;
    }
    for (int i = 0; i < d.fileCount; ++i) {
        job::JobFile file;
        file.path = d.filePath[i];
        file.hasAddress = true;
        file.address = d.imageAddress[i];
        spec.files.append(file);
    }
    return spec;
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
    job::JobSpec spec;
    QString error;
    // Everything that refuses the job is asked before the window changes.
    if (!job::readJobFile(path, spec, error)) {
        QMessageBox::information(this, tr("警告"), error);
        return;
    }
    if (spec.chipIndex != ui->chipComboBox->currentIndex()) {
        QMessageBox::information(this, tr("警告"),
                                 tr("工程的芯片型号是%1，本程序只能烧录%2")
                                     .arg(job::chipNames().value(spec.chipIndex - 1))
                                     .arg(ui->chipComboBox->currentText()));
        return;
    }
    error = job::optionsProblem(spec);
    for (const job::JobFile &file : spec.files) {
        if (error.isEmpty() && !file.hasAddress && !isHex(file.path))
            error = tr("工程中的BIN文件没有烧录地址：%1").arg(file.path);
    }
    if (!error.isEmpty()) {
        QMessageBox::information(this, tr("警告"), error);
        return;
    }
    const QString changed = job::changedFile(spec);
    if (!changed.isEmpty()
        && QMessageBox::information(
               this, tr("警告"), tr("工程保存后文件已改变：%1\n仍然使用这个文件吗？").arg(changed),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    applyJob(spec);
}

void MainWindow::applyJob(const job::JobSpec &spec)
{
    while (download->fileCount > 0)
        on_fileRemovePushButton_clicked();

    eraseGroup->button(spec.eraseMode)->setChecked(true);
    on_eraseRadioButton_clicked();
    ui->programCheckBox->setChecked(spec.program);
    on_programCheckBox_clicked(spec.program);
    ui->verifyCheckBox->setChecked(spec.verify);
    on_verifyCheckBox_clicked(spec.verify);
    ui->resetAndRunCheckBox->setChecked(spec.resetAndRun);
    on_resetAndRunCheckBox_clicked(spec.resetAndRun);
    // Level 2 asks for its password here; a wrong one leaves level 0, as by hand.
    readProtectGroup->button(spec.protectLevel)->setChecked(true);
    on_readProtectRadioButton_clicked();

    const bool rolling = spec.rollingAddress != 0;
    ui->snGroupBox->setChecked(rolling);
    on_snGroupBox_clicked(rolling);
    if (rolling) {
        // Their text-changed slots write the record.
        ui->snNumLineEdit->setText(QString::number(spec.rollingValue, 16).toUpper());
        ui->snAddrLineEdit->setText(QString::number(spec.rollingAddress, 16).toUpper());
        ui->snStepsLineEdit->setText(QString::number(spec.rollingStep, 16).toUpper());
    }
    ledgerCheckBox->setChecked(spec.serialLedger);

    // Changing the watchdog needs the same confirmation as ticking the box; No keeps it as is.
    const bool watchdog = spec.watchdog != job::WatchdogKeep;
    ui->optionsGroupBox->setChecked(watchdog);
    on_optionsGroupBox_clicked(watchdog);
    if (watchdog && ui->optionsGroupBox->isChecked() && spec.watchdog == job::WatchdogOn) {
        ui->wdtEnableRadioButton->setChecked(true);
        on_wdtEnableRadioButton_clicked();
    }

    offDlg->takeConfirmed(spec.offline, spec.offlineCount, spec.offlineAutoMs, spec.offlineMachine,
                          spec.offlineForce);
    takeOfflineOptions();
    checkOfflineOptions();

    for (const job::JobFile &file : spec.files) {
        if (download->fileCount >= Download::maxFiles) {
            QMessageBox::information(this, tr("警告"), tr("最大支持10个烧录文件"));
            return;
        }
        listFile(file.path, listAddress(file));
    }
}
