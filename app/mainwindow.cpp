// Construction and destruction of the main window: texts, styles and initial states of the form,
// the job record, the worker and polling threads and every signal/slot connection.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "handlebar.h"
#include "offlinedlg.h"
#include "swdstate.h"
#include "usbconnectthread.h"
#include "worker.h"

#include <QAction>
#include <QButtonGroup>
#include <QHeaderView>
#include <QIcon>
#include <QMessageBox>
#include <QRegExpValidator>

#include <wolfssl/options.h>
#include <wolfssl/ssl.h>

namespace {

const char hexPattern[] = "[A-Fa-f0-9]{0,8}";

QRegExpValidator *hexValidator(QLineEdit *edit)
{
    auto *validator =
        new QRegExpValidator(QRegExp(hexPattern, Qt::CaseSensitive, QRegExp::RegExp), edit);
    edit->setValidator(validator);
    return validator;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    download = nullptr;
    ui->setupUi(this);

    QFont font;
    font.setPointSize(18);
    font.setItalic(true);
    font.setWeight(75);
    ui->logoLabel->setFont(font);
    ui->logoLabel->setStyleSheet("color:#ff8800;");
    font.setPointSize(11);
    font.setItalic(false);
    font.setWeight(75);
    ui->connectPushButton->setFont(font);
    ui->connectPushButton->setStyleSheet("color:rgb(88, 87, 86)");
    ui->connectPushButton->setText(tr("未连接"));

    download = new Download;
    download->handleBar = new HandleBar;
    download->chip = new ChipRecord;

    setupOptionTexts();
    setupRollingCodePanel();
    setupWatchdogPanel();
    setupFilePanel();
    ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(0);
    ui->startPushButton->setText(tr("开始"));
    ui->startPushButton->setEnabled(false);
    setupMenus();
    setupRecord();
    setupJobMenu();
    setupLine();
    setupPath();
    setupSelfTest();
    ui->firmwareVersionLabel->setText(tr("固件版本："));
    ui->firmwareValueLabel->setText("");
    ui->firmwareVersionLabel->setStyleSheet("color:#666666;");
    ui->firmwareValueLabel->setStyleSheet("color:#666666;");

    // Neither maximised nor resized: the form is laid out for exactly this size.
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(width(), height());
    ui->statusBar->setSizeGripEnabled(false); // a grip on a window that cannot resize misleads

    connectThreads();

    wolfSSL_Init();
    // This build programs one chip model only: select it, then lock the selection.
    ui->chipComboBox->setCurrentIndex(3);
    ui->chipComboBox->setEnabled(false);

    ui->remoteMenu->deleteLater();
    ui->icpInfoMenu->deleteLater();
    ui->chipInfoMenu->deleteLater();
}

MainWindow::~MainWindow()
{
    // An open connection leaves the polling thread running; it must not outlive its receiver.
    stopPolling();
    delete usbThread;
    usbThread = nullptr;

    // A running job finishes first: its copy of the record shares the objects freed below.
    workerThread.quit();
    workerThread.wait();

    if (download->handleBar) {
        delete download->handleBar;
        download->handleBar = nullptr;
    }
    for (int i = 0; i < download->fileCount && i < Download::maxFiles; ++i) {
        delete[] download->imageData[i];
        download->imageData[i] = nullptr;
    }
    delete download->chip;
    download->chip = nullptr;
    delete download;
    download = nullptr;

    delete record;
    record = nullptr;
    wolfSSL_Cleanup();
    // Made without a parent, so no Qt parent frees it; it lives exactly as long as the window.
    delete offDlg;
    offDlg = nullptr;
    delete ui;
}

void MainWindow::setupOptionTexts()
{
    ui->configGroupBox->setTitle(tr("配置"));
    ui->chipLabel->setText(tr("      芯片型号"));
    ui->chipComboBox->setCurrentIndex(0);
    ui->chipComboBox->setStyleSheet("color:#ff0000;");
    ui->fullEraseRadioButton->setText(tr("全擦除"));
    ui->sectorEraseRadioButton->setText(tr("扇区擦除"));
    ui->doNotEraseRadioButton->setText(tr("不擦除"));
    ui->programCheckBox->setText(tr("烧写"));
    ui->verifyCheckBox->setText(tr("校验"));
    ui->resetAndRunCheckBox->setText(tr("复位运行"));
    ui->chipComboBox->setItemText(3, "QB48V");

    eraseGroup = new QButtonGroup(this);
    eraseGroup->addButton(ui->fullEraseRadioButton, 0);
    eraseGroup->addButton(ui->sectorEraseRadioButton, 1);
    eraseGroup->addButton(ui->doNotEraseRadioButton, 2);
    ui->fullEraseRadioButton->setChecked(true);
    readProtectGroup = new QButtonGroup(this);
    readProtectGroup->addButton(ui->readProtect0RadioButton, 0);
    readProtectGroup->addButton(ui->readProtect1RadioButton, 1);
    readProtectGroup->addButton(ui->readProtect2RadioButton, 2);
    ui->readProtect0RadioButton->setChecked(true);
    ui->programCheckBox->setChecked(true);
    ui->verifyCheckBox->setChecked(true);
    ui->resetAndRunCheckBox->setChecked(false);

    // Provisional: the chip selection at the end of construction sets them from the widgets.
    download->eraseMode = 1;
    download->programEnabled = 1;
    download->verifyEnabled = 1;
    download->resetAndRun = 0;
    download->readProtectLevel = 0;
}

void MainWindow::setupRollingCodePanel()
{
    ui->snGroupBox->setTitle(tr("滚码"));
    ui->snGroupBox->setCheckable(true);
    ui->snGroupBox->setChecked(false);
    ui->snNumLineEdit->setText("");
    ui->snAddrLineEdit->setText("");
    ui->snStepsLineEdit->setText("");

    // The style name, not the family, is what gets "Courier New" here.
    QFont font;
    font.setPointSize(12);
    font.setItalic(false);
    font.setWeight(50);
    font.setStyleName("Courier New");
    ui->snNumLineEdit->setFont(font);
    ui->snAddrLineEdit->setFont(font);
    ui->snStepsLineEdit->setFont(font);

    snNumValidator = hexValidator(ui->snNumLineEdit);
    snAddrValidator = hexValidator(ui->snAddrLineEdit);
    snStepsValidator = hexValidator(ui->snStepsLineEdit);
    ui->snNumLineEdit->setAlignment(Qt::AlignRight);
    ui->snAddrLineEdit->setAlignment(Qt::AlignRight);
    ui->snStepsLineEdit->setAlignment(Qt::AlignRight);

    ui->snNumLabel->setText(tr("滚码值(HEX)      "));
    ui->snAddrLabel->setText(tr("滚码地址(HEX)    "));
    ui->snStepsLabel->setText(tr("滚码步进(HEX)    "));
    ui->snGroupBox->setEnabled(false);
}

void MainWindow::setupWatchdogPanel()
{
    ui->optionsGroupBox->setCheckable(true);
    ui->optionsGroupBox->setChecked(false);
    ui->optionsGroupBox->setEnabled(false);
    ui->optionsGroupBox->setTitle(tr("看门狗选项"));
    ui->wdtEnableRadioButton->setText(tr("打开"));
    ui->wdtDisableRadioButton->setText(tr("关闭"));
    wdtGroup = new QButtonGroup(this);
    wdtGroup->addButton(ui->wdtEnableRadioButton, 0);
    wdtGroup->addButton(ui->wdtDisableRadioButton, 1);
    ui->wdtDisableRadioButton->setChecked(true);
}

void MainWindow::setupFilePanel()
{
    ui->programFilesGroupBox->setTitle(tr("烧录文件"));
    QTableWidget *table = ui->fileTableWidget;
    table->setRowCount(Download::maxFiles);
    table->setColumnCount(3);
    table->verticalHeader()->setFixedWidth(30);
    table->verticalHeader()->setDefaultAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    table->setColumnWidth(0, 200);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->fileAddPushButton->setText(tr("添加"));
    ui->fileRemovePushButton->setText(tr("删除"));
    table->setHorizontalHeaderLabels({tr("文件名"), tr("FLASH地址"), tr("大小")});
    ui->programFilesGroupBox->setEnabled(false);
}

void MainWindow::setupMenus()
{
    ui->offlineMenu->setTitle(tr("脱机烧录"));
    ui->remoteMenu->setTitle(tr("远程文件"));
    ui->icpInfoMenu->setTitle(tr("烧录器信息"));
    ui->chipInfoMenu->setTitle(tr("芯片信息"));
    ui->helpMenu->setTitle(tr("帮助"));

    // "open.png" is looked up in the working directory; a missing file gives an empty icon.
    const QIcon icon("open.png");
    offlineConfigAction = new QAction(icon, tr("配置", "offline job"), this);
    offlineConfigAction->setStatusTip(tr("脱机烧录配置"));
    connect(offlineConfigAction, &QAction::triggered, this, &MainWindow::offlineOptionsActionSlot);
    ui->offlineMenu->addAction(offlineConfigAction);
    offDlg = new OfflineDlg();

    offlineEraseAction = new QAction(icon, tr("删除", "offline job"), this);
    offlineEraseAction->setStatusTip(tr("删除烧录文件"));
    connect(offlineEraseAction, &QAction::triggered, this, &MainWindow::offlineEraseActionSlot);
    ui->offlineMenu->addAction(offlineEraseAction);

    helpVerifyAction = new QAction(icon, tr("校验文件"), this);
    helpVerifyAction->setStatusTip(tr("校验芯片数据和文件是否一致"));
    connect(helpVerifyAction, &QAction::triggered, this, &MainWindow::helpVerifyActionSlot);
    ui->helpMenu->addAction(helpVerifyAction);

    helpMD5Action = new QAction(icon, tr("MD5"), this);
    helpMD5Action->setStatusTip(tr("读取指定位置的MD5值"));
    connect(helpMD5Action, &QAction::triggered, this, &MainWindow::helpMD5ActionSlot);
    ui->helpMenu->addAction(helpMD5Action);

    helpCRC32Action = new QAction(icon, tr("CRC-32"), this);
    helpCRC32Action->setStatusTip(tr("读取指定位置的CRC-32值，多项式：0x04C11DB7"));
    connect(helpCRC32Action, &QAction::triggered, this, &MainWindow::helpCRC32ActionSlot);
    ui->helpMenu->addAction(helpCRC32Action);

    helpCRC32FileAction = new QAction(icon, tr("CRC-32文件"), this);
    helpCRC32FileAction->setStatusTip(tr("读取所有文件的CRC-32值，多项式：0x04C11DB7"));
    connect(helpCRC32FileAction, &QAction::triggered, this, &MainWindow::helpCRC32FileActionSlot);
    ui->helpMenu->addAction(helpCRC32FileAction);

    helpFlashMapAction = new QAction(icon, tr("烧录地图"), this);
    helpFlashMapAction->setStatusTip(tr("查看文件、擦除范围和滚码在芯片上的位置"));
    connect(helpFlashMapAction, &QAction::triggered, this, &MainWindow::helpFlashMapActionSlot);
    ui->helpMenu->addAction(helpFlashMapAction);
}

void MainWindow::connectThreads()
{
    // Bound explicitly (not by name): one slot per group, run once per click.
    for (QRadioButton *button :
         {ui->fullEraseRadioButton, ui->sectorEraseRadioButton, ui->doNotEraseRadioButton})
        connect(button, &QRadioButton::clicked, this, &MainWindow::on_eraseRadioButton_clicked);
    for (QRadioButton *button :
         {ui->readProtect0RadioButton, ui->readProtect1RadioButton, ui->readProtect2RadioButton})
        connect(button, &QRadioButton::clicked, this,
                &MainWindow::on_readProtectRadioButton_clicked);

    worker = new Worker;
    worker->moveToThread(&workerThread);
    connect(&workerThread, &QThread::finished, worker, &QObject::deleteLater);
    // Queued into the worker thread: the slot runs on a copy of the record made at emission.
    connect(this, &MainWindow::downloadOperate, worker, &Worker::doWork);
    connect(worker, &Worker::resultReady, this, &MainWindow::handleResults);
    workerThread.start();
    connect(download->handleBar, &HandleBar::progressBarSet, this,
            &MainWindow::handleProgressBarSet);

    usbThread = new USBConnectThread();
    connect(usbThread, &USBConnectThread::usbConnectTickSignal, this,
            &MainWindow::usbConnectTickSlot);
}

void MainWindow::showAbout(const QString &html)
{
    QMessageBox::about(this, tr("信息"), html);
}

void MainWindow::setLockSetEnabled(bool enabled)
{
    ui->configGroupBox->setEnabled(enabled);
    ui->snGroupBox->setEnabled(enabled);
    ui->programFilesGroupBox->setEnabled(enabled);
    ui->connectPushButton->setEnabled(enabled);
    ui->menuBar->setEnabled(enabled);
    ui->startPushButton->setEnabled(enabled);
}
