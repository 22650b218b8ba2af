// The programming options panel: chip model, erase mode, program/verify/reset, read protection,
// rolling code and watchdog option, each written into the job record as the user changes it.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "job/chipmodels.h"
#include "job/messages.h"
#include "passworddlg.h"

#include <QButtonGroup>
#include <QDebug>
#include <QMessageBox>

namespace {

// Runs the password dialog; true only for the confirm button with the right password. The dialog
// is gone when this returns, so a following message never appears on top of it.
bool level2PasswordConfirmed()
{
    PasswordDlg dlg;
    dlg.exec();
    return dlg.ok == 1 && job::level2PasswordMatches(dlg.passwordLineEdit->text());
}

} // namespace

void MainWindow::on_chipComboBox_currentIndexChanged(int index)
{
    qDebug() << " on_chipComboBox_currentIndexChanged1 " << index;
    int model = job::modelForIndex(index);
    qDebug() << " on_chipComboBox_currentIndexChanged2 " << model;
    if (download->chip->model == model)
        return;

    download->chip->model = model;
    download->watchdogOption = 0;
    if (model == job::qd52Model && job::firmwareRefusesQd52(download->probeId)) {
        showAbout(job::qd52RefusedMessage());
        download->chip->model = 0;
        model = 0;
        // Runs this slot again for index 0, which stops at once: the model is 0 already.
        ui->chipComboBox->setCurrentIndex(0);
    }
    resetOptionsPanel(model);
}

void MainWindow::on_chipComboBox_currentIndexChanged(const QString &arg1)
{
    // The text overload is bound by name as well; the index overload does all the work.
    Q_UNUSED(arg1);
}

void MainWindow::resetOptionsPanel(int model)
{
    ui->snGroupBox->setEnabled(true);
    ui->programFilesGroupBox->setEnabled(true);
    ui->startPushButton->setEnabled(true);

    ui->wdtDisableRadioButton->setChecked(true);
    ui->optionsGroupBox->setEnabled(true);
    ui->optionsGroupBox->setChecked(false);
    ui->readProtect0RadioButton->setChecked(true);
    if (model == 3) // QC16/18 starts from full erase: a protected one cannot be sector-erased
        ui->fullEraseRadioButton->setChecked(true);
    ui->programCheckBox->setChecked(true);
    ui->verifyCheckBox->setChecked(true);
    ui->resetAndRunCheckBox->setChecked(false);

    download->eraseMode = eraseGroup->checkedId();
    download->programEnabled = 1;
    download->verifyEnabled = 1;
    download->resetAndRun = 0;
    download->readProtectLevel = 0;

    ui->snGroupBox->setChecked(false);
    on_snGroupBox_clicked(false);

    // Images placed for one chip make no sense for another.
    const int listed = download->fileCount;
    for (int i = 0; i < listed; ++i)
        on_fileRemovePushButton_clicked();

    ui->progressBar->setValue(0);
}

void MainWindow::on_eraseRadioButton_clicked()
{
    download->eraseMode = eraseGroup->checkedId();
    switch (download->eraseMode) {
    case 0:
        qDebug() << " fullEraseRadioButton ";
        break;
    case 1:
        // A protected QC16/18 cannot be sector-erased; forced offline jobs meet such chips.
        if (download->chip->model == 3 && download->offlineForceProgram_flag == 1)
            showAbout(tr("<font color='#6688DD' size='+2' face='新宋体'><b> "
                         "如果芯片处于读保护状态，请选择全擦除。 </b></font>"));
        qDebug() << " sectorEraseRadioButton ";
        break;
    case 2:
        qDebug() << " doNotEraseRadioButton ";
        break;
    default:
        qDebug() << " sectorEraseRadioButton  default ";
        break;
    }
}

void MainWindow::on_programCheckBox_clicked(bool checked)
{
    download->programEnabled = checked ? 1 : 0;
    qDebug() << " on_programCheckBox_clicked " << checked;
}

void MainWindow::on_verifyCheckBox_clicked(bool checked)
{
    download->verifyEnabled = checked ? 1 : 0;
    qDebug() << " on_verifyCheckBox_clicked " << checked;
}

void MainWindow::on_resetAndRunCheckBox_clicked(bool checked)
{
    download->resetAndRun = checked ? 1 : 0;
    qDebug() << " on_resetAndRunCheckBox_clicked " << checked;
}

