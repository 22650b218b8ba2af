// The project menu's job files through the real window: a saved job opened in a fresh window
// restores the whole job, and opening asks about changed files and refuses what it cannot use.
#include "files/guitesthelpers.h"
#include "options/windowtesthelpers.h"

#include "job/jobfile.h"
#include "support/modaldriver.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using Access = MainWindowTestAccess;
using guitest::writeFile;

// The job as the window holds it: record fields in hex, the widgets showing them, the file list.
static QString jobState(MainWindow &w)
{
    const Download &d = *Access::download(w);
    Ui::MainWindow *ui = Access::ui(w);
    QStringList s;
    for (uint32_t v : {uint32_t(d.eraseMode), uint32_t(d.programEnabled), uint32_t(d.verifyEnabled),
                       uint32_t(d.resetAndRun), uint32_t(d.readProtectLevel), d.rollingCodeAddress,
                       d.rollingCodeValue, d.rollingCodeStep, uint32_t(d.watchdogOption),
                       uint32_t(d.offline_flag), uint32_t(d.offlineMaxProgramCount_flag),
                       d.offlineMaxProgramCount, uint32_t(d.offlineAutoProgramTime_flag),
                       d.offlineAutoProgramTime, uint32_t(d.offlineMachine_flag),
                       uint32_t(d.offlineForceProgram_flag)})
        s << QString::number(v, 16);
    s << ui->snAddrLineEdit->text() << ui->snNumLineEdit->text() << ui->snStepsLineEdit->text()
      << QString::number(Access::ledgerCheckBox(w)->isChecked())
      << QString::number(ui->optionsGroupBox->isChecked())
      << Access::offDlg(w)->maxProgramCountLineEdit->text();
    for (int i = 0; i < d.fileCount; ++i)
        for (int column = 0; column < 3; ++column)
            s << ui->fileTableWidget->item(i, column)->text();
    return s.join(' ');
}

class JobWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        registerDownloadMetaType();
        QVERIFY(dir.isValid());
        QDir::setCurrent(dir.path());
    }
    void savedJobReopensInAFreshWindow();
    void openingAsksOrRefuses();

private:
    QTemporaryDir dir;
};

void JobWindowTest::savedJobReopensInAFreshWindow()
{
    MainWindow a;
    a.show();
    Ui::MainWindow *ui = Access::ui(a);
    ui->sectorEraseRadioButton->click();
    ui->verifyCheckBox->click();
    ui->resetAndRunCheckBox->click();
    ModalDriver driver;
    driver.typeAndClick("passwordLineEdit", "5A3C96E1", "okPushButton").answerMessageBox();
    ui->readProtect2RadioButton->click();
    driver.answerMessageBox("&Yes");
    optest::clickGroupBox(ui->optionsGroupBox);
    ui->wdtEnableRadioButton->click();
    optest::clickGroupBox(ui->snGroupBox);
    ui->snAddrLineEdit->setText("1FFC");
    ui->snNumLineEdit->setText("A0");
    ui->snStepsLineEdit->setText("3");
    Access::ledgerCheckBox(a)->setChecked(true);
    driver.then([](QWidget *modal, SeenModal &) {
        auto *dlg = qobject_cast<OfflineDlg *>(modal);
        dlg->OfflineCB->click();
        dlg->maxProgramCountCB->click();
        dlg->maxProgramCountLineEdit->setText("7");
        dlg->autoProgramCB->click();
        dlg->autoProgramTimeLineEdit->setText("300");
        dlg->machineCB->click();
        dlg->okPushButton->click();
    });
    Access::offlineConfigAction(a)->trigger();
    for (const char *address : {"800", "2000"}) {
        const QString bin = dir.filePath(QString("at%1.bin").arg(address));
        QVERIFY(writeFile(bin, QByteArray(strlen(address) * 0x20, 'b')));
        driver.chooseFile(bin).typeAndClick("addressLineEdit", address, "okPushButton");
        Access::clickFileAdd(a);
    }
    driver.chooseFile(dir.filePath("line1"));
    Access::saveJobAction(a)->trigger();
    QVERIFY(driver.waitForAll());
    const QString expected = "1 1 0 1 2 1ffc a0 3 a8 1 1 7 1 12c 1 0 1FFC A0 3 1 1 7 "
                             "at800.bin 0x800 0x60 at2000.bin 0x2000 0x80";
    QCOMPARE(jobState(a), expected);

    MainWindow b;
    b.show();
    driver.clearSeen();
    driver.chooseFile(dir.filePath("line1.json"))
        .typeAndClick("passwordLineEdit", "5A3C96E1", "okPushButton")
        .answerMessageBox()
        .answerMessageBox("&Yes");
    Access::openJobAction(b)->trigger();
    QVERIFY(driver.waitForAll());
    QCOMPARE(driver.seen().size(), 4);
    QCOMPARE(driver.seen()[1].className, QString("PasswordDlg"));
    QCOMPARE(driver.seen()[2].text,
             optest::html("#FF3300", "FLASH不可读，且无法解锁，请谨慎使用！"));
    QVERIFY(driver.seen()[3].text.contains("看门狗复位时间约为2秒"));
    QCOMPARE(jobState(b), expected);
}

