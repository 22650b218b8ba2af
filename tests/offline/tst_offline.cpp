// Offline configuration: the dialog's two kinds of state, the interval warning, the record fields
// the window takes from it, offline erase, and the fields arriving at the probe after a Start.
#include "files/guitesthelpers.h"
#include "support/mainwindowaccess.h"
#include "support/modaldriver.h"

#include "mainwindow.h"
#include "offlinedlg.h"
#include "virtualprobe/virtualprobe.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using guitest::blue;
using guitest::red;
using vprobe::VirtualProbe;

namespace {

// Widget states of the dialog in one comparable line: per check box enabled/checked, per edit
// enabled and text.
QString widgetState(const OfflineDlg &d)
{
    auto box = [](const QCheckBox *b) {
        return QString(b->isEnabled() ? "E" : "d") + (b->isChecked() ? "X" : "o");
    };
    auto edit = [](const QLineEdit *e) {
        return QString(e->isEnabled() ? "E" : "d") + "'" + e->text() + "'";
    };
    return QStringList({box(d.OfflineCB), box(d.maxProgramCountCB), edit(d.maxProgramCountLineEdit),
                        box(d.autoProgramCB), edit(d.autoProgramTimeLineEdit), box(d.machineCB),
                        box(d.forceProgramCB)})
        .join(' ');
}

// The seven offline fields of the record: flag, count flag, time flag, count, time, machine, force.
QString recordOffline(const Download &d)
{
    return QString::asprintf("%d %d %d %08X %u %d %d", d.offline_flag,
                             d.offlineMaxProgramCount_flag, d.offlineAutoProgramTime_flag,
                             d.offlineMaxProgramCount, d.offlineAutoProgramTime,
                             d.offlineMachine_flag, d.offlineForceProgram_flag);
}

} // namespace

class OfflineTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void dialogStartsClosedDown();
    void boxSlotsRunOncePerClick();
    void offlineBoxSwitchesTheSubOptions();
    void firstOpenThenCancel();
    void confirmedValuesReachTheRecord_data();
    void confirmedValuesReachTheRecord();
    void shortIntervalWarnsAndKeepsTheDialogOpen();
    void cancelRestoresTheLastConfirm();
    void escapeActsAsCancel();
    void fullEraseHintForQc16_data();
    void fullEraseHintForQc16();
    void offlineErase_data();
    void offlineErase();
    void confirmedOptionsReachTheProbeAfterStart();

private:
    Download &job() { return *MainWindowTestAccess::download(*window); }
    OfflineDlg &dlg() { return *MainWindowTestAccess::offDlg(*window); }
    // Runs the options slot; `act` works the open dialog and ends it with a button.
    void runOptions(const std::function<void(OfflineDlg &)> &act, int boxesAfter = 0);

    QTemporaryDir work;
    MainWindow *window = nullptr;
    ModalDriver *driver = nullptr;
};

// Adding a file writes ./Setting.ini: keep it in a scratch folder.
void OfflineTest::initTestCase()
{
    QVERIFY(work.isValid());
    QVERIFY(QDir::setCurrent(work.path()));
    registerDownloadMetaType(); // main() does this for the application
}

void OfflineTest::init()
{
    VirtualProbe::instance().reset();
    window = new MainWindow;
    driver = new ModalDriver(10000);
}

void OfflineTest::cleanup()
{
    if (job().connected)
        window->findChild<QPushButton *>("connectPushButton")->click();
    delete driver;
    delete window;
}

void OfflineTest::runOptions(const std::function<void(OfflineDlg &)> &act, int boxesAfter)
{
    driver->clearSeen();
    driver->then([act](QWidget *modal, SeenModal &) {
        auto *d = qobject_cast<OfflineDlg *>(modal);
        QVERIFY(d);
        act(*d);
    });
    for (int i = 0; i < boxesAfter; ++i)
        driver->answerMessageBox();
    window->offlineOptionsActionSlot();
    QVERIFY(driver->waitForAll());
    // The same dialog object opens again next time: let the driver see it closed first.
    QVERIFY(driver->waitForClosed());
}

