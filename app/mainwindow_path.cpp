// The project menu's path choice: the dedicated probe (the window as it always was) or any
// CMSIS-DAP probe over SWD. On the SWD path the connect button opens a CMSIS-DAP probe, the
// options only the dedicated probe has are disabled, and the device comes from a pack.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "apptitle.h"
#include "devicepickerdlg.h"
#include "download.h"
#include "presence.h"
#include "swdstate.h"
#include "swdworker.h"
#include "usbconnectthread.h"

#include <QActionGroup>
#include <QButtonGroup>
#include <QComboBox>
#include <QInputDialog>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

bool MainWindow::swdPath() const
{
    return swd && swd->active;
}

void MainWindow::setupPath()
{
    swd = std::make_unique<SwdState>();
    pathMenu = new QMenu(tr("烧录途径"), projectMenu);
    pathMenu->setObjectName(QStringLiteral("pathMenu"));
    viaVendorAction = pathMenu->addAction(tr("专用探针"));
    viaVendorAction->setObjectName(QStringLiteral("viaVendorAction"));
    viaSwdAction = pathMenu->addAction(tr("CMSIS-DAP/SWD"));
    viaSwdAction->setObjectName(QStringLiteral("viaSwdAction"));
    swd->pathGroup = new QActionGroup(this);
    for (QAction *a : {viaVendorAction, viaSwdAction}) {
        a->setCheckable(true);
        swd->pathGroup->addAction(a);
    }
    viaVendorAction->setChecked(true);
    viaSwdAction->setStatusTip(tr("经任何CMSIS-DAP烧录器（SWD）烧写，器件取自设备包"));
    connect(viaVendorAction, &QAction::triggered, this, [this]() { choosePath(false); });
    connect(viaSwdAction, &QAction::triggered, this, [this]() { choosePath(true); });

    deviceAction = new QAction(tr("器件…"), this);
    deviceAction->setObjectName(QStringLiteral("deviceAction"));
    deviceAction->setStatusTip(tr("从设备包选择要烧录的器件"));
    connect(deviceAction, &QAction::triggered, this, &MainWindow::chooseDeviceSlot);
    readAction = new QAction(tr("读出…"), this);
    readAction->setObjectName(QStringLiteral("readAction"));
    readAction->setStatusTip(tr("经SWD读出一段FLASH或RAM，存为.bin或.hex文件"));
    connect(readAction, &QAction::triggered, this, &MainWindow::readOutSlot);
    deviceAction->setEnabled(false);
    readAction->setEnabled(false);
    projectMenu->addSeparator();
    projectMenu->addMenu(pathMenu);
    projectMenu->addAction(deviceAction);
    projectMenu->addAction(readAction);
}

void MainWindow::makeSwdWidgets()
{
    if (swd->autoErase)
        return;
    swd->autoErase = new QRadioButton(tr("自动擦除"), ui->configGroupBox);
    swd->autoErase->setObjectName(QStringLiteral("autoEraseRadioButton"));
    swd->autoErase->setToolTip(tr("已是目标内容的扇区跳过，空白扇区不擦除直接烧写"));
    ui->verticalLayout->addWidget(swd->autoErase);
    eraseGroup->addButton(swd->autoErase, job::AutoErase);
    connect(swd->autoErase, &QRadioButton::clicked, this, &MainWindow::on_eraseRadioButton_clicked);

    swd->deviceButton = new QPushButton(tr("器件…"), ui->configGroupBox);
    swd->deviceButton->setObjectName(QStringLiteral("devicePushButton"));
    swd->deviceButton->setGeometry(278, 20, 70, 26);
    connect(swd->deviceButton, &QPushButton::clicked, this, &MainWindow::chooseDeviceSlot);
    swd->deviceLabel = new QLabel(ui->configGroupBox);
    swd->deviceLabel->setObjectName(QStringLiteral("deviceLabel"));
    swd->deviceLabel->setGeometry(352, 20, 130, 26);
    swd->deviceLabel->setStyleSheet("color:#ff0000;");

    swd->verifyMode = new QComboBox(ui->configGroupBox);
    swd->verifyMode->setObjectName(QStringLiteral("verifyModeComboBox"));
    swd->verifyMode->addItems({tr("CRC校验"), tr("读回校验")});
    swd->verifyMode->setToolTip(tr("CRC校验在芯片上按扇区算CRC-32；读回校验读回每个字节比较"));
    swd->verifyMode->setGeometry(278, 82, 120, 26);
}

