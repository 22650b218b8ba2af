// The connect button and the polling tick: open, identify and close the probe, show its firmware
// version, and notice a probe that was pulled out.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "job/chipmodels.h"
#include "job/messages.h"
#include "usbconnectthread.h"

#include <QDebug>
#include <cwchar>

void MainWindow::stopPolling()
{
    if (usbThread && usbThread->isRunning()) {
        usbThread->stop();
        usbThread->quit();
        usbThread->wait();
    }
}

void MainWindow::on_connectPushButton_clicked()
{
    if (swdPath()) {
        connectSwd();
        return;
    }
    if (download->connected)
        stopPolling();

    switch (download->toggleConnection()) {
    case 1:
        qDebug() << " connect to USB";
        ui->connectPushButton->setStyleSheet("color:rgb(105, 89, 205)");
        ui->connectPushButton->setText(tr("已连接"));
        ui->firmwareValueLabel->setText(job::firmwareVersionText(download->probeId));
        usbThread->start();
        // A QD52 chosen before this probe was known: re-run the selection so its gate applies.
        if (download->chip && download->chip->model == job::qd52Model
            && job::firmwareRefusesQd52(download->probeId)) {
            on_chipComboBox_currentIndexChanged(0);
            on_chipComboBox_currentIndexChanged(5);
        }
        break;
    case 0:
        qDebug() << " unconnected to USB";
        ui->firmwareValueLabel->setText("");
        ui->connectPushButton->setStyleSheet("color:rgb(88, 87, 86)");
        ui->connectPushButton->setText(tr("未连接"));
        break;
    case -2:
        ui->firmwareValueLabel->setText("");
        showAbout(job::refusedFirmwareMessage(download->probeId));
        qDebug() << " 固件版本不匹配 ";
        break;
    default:
        ui->firmwareValueLabel->setText("");
        qDebug() << " 未找到烧录器 ";
        break;
    }
    ui->progressBar->setValue(0);
}

void MainWindow::usbConnectTickSlot()
{
    if (swdPath()) {
        swdProbeTick();
        return;
    }
    if (!download->device)
        return;
    // Ticks queued before a stop arrive afterwards; they must not touch the probe.
    if (!usbThread->isRunning())
        return;

    wchar_t manufacturer[64] = {};
    const int rc = hid_get_manufacturer_string(download->device, manufacturer, 64);
    manufacturer[63] = L'\0'; // the device's answer is not trusted to be terminated
    if (rc != 0 || std::wcscmp(manufacturer, L"ARM") != 0)
        on_connectPushButton_clicked();
}