void OfflineTest::dialogStartsClosedDown()
{
    OfflineDlg d;
    QCOMPARE(d.windowTitle(), QStringLiteral("脱机烧录配置"));
    QCOMPARE(d.windowFlags() & ~Qt::WindowType_Mask,
             Qt::WindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint));
    QCOMPARE(widgetState(d), QStringLiteral("Eo do d'' do d'' do do"));
    QCOMPARE(d.isOK, 0);
    QCOMPARE(d.offlineAutoProgramTime, 500u);
    QCOMPARE(QStringList({d.OfflineCB->text(), d.maxProgramCountCB->text(), d.autoProgramCB->text(),
                          d.machineCB->text(), d.forceProgramCB->text()}),
             QStringList({"打开脱机烧写功能", "烧写次数(十进制)", "自动烧写时间(毫秒)", "机台烧录",
                          "强制烧写脱机文件"}));
    QCOMPARE(d.maxProgramCountLineEdit->maximumWidth(), 72);
    QCOMPARE(d.autoProgramTimeLineEdit->maximumWidth(), 57);
    QString text = "123456789";
    int pos = 0;
    QCOMPARE(d.maxProgramCountLineEdit->validator()->validate(text, pos), QValidator::Invalid);
    text = "30000";
    QCOMPARE(d.autoProgramTimeLineEdit->validator()->validate(text, pos), QValidator::Invalid);
    text = "3000";
    QCOMPARE(d.autoProgramTimeLineEdit->validator()->validate(text, pos), QValidator::Acceptable);
}

// Named on_<object>_clicked yet bound by hand: one run per click, never two.
void OfflineTest::boxSlotsRunOncePerClick()
{
    OfflineDlg d;
    guitest::DebugCapture capture;
    d.OfflineCB->click();
    d.maxProgramCountCB->click();
    d.autoProgramCB->click();
    d.machineCB->click();
    d.forceProgramCB->click();
    QCOMPARE(capture.count("on_OfflineCB_clicked"), 1);
    QCOMPARE(capture.count("on_maxProgramCountCB_clicked"), 1);
    QCOMPARE(capture.count("on_autoProgramCB_clicked"), 1);
    QCOMPARE(capture.count("on_machineCB_clicked"), 1);
    QCOMPARE(capture.count("on_forceProgramCB_clicked"), 1);
    // The plain options report the stored flag (0 until a confirm), not the click.
    QVERIFY(guitest::DebugCapture::lines().contains(" on_machineCB_clicked  0"));
    QVERIFY(guitest::DebugCapture::lines().contains(" on_OfflineCB_clicked  true"));
}

void OfflineTest::offlineBoxSwitchesTheSubOptions()
{
    OfflineDlg d;
    d.OfflineCB->click();
    QCOMPARE(widgetState(d), QStringLiteral("EX Eo d'0' Eo d'500' Eo Eo"));
    d.maxProgramCountCB->click();
    d.autoProgramCB->click();
    d.machineCB->click();
    QCOMPARE(widgetState(d), QStringLiteral("EX EX E'0' EX E'500' EX Eo"));
    d.autoProgramCB->click();
    QCOMPARE(widgetState(d), QStringLiteral("EX EX E'0' Eo d'500' EX Eo"));
    d.OfflineCB->click();
    QCOMPARE(widgetState(d), QStringLiteral("Eo do d' ' do d' ' do do"));
}

void OfflineTest::firstOpenThenCancel()
{
    runOptions([](OfflineDlg &d) { d.cancelPushButton->click(); });
    QCOMPARE(recordOffline(job()), QStringLiteral("0 0 0 FFFFFFFF 0 0 0"));
    QCOMPARE(dlg().isOK, 0);
}

