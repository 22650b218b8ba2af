// The SWD path's self-test and chip-ID fields in the real window, offscreen, on the linked virtual
// QS64 running firmware/selftest: a job keeps them, the run reads them.
#include "support/inprocessdap.h"
#include "support/mainwindowaccess.h"
#include "support/modaldriver.h"

#include "cmsisdapprobe.h"
#include "selftestdlg.h"

#include <QAction>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

using Access = MainWindowTestAccess;
using vprobe::CmsisDapProbe;
using vprobe::SimulatedPart;

namespace {

const QString kOnlySwd = "只有经CMSIS-DAP（SWD）烧录有自检和芯片ID";

QJsonObject jsonOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object()
                                       : QJsonObject();
}

// The newest row of the window's record.
QStringList lastRow()
{
    QStringList row;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(qEnvironmentVariable("QUORVEL_RECORD"));
        QSqlQuery q(db);
        if (db.open()
            && q.exec("SELECT result, status, message, functional, functional_text, chip_uid "
                      "FROM runs ORDER BY id DESC LIMIT 1")
            && q.next()) {
            for (int i = 0; i < 6; ++i)
                row << q.value(i).toString();
        }
    }
    QSqlDatabase::removeDatabase("check");
    return row;
}

} // namespace

class SelfTestWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    QString start(MainWindow &w);
    bool saveCliJob(const QStringList &options, const QString &name);

private slots:
    void initTestCase();
    void theDialogRefusesWhatAJobCannotTake();
    void aCommandLineJobsChecksLoadAndSaveBackUnchanged();
    void theRunShowsTheVerdictAndRecordsTheIdAndTheText();
    void aChipProgrammedAgainKeepsItsSerial();
};

void SelfTestWindowTest::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QFile::exists(QUORVEL_SELFTEST_BIN));
    QVERIFY(useInProcessCmsisDap(path("data")));
    // A record of this run's own: what the ledger gave before must not count.
    qputenv("QUORVEL_RECORD", path("record.sqlite").toLocal8Bit());
    CmsisDapProbe::instance().device().selectPart(SimulatedPart::Qs64);
    CmsisDapProbe::instance().setUsb(CmsisDapProbe::Usb::FsHid);
    CmsisDapProbe::instance().reset();

    // The job as the command line saves it: the checks of a line running the self-test image.
    QVERIFY(saveCliJob({"--reset", "--rtt-expect", "SELFTEST PASS", "--rtt-fail", "SELFTEST FAIL",
                        "--rtt-timeout", "3000", "--rtt-address", "0x20000300"},
                       "cli.json"));
}

bool SelfTestWindowTest::saveCliJob(const QStringList &options, const QString &name)
{
    QProcess p;
    QStringList env = QProcess::systemEnvironment();
    env << "LD_PRELOAD=" QUORVEL_VPROBE_LIB << "QUORVEL_VPROBE_KIND=cmsis-dap"
        << "QUORVEL_VPROBE_DAP_REALTIME=0"
        << "QUORVEL_VPROBE_TARGET=qs64"
        << "QUORVEL_VPROBE_FLASH_FILE=" + path("cli.flash")
        << "QUORVEL_RECORD=" + path("cli-record.sqlite") << "LC_ALL=C"
        << "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0";
    p.setEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QUORVEL_CLI,
            QStringList{"program", "--via", "swd", "--pack", QUORVEL_QS64_PACK, "--target", "QS64",
                        QUORVEL_SELFTEST_BIN "@0x08000000", "--uid", "0x40010100:12"}
                + options + QStringList{"--save-job", name});
    if (!p.waitForFinished(120000) || !QFile::exists(path(name))) {
        qWarning() << p.readAllStandardError();
        return false;
    }
    return true;
}

// Start, then the result box's text.
QString SelfTestWindowTest::start(MainWindow &w)
{
    ModalDriver driver(60000);
    driver.answerMessageBox();
    Access::clickStart(w);
    if (!driver.waitForAll() || driver.seen().isEmpty())
        return QString("no result box");
    return driver.seen().last().text;
}