void MainWindow::on_readProtectRadioButton_clicked()
{
    // Level 2 cannot be undone on the chip, so it needs the documented password.
    if (readProtectGroup->checkedId() == 2 && !level2PasswordConfirmed()) {
        ui->readProtect0RadioButton->setChecked(true);
        download->readProtectLevel = 0;
        return;
    }

    download->readProtectLevel = readProtectGroup->checkedId();
    switch (download->readProtectLevel) {
    case 0:
        qDebug() << " readProtect 0 ";
        break;
    case 1:
        qDebug() << " readProtect 1 ";
        showAbout(tr("<font color='#6688DD' size='+2' face='新宋体'><b> "
                     "FLASH不可读，可以通过SWD解锁。(SWDCLK必须上拉) </b></font>"));
        break;
    case 2:
        qDebug() << " readProtect 2 ";
        showAbout(tr("<font color='#FF3300' size='+2' face='新宋体'><b> "
                     "FLASH不可读，且无法解锁，请谨慎使用！ </b></font>"));
        break;
    default:
        qDebug() << " readProtect other ";
        break;
    }
}

void MainWindow::on_snGroupBox_clicked(bool checked)
{
    if (checked) {
        // Their text-changed slots set the three fields to 0.
        ui->snNumLineEdit->setText("0");
        ui->snAddrLineEdit->setText("0");
        ui->snStepsLineEdit->setText("0");
    } else {
        download->rollingCodeValue = 0;
        download->rollingCodeAddress = 0;
        download->rollingCodeStep = 0;
        ui->snNumLineEdit->clear();
        ui->snAddrLineEdit->clear();
        ui->snStepsLineEdit->clear();
    }
    qDebug() << " on_snGroupBox_clicked " << checked;
}

// The validators allow at most eight hex digits; empty or unreadable text reads as 0.
void MainWindow::on_snNumLineEdit_textChanged(const QString &arg)
{
    download->rollingCodeValue = arg.toUInt(nullptr, 16);
    qDebug() << " on_snNumLineEdit_textChanged " << download->rollingCodeValue;
}

void MainWindow::on_snAddrLineEdit_textChanged(const QString &arg)
{
    download->rollingCodeAddress = arg.toUInt(nullptr, 16);
    qDebug() << " on_snAddrLineEdit_textChanged " << download->rollingCodeAddress;
}

void MainWindow::on_snAddrLineEdit_editingFinished()
{
    if (download->rollingCodeAddress % 4 != 0) {
        // Cleared before the box: the box takes the focus, and the line edit then reports
        // editing finished a second time, which must not find the bad address again.
        download->rollingCodeAddress = 0;
        ui->snAddrLineEdit->clear();
        QMessageBox::information(this, tr("警告"), QStringLiteral("FLASH地址必须4字节对齐"));
    }
    qDebug() << " on_snAddrLineEdit_editingFinished ";
}

void MainWindow::on_snStepsLineEdit_textChanged(const QString &arg1)
{
    download->rollingCodeStep = arg1.toUInt(nullptr, 16);
    qDebug() << " on_snStepsLineEdit_textChanged " << download->rollingCodeStep;
}

void MainWindow::on_optionsGroupBox_clicked(bool checked)
{
    if (!checked) {
        download->watchdogOption = 0;
    } else {
        // QA12 and QC18/19 reset after about 0.6 s, the other models after about 2 s.
        const QString text = download->chip->model == 5
            ? tr("<font color='#6688DD' size='+2' face='新宋体'><b>"
                 "除非需要打开或关闭看门狗，否则不要打开这个选项。请再次确认?(看门狗复位时间约为0."
                 "6秒)")
            : tr("<font color='#6688DD' size='+2' face='新宋体'><b>"
                 "除非需要打开或关闭看门狗，否则不要打开这个选项。请再次确认?("
                 "看门狗复位时间约为2秒)");
        const auto answer = QMessageBox::information(
            this, tr("警告"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes) {
            download->watchdogOption = 0x55;
        } else {
            download->watchdogOption = 0;
            ui->optionsGroupBox->setChecked(false);
        }
    }
    ui->wdtDisableRadioButton->setChecked(true);
    qDebug() << "on_optionsGroupBox_clicked" << download->watchdogOption;
}

// Both watchdog buttons share one meaning: the checked one decides.
void MainWindow::on_wdtEnableRadioButton_clicked()
{
    download->watchdogOption = wdtGroup->checkedId() == 0 ? 0xA8 : 0x55;
    qDebug() << "on_wdtEnableRadioButton_clicked" << download->watchdogOption;
}

void MainWindow::on_wdtDisableRadioButton_clicked()
{
    on_wdtEnableRadioButton_clicked();
}