void OfflineTest::confirmedValuesReachTheRecord_data()
{
    QTest::addColumn<QString>("boxes"); // o: offline, c: count, t: interval, m: machine, f: force
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("expected");
    const struct
    {
        const char *name, *boxes, *count, *interval, *expected;
    } rows[] = {
        {"offline off", "", "", "", "0 0 0 FFFFFFFF 500 0 0"},
        {"count cleared", "oc", "", "", "1 1 0 FFFFFFFF 500 0 0"},
        {"count 25", "oc", "25", "", "1 1 0 00000019 500 0 0"},
        {"interval 300", "ot", "", "300", "1 0 1 FFFFFFFF 300 0 0"},
        {"interval box off", "o", "", "", "1 0 0 FFFFFFFF 500 0 0"},
        {"all on", "octmf", "7", "3000", "1 1 1 00000007 3000 1 1"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString(r.boxes) << QString(r.count) << QString(r.interval)
                              << QString(r.expected);
}

void OfflineTest::confirmedValuesReachTheRecord()
{
    QFETCH(QString, boxes);
    QFETCH(QString, count);
    QFETCH(QString, interval);
    QFETCH(QString, expected);
    runOptions([&](OfflineDlg &d) {
        const QList<QPair<QChar, QCheckBox *>> order = {{'o', d.OfflineCB},
                                                        {'c', d.maxProgramCountCB},
                                                        {'t', d.autoProgramCB},
                                                        {'m', d.machineCB},
                                                        {'f', d.forceProgramCB}};
        for (const auto &p : order)
            if (boxes.contains(p.first))
                p.second->click();
        if (boxes.contains('c'))
            d.maxProgramCountLineEdit->setText(count);
        if (boxes.contains('t'))
            d.autoProgramTimeLineEdit->setText(interval);
        d.okPushButton->click();
    });
    QCOMPARE(dlg().isOK, 1);
    QCOMPARE(recordOffline(job()), expected);
}

// 299 warns, puts 500 into the edit and into the stored interval, and leaves the dialog open;
// cancel then rebuilds the interval row from the stored values; 300 is accepted.
void OfflineTest::shortIntervalWarnsAndKeepsTheDialogOpen()
{
    runOptions([](OfflineDlg &d) {
        d.OfflineCB->click();
        d.autoProgramCB->click();
        d.autoProgramTimeLineEdit->setText("800");
        d.okPushButton->click();
    });
    QString afterWarning;
    driver->clearSeen();
    driver->then([&](QWidget *modal, SeenModal &) {
        auto *d = qobject_cast<OfflineDlg *>(modal);
        QVERIFY(d);
        d->autoProgramTimeLineEdit->setText("299");
        d->okPushButton->click(); // the warning runs here, answered by the next step
        afterWarning = widgetState(*d) + (d->isVisible() ? " open" : " closed");
        d->cancelPushButton->click();
    });
    driver->answerMessageBox();
    window->offlineOptionsActionSlot();
    QVERIFY(driver->waitForAll());
    QVERIFY(driver->waitForClosed());

    QCOMPARE(driver->seen()[1].title, QStringLiteral("警告"));
    QCOMPARE(driver->seen()[1].text, QStringLiteral("自动烧写间隔必须在300-3000毫秒之间"));
    QCOMPARE(afterWarning, QStringLiteral("EX Eo d'0' EX E'500' Eo Eo open"));
    QCOMPARE(widgetState(dlg()), QStringLiteral("EX Eo d'0' EX E'500' Eo Eo"));
    QCOMPARE(recordOffline(job()), QStringLiteral("1 0 1 FFFFFFFF 800 0 0"));

    runOptions([](OfflineDlg &d) {
        d.autoProgramTimeLineEdit->setText("300");
        d.okPushButton->click();
    });
    QCOMPARE(driver->seen().size(), 1);
    QCOMPARE(recordOffline(job()), QStringLiteral("1 0 1 FFFFFFFF 300 0 0"));
}

void OfflineTest::cancelRestoresTheLastConfirm()
{
    runOptions([](OfflineDlg &d) {
        d.OfflineCB->click();
        d.maxProgramCountCB->click();
        d.maxProgramCountLineEdit->setText("12");
        d.autoProgramCB->click();
        d.autoProgramTimeLineEdit->setText("800");
        d.forceProgramCB->click();
        d.okPushButton->click();
    });
    const QString confirmed = QStringLiteral("EX EX E'12' EX E'800' Eo EX");
    QCOMPARE(widgetState(dlg()), confirmed);

    runOptions([](OfflineDlg &d) {
        d.maxProgramCountCB->click();
        d.machineCB->click();
        d.autoProgramTimeLineEdit->setText("1500");
        d.OfflineCB->click();
        d.cancelPushButton->click();
    });
    QCOMPARE(widgetState(dlg()), confirmed);
    QCOMPARE(recordOffline(job()), QStringLiteral("1 1 1 0000000C 800 0 1"));

    // A stored offline flag with both rows off restores the rows' defaults.
    runOptions([](OfflineDlg &d) {
        d.maxProgramCountCB->click();
        d.autoProgramCB->click();
        d.okPushButton->click();
    });
    runOptions([](OfflineDlg &d) {
        d.maxProgramCountCB->click();
        d.cancelPushButton->click();
    });
    QCOMPARE(widgetState(dlg()), QStringLiteral("EX Eo d'0' Eo d'500' Eo EX"));
}

void OfflineTest::escapeActsAsCancel()
{
    runOptions([](OfflineDlg &d) {
        d.OfflineCB->click();
        d.okPushButton->click();
    });
    runOptions([](OfflineDlg &d) {
        d.OfflineCB->click();
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    QCOMPARE(dlg().isOK, 0);
    QCOMPARE(widgetState(dlg()), QStringLiteral("EX Eo d'0' Eo d'500' Eo Eo"));
}

void OfflineTest::fullEraseHintForQc16_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("eraseMode");
    QTest::addColumn<bool>("hint");
    QTest::newRow("QC16/18 sector erase") << 3 << 1 << true;
    QTest::newRow("QC16/18 no erase") << 3 << 2 << true;
    QTest::newRow("QC16/18 full erase") << 3 << 0 << false;
    QTest::newRow("QB48 sector erase") << 2 << 1 << false;
}

// The hint follows the record after every run of the slot, after cancel too.
void OfflineTest::fullEraseHintForQc16()
{
    QFETCH(int, model);
    QFETCH(int, eraseMode);
    QFETCH(bool, hint);
    job().chip->model = model;
    job().eraseMode = eraseMode;
    runOptions(
        [](OfflineDlg &d) {
            d.OfflineCB->click();
            d.forceProgramCB->click();
            d.okPushButton->click();
        },
        hint ? 1 : 0);
    runOptions([](OfflineDlg &d) { d.cancelPushButton->click(); }, hint ? 1 : 0);
    QCOMPARE(driver->seen().size(), hint ? 2 : 1);
    if (hint) {
        QCOMPARE(driver->seen()[1].title, QStringLiteral("信息"));
        QCOMPARE(driver->seen()[1].text, blue("如果芯片处于读保护状态，请选择全擦除。"));
    }
}

void OfflineTest::offlineErase_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("status"); // -1: the probe's own reply
    QTest::addColumn<QString>("message");
    QTest::newRow("no probe") << false << -1 << red("未连接!");
    QTest::newRow("erased") << true << -1 << blue("擦除成功！");
    QTest::newRow("refused") << true << 0x00 << red("擦除失败!");
}

void OfflineTest::offlineErase()
{
    QFETCH(bool, connected);
    QFETCH(int, status);
    QFETCH(QString, message);
    VirtualProbe &probe = VirtualProbe::instance();
    if (connected) {
        window->findChild<QPushButton *>("connectPushButton")->click();
        QCOMPARE(job().connected, 1);
        probe.clearTrace();
    }
    if (status >= 0)
        probe.failNext(0x92, vprobe::ReplyFault::Status, 1, uint8_t(status));
    driver->answerMessageBox();
    window->offlineEraseActionSlot();
    QVERIFY(driver->waitForAll());
    QCOMPARE(driver->seen().size(), 1); // no question before erasing
    QCOMPARE(driver->seen()[0].title, QStringLiteral("信息"));
    QCOMPARE(driver->seen()[0].text, message);
    QCOMPARE(probe.commandsWritten(),
             connected ? std::vector<uint8_t>{0x92} : std::vector<uint8_t>{});
    if (status < 0 && connected)
        QVERIFY(!probe.storedJob().offlineJobStored);
}

// The record's offline fields travel in the next settings report; the probe decrypts them.
void OfflineTest::confirmedOptionsReachTheProbeAfterStart()
{
    VirtualProbe &probe = VirtualProbe::instance();
    window->findChild<QPushButton *>("connectPushButton")->click();
    QCOMPARE(job().connected, 1);
    const QString file = work.filePath("offline.bin");
    QVERIFY(guitest::writeFile(file, QByteArray(64, '\x3C')));
    driver->chooseFile(file).typeAndClick("addressLineEdit", "0", "okPushButton");
    MainWindowTestAccess::clickFileAdd(*window);
    QVERIFY(driver->waitForAll());
    QCOMPARE(job().fileCount, 1);
    runOptions([](OfflineDlg &d) {
        d.OfflineCB->click();
        d.maxProgramCountCB->click();
        d.maxProgramCountLineEdit->setText("70000");
        d.autoProgramCB->click();
        d.autoProgramTimeLineEdit->setText("1234");
        d.machineCB->click();
        d.okPushButton->click();
    });

    driver->clearSeen();
    driver->answerMessageBox();
    window->findChild<QPushButton *>("startPushButton")->click();
    QVERIFY(driver->waitForAll());
    QCOMPARE(driver->seen().size(), 1);
    QCOMPARE(driver->seen()[0].text, blue("烧写成功！"));

    const vprobe::VirtualProbe::StoredJob stored = probe.storedJob();
    QVERIFY(stored.valid);
    const auto &s = stored.plainSettings; // s[k - 2] is byte k of the report
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&s[6]), 12).toHex(),
             QByteArray("0101010070110100d2040000"));
    QCOMPARE(int(s[24]), 1); // machine
    QVERIFY(stored.offlineJobStored);
}

QTEST_MAIN(OfflineTest)
#include "tst_offline.moc"