void SelfTestWindowTest::theDialogRefusesWhatAJobCannotTake()
{
    const struct
    {
        const char *expect, *fail, *address, *uid;
        QString error;
    } rows[] = {
        {"PASS (", "", "", "", "正则表达式无效：PASS (（missing closing parenthesis）"},
        {"", "FAIL", "", "", "填写失败文本或控制块地址时须填写通过文本"},
        {"", "", "0x20000300", "", "填写失败文本或控制块地址时须填写通过文本"},
        {"PASS", "", "0x20000302", "", "RTT控制块地址须是4字节对齐的十六进制数：0x20000302"},
        {"PASS", "", "2000g", "", "RTT控制块地址须是4字节对齐的十六进制数：2000g"},
        {"PASS", "", "", "0x40010100:33", "芯片ID位置无效（地址:长度，1到32字节）：0x40010100:33"},
        {"PASS", "FAIL", "20000300", "0x40010100:12", ""},
        {"", "", "", "", ""},
    };
    for (const auto &row : rows) {
        SelfTestDlg dlg;
        dlg.setFields({"1:1", "old", "", 700, 0x20000100});
        dlg.findChild<QLineEdit *>("rttExpectLineEdit")->setText(row.expect);
        dlg.findChild<QLineEdit *>("rttFailLineEdit")->setText(row.fail);
        dlg.findChild<QLineEdit *>("rttAddressLineEdit")->setText(row.address);
        dlg.findChild<QLineEdit *>("uidLineEdit")->setText(row.uid);
        dlg.accept();
        QCOMPARE(dlg.findChild<QLabel *>("errorLabel")->text(), row.error);
        QCOMPARE(dlg.result(), row.error.isEmpty() ? int(QDialog::Accepted) : 0);
        // Refused, the fields given stay what the job had.
        const SelfTestFields kept{"1:1", "old", "", 700, 0x20000100};
        const SelfTestFields taken{row.uid, row.expect, row.fail, 700,
                                   QString(row.address).toUInt(nullptr, 16)};
        QVERIFY(dlg.fields() == (row.error.isEmpty() ? taken : kept));
    }
}

void SelfTestWindowTest::aCommandLineJobsChecksLoadAndSaveBackUnchanged()
{
    const QJsonObject cli = jsonOf(path("cli.json"));
    QCOMPARE(cli.value("uid").toString(), QString("0x40010100:12"));
    QCOMPARE(QJsonDocument(cli.value("rtt").toObject()).toJson(QJsonDocument::Compact),
             QByteArray(R"({"address":"0x20000300","expect":"SELFTEST PASS",)"
                        R"("fail":"SELFTEST FAIL","timeoutMs":3000})"));

    MainWindow w;
    QAction *action = w.findChild<QAction *>("selfTestAction");
    QVERIFY(action);
    QVERIFY(!action->isEnabled());
    QCOMPARE(action->toolTip(), kOnlySwd);
    {
        ModalDriver driver;
        driver.chooseFile(path("cli.json"));
        Access::openJobAction(w)->trigger();
        QVERIFY(driver.waitForAll());
    }
    QVERIFY(w.findChild<QAction *>("viaSwdAction")->isChecked());
    QVERIFY(action->isEnabled());
    {
        ModalDriver driver;
        driver.then([](QWidget *modal, SeenModal &) {
            QCOMPARE(modal->windowTitle(), QString("自检与芯片ID"));
            QCOMPARE(modal->findChild<QLineEdit *>("rttExpectLineEdit")->text(),
                     QString("SELFTEST PASS"));
            QCOMPARE(modal->findChild<QLineEdit *>("rttFailLineEdit")->text(),
                     QString("SELFTEST FAIL"));
            QCOMPARE(modal->findChild<QSpinBox *>("rttTimeoutSpinBox")->value(), 3000);
            QCOMPARE(modal->findChild<QLineEdit *>("rttAddressLineEdit")->text(),
                     QString("0x20000300"));
            QCOMPARE(modal->findChild<QLineEdit *>("uidLineEdit")->text(),
                     QString("0x40010100:12"));
            modal->findChild<QPushButton *>("okPushButton")->click();
        });
        action->trigger();
        QVERIFY(driver.waitForAll());
    }
    {
        ModalDriver driver;
        driver.chooseFile(path("window.json"));
        Access::saveJobAction(w)->trigger();
        QVERIFY(driver.waitForAll());
    }
    const QJsonObject saved = jsonOf(path("window.json"));
    for (const char *key : {"uid", "rtt", "via", "target", "reset"})
        QVERIFY2(saved.value(key) == cli.value(key), key);

    // Back on the dedicated path the fields are out of reach again.
    w.findChild<QAction *>("viaVendorAction")->trigger();
    QVERIFY(!action->isEnabled());
    QCOMPARE(action->toolTip(), kOnlySwd);
}

