// The connect button and the polling tick: open, identify and close the probe, show its firmware
// version, and notice a probe that was pulled out.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "usbconnectthread.h"

#include <QDebug>
#include <cwchar>

namespace {

// Version word: marker 0x6CFF in bits 31..16, major in 15..8, two digits after the point below.
QString firmwareVersionText(uint32_t v)
{
    return QString("%1.%2%3").arg((v >> 8) & 0xFF).arg((v >> 4) & 0xF).arg(v & 0xF);
}

bool firmwareBelow195(uint32_t v)
{
    return (v & 0xFFF0) == 0x0190 && (v & 0xF) <= 4;
}

// Shown as written: the probe's answer decides the text, not the user's language.
QString refusedFirmwareMessage(uint32_t v)
{
    if ((v >> 16) == 0x6CFF)
        return QString("<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "固件版本%1，与客户端不匹配！ </b></font>")
            .arg(firmwareVersionText(v));
    return QString("<font color='#DD6622' size='+2' face='新宋体'><b> 固件版本小于1.40，"
                   "与客户端不匹配！ </b></font>");
}

} // namespace

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
    if (download->connected)
        stopPolling();

    switch (download->toggleConnection()) {
    case 1:
        qDebug() << " connect to USB";
        ui->connectPushButton->setStyleSheet("color:rgb(105, 89, 205)");
        ui->connectPushButton->setText(tr("已连接"));
        ui->firmwareValueLabel->setText(firmwareVersionText(download->probeId));
        usbThread->start();
        // A QD52 chosen before this probe was known: re-run the selection so its gate applies.
        if (download->chip && download->chip->model == 4 && firmwareBelow195(download->probeId)) {
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
        showAbout(refusedFirmwareMessage(download->probeId));
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