// Each job lists c.bin at the given addresses ("-": none); the first box seen after the file
// dialog is answered, and only an accepted job replaces the full erase of a fresh window.
void JobWindowTest::openingAsksOrRefuses()
{
    const QString asked = "工程保存后文件已改变：%1\n仍然使用这个文件吗？";
    const struct
    {
        int chipIndex;
        QStringList addresses;
        bool changed;
        const char *answer;
        QString message;
        uint32_t length; // of the first listed file, 0: none listed
        int via = job::ViaVendor;
    } cases[] = {
        {3, {"400"}, true, "&Yes", asked, 0x24},
        {3, {"400"}, true, "&No", asked, 0},
        {1, {"400"}, false, "", "工程的芯片型号是QA12，本程序只能烧录QB48V", 0},
        {3, {"-"}, false, "", "工程中的BIN文件没有烧录地址：%1", 0},
        {3, {"400", "41C"}, false, "", "该文件烧录地址处于上一个文件烧录范围内", 0x20},
        {3,
         {"400"},
         false,
         "",
         "经CMSIS-DAP烧录器（SWD）的工程不能设置读保护、看门狗或脱机烧录",
         0,
         job::ViaSwd},
    };
    const QString bin = dir.filePath("c.bin");
    const QString path = dir.filePath("asks.json");
    for (const auto &c : cases) {
        QVERIFY(writeFile(bin, QByteArray(0x20, 'c')));
        job::JobSetup setup;
        setup.chipIndex = c.chipIndex;
        setup.eraseMode = job::NoErase;
        setup.via = c.via;
        // Over SWD, an option only the dedicated probe has.
        setup.watchdog = c.via == job::ViaSwd ? job::WatchdogOn : job::WatchdogKeep;
        for (const QString &address : c.addresses)
            setup.files.append(job::JobFile{bin, address != "-", address.toUInt(nullptr, 16)});
        QString error;
        QVERIFY2(job::writeJobFile(path, setup, error), qPrintable(error));
        if (c.changed)
            QVERIFY(writeFile(bin, QByteArray(0x24, 'd')));

        MainWindow w;
        ModalDriver driver;
        driver.chooseFile(path).answerMessageBox(c.answer);
        Access::openJobAction(w)->trigger();
        QVERIFY(driver.waitForAll());
        QCOMPARE(driver.seen()[1].title, QString("警告"));
        QCOMPARE(driver.seen()[1].text, c.message.contains("%1") ? c.message.arg(bin) : c.message);
        const Download &d = *Access::download(w);
        QCOMPARE(d.fileCount, c.length ? 1 : 0);
        QCOMPARE(d.eraseMode, c.length ? int(job::NoErase) : int(job::FullErase));
        QCOMPARE(d.imageLength[0], c.length);
    }
}

QTEST_MAIN(JobWindowTest)
#include "tst_jobwindow.moc"