void SelfTestWindowTest::theRunShowsTheVerdictAndRecordsTheIdAndTheText()
{
    MainWindow w;
    {
        ModalDriver driver;
        driver.chooseFile(path("cli.json"));
        Access::openJobAction(w)->trigger();
        QVERIFY(driver.waitForAll());
    }
    Access::clickConnect(w);
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("已连接"));
    const QString uid = "343653515d386ee272308380"; // the virtual board of the first probe
    const QString passed = "selftest: ram ok\nSELFTEST PASS uid=51533634e26e385d80833072\n";
    QVERIFY(start(w).contains("烧写成功！"));
    QCOMPARE(Access::ui(w)->statusBar->currentMessage(), QString("烧写成功！"));
    QCOMPARE(lastRow(),
             QStringList({"0", "passed", "烧写成功！ \n擦除0个扇区，烧写1个，跳过0个（内容已相同）",
                          "passed", passed, uid}));

    // The mode word that makes the firmware report a failure, as a second file of the job.
    QFile mode(path("mode.bin"));
    QVERIFY(mode.open(QIODevice::WriteOnly) && mode.write("FAIL") == 4);
    mode.close();
    {
        ModalDriver driver;
        driver.chooseFile(path("mode.bin"))
            .typeAndClick("addressLineEdit", "800FFF0", "okPushButton");
        Access::clickFileAdd(w);
        QVERIFY(driver.waitForAll());
    }
    const QString failed = "烧录成功，自检失败：SELFTEST FAIL ram";
    QCOMPARE(start(w), failed);
    QCOMPARE(Access::ui(w)->statusBar->currentMessage(), failed);
    QCOMPARE(lastRow(),
             QStringList(
                 {"55", "failed", failed, "failed", "selftest: ram ok\nSELFTEST FAIL ram\n", uid}));
}

// The ID is read before the row and the serial, so the ledger knows the chip: programmed again,
// it gets the serial it holds, and no second value of the series is used.
void SelfTestWindowTest::aChipProgrammedAgainKeepsItsSerial()
{
    QVERIFY(saveCliJob({"--rolling", "0x0800C000:100:1", "--serial-ledger"}, "ledger.json"));
    MainWindow w;
    {
        ModalDriver driver;
        driver.chooseFile(path("ledger.json"));
        Access::openJobAction(w)->trigger();
        QVERIFY(driver.waitForAll());
    }
    Access::clickConnect(w);
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("已连接"));
    for (int round = 0; round < 2; ++round) {
        const QString result = start(w);
        QVERIFY2(result.contains("烧写成功！"), qPrintable(result));
    }
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "ledger");
        db.setDatabaseName(qEnvironmentVariable("QUORVEL_RECORD"));
        QSqlQuery q(db);
        QVERIFY(db.open());
        QVERIFY(q.exec("SELECT serial, chip_uid FROM runs ORDER BY id DESC LIMIT 2"));
        while (q.next())
            rows << q.value(0).toString() + "=" + q.value(1).toString();
        QVERIFY(q.exec("SELECT value, state FROM serial_ledger"));
        while (q.next())
            rows << q.value(0).toString() + ":" + q.value(1).toString();
    }
    QSqlDatabase::removeDatabase("ledger");
    QCOMPARE(
        rows,
        QStringList({"256=343653515d386ee272308380", "256=343653515d386ee272308380", "256:used"}));
}

QTEST_MAIN(SelfTestWindowTest)
#include "tst_selftestwindow.moc"