void MainWindow::choosePath(bool toSwd)
{
    if (toSwd == swdPath()) {
        (toSwd ? viaSwdAction : viaVendorAction)->setChecked(true);
        return;
    }
    // A probe of the other path stays closed: the connect button opens this path's probes.
    if (download->connected)
        on_connectPushButton_clicked();
    if (swd->probe)
        connectSwd();
    swd->active = toSwd;
    (toSwd ? viaSwdAction : viaVendorAction)->setChecked(true);
    if (toSwd) {
        makeSwdWidgets();
        if (vendorTitle.isNull())
            vendorTitle = windowTitle();
        // Only the dedicated probe sets them; a job over SWD leaves them as the chip has them.
        ui->readProtect0RadioButton->setChecked(true);
        on_readProtectRadioButton_clicked();
        ui->optionsGroupBox->setChecked(false);
        download->watchdogOption = 0;
    } else if (eraseGroup->checkedId() == job::AutoErase) {
        ui->sectorEraseRadioButton->setChecked(true);
        on_eraseRadioButton_clicked();
    }
    const QString onlyVendor = toSwd ? tr("只有专用烧录器有这个选项") : QString();
    for (QWidget *w :
         std::initializer_list<QWidget *>{ui->readProtect0RadioButton, ui->readProtect1RadioButton,
                                          ui->readProtect2RadioButton, ui->optionsGroupBox}) {
        w->setEnabled(!toSwd);
        w->setToolTip(onlyVendor);
    }
    ui->chipComboBox->setToolTip(toSwd ? tr("经SWD烧写的器件在“器件…”中选择") : QString());
    for (QWidget *w : std::initializer_list<QWidget *>{swd->autoErase, swd->verifyMode,
                                                       swd->deviceButton, swd->deviceLabel})
        w->setVisible(toSwd);
    deviceAction->setEnabled(toSwd);
    readAction->setEnabled(toSwd);
    selfTestAction->setEnabled(toSwd);
    selfTestAction->setToolTip(toSwd ? QString() : tr("只有经CMSIS-DAP（SWD）烧录有自检和芯片ID"));
    ui->firmwareVersionLabel->setText(toSwd ? tr("CMSIS-DAP：") : tr("固件版本："));
    ui->firmwareValueLabel->setText("");
    showDevice();
}

void MainWindow::showDevice()
{
    if (!swdPath()) {
        if (!vendorTitle.isNull())
            setWindowTitle(vendorTitle);
        return;
    }
    QString device = swd->device.isEmpty() ? pack::defaultDeviceName() : swd->device;
    if (!swd->algorithms.isEmpty())
        device = QStringLiteral("%1 + %2").arg(device, swd->algorithms.join(QStringLiteral(", ")));
    swd->deviceLabel->setText(device);
    swd->deviceLabel->setToolTip(device);
    setWindowTitle(tr("%1 — CMSIS-DAP/SWD：%2").arg(applicationTitle(), device));
}

void MainWindow::chooseDeviceSlot()
{
    DevicePickerDlg dlg(this);
    dlg.select(swd->device.isEmpty() ? pack::defaultDeviceName() : swd->device, swd->algorithms);
    if (dlg.exec() != QDialog::Accepted || dlg.device().isEmpty())
        return;
    swd->device = dlg.device();
    swd->pack.clear(); // every pack the picker lists is one Quorvel finds by itself
    swd->core = dlg.core();
    swd->algorithms = dlg.algorithms();
    showDevice();
}

void MainWindow::connectSwd()
{
    if (swd->probe) {
        swd->probe.reset();
        ui->connectPushButton->setStyleSheet("color:rgb(88, 87, 86)");
        ui->connectPushButton->setText(tr("未连接"));
        ui->firmwareValueLabel->setText("");
        return;
    }
    const std::vector<DapProbe> probes = listDapProbes();
    if (probes.empty()) {
        showAbout(tr("未找到CMSIS-DAP烧录器"));
        return;
    }
    size_t chosen = 0;
    if (probes.size() > 1) {
        QStringList items;
        for (const DapProbe &p : probes)
            items << tr("%1  %2（%3）").arg(p.serial, p.product, p.transports().join(", "));
        bool ok = false;
        const QString item = QInputDialog::getItem(this, tr("CMSIS-DAP烧录器"), tr("选择烧录器："),
                                                   items, 0, false, &ok);
        if (!ok)
            return;
        chosen = size_t(items.indexOf(item));
    }
    DapTransportChoice choice = DapTransportChoice::Preferred;
    parseTransportChoice(swd->transport, choice);
    auto probe = std::make_unique<OpenedDapProbe>();
    QString error;
    if (probe->open(probes[chosen], choice, error) != 0) {
        showAbout(tr("CMSIS-DAP烧录器无法打开：%1").arg(error));
        return;
    }
    swd->caps = probeCapabilities(probe->transport());
    swd->probeInfo = probes[chosen];
    const QString transport = QString::fromLatin1(probe->transportName());
    swd->probe = std::move(probe);
    ui->connectPushButton->setStyleSheet("color:rgb(105, 89, 205)");
    ui->connectPushButton->setText(tr("已连接"));
    ui->firmwareValueLabel->setText(
        tr("%1 %2").arg(transport == QLatin1String("bulk") ? tr("v2 (bulk)") : tr("v1 (HID)"),
                        swd->probeInfo.serial));
    ui->progressBar->setValue(0);
    // The polling tick notices a probe pulled out while the window is idle.
    if (usbThread && !usbThread->isRunning())
        usbThread->start();
}

void MainWindow::swdProbeTick()
{
    // Ticks queued before a stop arrive afterwards; a run or read-out has the probe meanwhile.
    if (!swd->probe || swd->busy || !usbThread->isRunning())
        return;
    if (engine::swdProbeGone(swd->probe->transport()))
        swdProbeLost();
}

void MainWindow::swdProbeLost()
{
    stopLine(); // the operator has to look before boards go on
    if (swd->probe)
        connectSwd();
    ui->statusBar->showMessage(tr("CMSIS-DAP烧录器已拔出，已断开连接"));
}
