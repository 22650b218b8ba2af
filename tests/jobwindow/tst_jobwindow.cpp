// The project menu's job files through the real window: a saved job opened in a fresh window
// restores the whole job, and opening asks about changed files and refuses what it cannot use.
#include "options/windowtesthelpers.h"

#include "download.h"
#include "job/jobfile.h"
#include "support/modaldriver.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Access = MainWindowTestAccess;

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The job as the window holds it: record fields, the widgets that show them, the listed files.
QStringList jobState(MainWindow &w)
{
    const Download &d = *Access::download(w);
    Ui::MainWindow *ui = Access::ui(w);
    OfflineDlg *off = Access::offDlg(w);
    QStringList s;
    s << QString("erase %1 program %2 verify %3 reset %4 protect %5")
             .arg(d.eraseMode)
             .arg(d.programEnabled)
             .arg(d.verifyEnabled)
             .arg(d.resetAndRun)
             .arg(d.readProtectLevel);
    s << QString("rolling %1 %2 %3 %4 %5 %6 ledger %7")
             .arg(d.rollingCodeAddress, 0, 16)
             .arg(d.rollingCodeValue, 0, 16)
             .arg(d.rollingCodeStep, 0, 16)
             .arg(ui->snAddrLineEdit->text(), ui->snNumLineEdit->text(),
                  ui->snStepsLineEdit->text())
             .arg(int(Access::ledgerCheckBox(w)->isChecked()));
    s << QString("watchdog %1 box %2")
             .arg(d.watchdogOption, 0, 16)
             .arg(int(ui->optionsGroupBox->isChecked()));
    s << QString("offline %1 %2/%3 %4/%5 %6 %7 dialog %8 %9")
             .arg(d.offline_flag)
             .arg(d.offlineMaxProgramCount_flag)
             .arg(d.offlineMaxProgramCount)
             .arg(d.offlineAutoProgramTime_flag)
             .arg(d.offlineAutoProgramTime)
             .arg(d.offlineMachine_flag)
             .arg(d.offlineForceProgram_flag)
             .arg(off->maxProgramCountLineEdit->text(), off->autoProgramTimeLineEdit->text());
    for (int i = 0; i < d.fileCount; ++i)
        s << QString("%1 %2 %3")
                 .arg(ui->fileTableWidget->item(i, 0)->text(),
                      ui->fileTableWidget->item(i, 1)->text(),
                      ui->fileTableWidget->item(i, 2)->text());
    return s;
}

} // namespace

class JobWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void savedJobReopensInAFreshWindow();
    void openingAsksOrRefuses_data();
    void openingAsksOrRefuses();

private:
    void addBin(MainWindow &w, const QString &name, const char *address, int size);
    QTemporaryDir dir;
};

void JobWindowTest::initTestCase()
{
    registerDownloadMetaType();
    QVERIFY(dir.isValid());
    QDir::setCurrent(dir.path());
}

void JobWindowTest::addBin(MainWindow &w, const QString &name, const char *address, int size)
{
    QVERIFY(writeBytes(dir.filePath(name), QByteArray(size, char(size))));
    ModalDriver driver;
    driver.chooseFile(dir.filePath(name)).typeAndClick("addressLineEdit", address, "okPushButton");
    Access::clickFileAdd(w);
    QVERIFY(driver.waitForAll());
}

void JobWindowTest::savedJobReopensInAFreshWindow()
{
    const QString level2 = optest::html("#FF3300", "FLASH不可读，且无法解锁，请谨慎使用！");
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
    QVERIFY(driver.waitForAll());
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
    QVERIFY(driver.waitForAll());
    addBin(a, "a.bin", "800", 0x100);
    addBin(a, "b.bin", "2000", 0x40);
    driver.chooseFile(dir.filePath("line1"));
    Access::saveJobAction(a)->trigger();
    QVERIFY(driver.waitForAll());

    const QStringList expected = {
        "erase 1 program 1 verify 0 reset 1 protect 2",
        "rolling 1ffc a0 3 1FFC A0 3 ledger 1",
        "watchdog a8 box 1",
        "offline 1 1/7 1/300 1 0 dialog 7 300",
        "a.bin 0x800 0x100",
        "b.bin 0x2000 0x40",
    };
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
    QCOMPARE(driver.seen()[2].text, level2);
    QVERIFY(driver.seen()[3].text.contains("看门狗复位时间约为2秒"));
    QCOMPARE(jobState(b), expected);
    QCOMPARE(Access::download(b)->filePath[1], dir.filePath("b.bin"));
}

void JobWindowTest::openingAsksOrRefuses_data()
{
    QTest::addColumn<int>("chipIndex");
    QTest::addColumn<bool>("withAddress");
    QTest::addColumn<uint>("second"); // address of c.bin listed a second time, 0: once
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("listed");
    QTest::addColumn<uint>("length");
    const QString asked = "工程保存后文件已改变：%1\n仍然使用这个文件吗？";
    QTest::newRow("changed, used") << 3 << true << 0u << true << "&Yes" << asked << 1 << 0x24u;
    QTest::newRow("changed, declined") << 3 << true << 0u << true << "&No" << asked << 0 << 0u;
    QTest::newRow("other chip") << 1 << true << 0u << false << ""
                                << "工程的芯片型号是QA12，本程序只能烧录QB48V" << 0 << 0u;
    QTest::newRow("BIN without address") << 3 << false << 0u << false << ""
                                         << "工程中的BIN文件没有烧录地址：%1" << 0 << 0u;
    QTest::newRow("overlapping file") << 3 << true << 0x41Cu << false << ""
                                      << "该文件烧录地址处于上一个文件烧录范围内" << 1 << 0x20u;
}

void JobWindowTest::openingAsksOrRefuses()
{
    QFETCH(int, chipIndex);
    QFETCH(bool, withAddress);
    QFETCH(uint, second);
    QFETCH(bool, changed);
    QFETCH(QString, answer);
    QFETCH(QString, message);
    QFETCH(int, listed);
    QFETCH(uint, length);
    const QString bin = dir.filePath("c.bin");
    QVERIFY(writeBytes(bin, QByteArray(0x20, 'c')));
    job::JobSpec spec;
    spec.chipIndex = chipIndex;
    spec.eraseMode = job::NoErase;
    spec.files = {job::JobFile{bin, withAddress, 0x400}};
    if (second)
        spec.files.append(job::JobFile{bin, true, second});
    QString error;
    const QString path = dir.filePath("asks.json");
    QVERIFY2(job::writeJobFile(path, spec, error), qPrintable(error));
    if (changed)
        QVERIFY(writeBytes(bin, QByteArray(0x24, 'd')));

    MainWindow w;
    ModalDriver driver;
    driver.chooseFile(path).answerMessageBox(answer);
    Access::openJobAction(w)->trigger();
    QVERIFY(driver.waitForAll());
    QCOMPARE(driver.seen()[1].title, QString("警告"));
    QCOMPARE(driver.seen()[1].text, message.arg(bin));
    const Download &d = *Access::download(w);
    QCOMPARE(d.fileCount, listed);
    QCOMPARE(d.eraseMode, listed ? int(job::NoErase) : int(job::FullErase));
    QCOMPARE(d.imageLength[0], length);
}

QTEST_MAIN(JobWindowTest)
#include "tst_jobwindow.moc"
