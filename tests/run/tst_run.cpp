// Start, progress and results through the real window, its worker thread and the virtual probe:
// a whole job programmed, every result message, the reconnect-and-retry request and its bound.
#include "options/windowtesthelpers.h"

#include "download.h"
#include "support/modaldriver.h"
#include "usbconnectthread.h"
#include "virtualprobe.h"
#include "worker.h"

#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>

using optest::blue;
using optest::DebugLog;
using optest::red;

namespace {

const QString startLine = QStringLiteral("开始传输数据");
const QString erased = blue("擦除成功！");
const QString checkConnection = red("请确认烧录器和待编程芯片正确连接！");

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) & 0xFF);
    return bytes;
}

// One Intel HEX record with its checksum.
QByteArray hexRecord(int type, uint16_t offset, const QByteArray &data)
{
    QByteArray raw;
    raw.append(char(data.size()));
    raw.append(char(offset >> 8));
    raw.append(char(offset & 0xFF));
    raw.append(char(type));
    raw.append(data);
    uint8_t sum = 0;
    for (char c : raw)
        sum += uint8_t(c);
    raw.append(char(uint8_t(0x100 - sum)));
    return ":" + raw.toHex().toUpper() + "\r\n";
}

std::vector<uint8_t> bytesOf(const QByteArray &a)
{
    return std::vector<uint8_t>(a.begin(), a.end());
}

// The chip-detect answer that asks for a reconnect: a reply that is not the accepted echo,
// then a second one starting with 5.
void queueReconnectRequest()
{
    std::vector<uint8_t> notAccepted(64, 0);
    notAccepted[0] = 0x94;
    std::vector<uint8_t> five(64, 0);
    five[0] = 5;
    vprobe::VirtualProbe::instance().queueReply(0x94, notAccepted);
    vprobe::VirtualProbe::instance().queueReply(0x94, five);
}

int chipDetects()
{
    const auto commands = vprobe::VirtualProbe::instance().commandsWritten();
    return int(std::count(commands.begin(), commands.end(), uint8_t(0x94)));
}

} // namespace

class RunTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void programsThreeFilesEndToEnd();
    void startWithoutProbe();
    void startWithVanishedFileDoesNotRun();
    void resultMessages_data();
    void resultMessages();
    void progressAboveHundredShowsHundred();
    void reconnectRequestThenProbeGone();
    void reconnectRequestsAreBounded_data();
    void reconnectRequestsAreBounded();
    void boundStartsAfreshForTheNextStart();
    void autoModeProgramsEachAttachedBoardOnce();

private:
    Ui::MainWindow *ui() { return MainWindowTestAccess::ui(*w); }
    Download *job() { return MainWindowTestAccess::download(*w); }
    bool polling() { return MainWindowTestAccess::usbThread(*w)->isRunning(); }
    void addFile(const QString &name, const QByteArray &contents, const QString &addressText);
    void verifyLockSetEnabled(bool enabled);
    void startAndAnswer(int expectedBoxes, QList<SeenModal> &seen);

    MainWindow *w = nullptr;
    QTemporaryDir dir;
};

void RunTest::initTestCase()
{
    registerDownloadMetaType();
    QVERIFY(dir.isValid());
    QDir::setCurrent(dir.path()); // ./Setting.ini of the file list lands here
}

void RunTest::init()
{
    vprobe::VirtualProbe::instance().reset();
    w = new MainWindow;
    w->show();
}

void RunTest::cleanup()
{
    delete w;
    w = nullptr;
}

void RunTest::addFile(const QString &name, const QByteArray &contents, const QString &addressText)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(contents);
    f.close();
    ModalDriver driver;
    driver.chooseFile(path).typeAndClick("addressLineEdit", addressText, "okPushButton");
    ui()->fileAddPushButton->click();
    QVERIFY(driver.waitForAll());
}

void RunTest::verifyLockSetEnabled(bool enabled)
{
    QCOMPARE(ui()->configGroupBox->isEnabled(), enabled);
    QCOMPARE(ui()->snGroupBox->isEnabled(), enabled);
    QCOMPARE(ui()->programFilesGroupBox->isEnabled(), enabled);
    QCOMPARE(ui()->connectPushButton->isEnabled(), enabled);
    QCOMPARE(ui()->menuBar->isEnabled(), enabled);
    QCOMPARE(ui()->startPushButton->isEnabled(), enabled);
}

// Presses Start and answers the result boxes; the wait ends once the worker's result was handled.
void RunTest::startAndAnswer(int expectedBoxes, QList<SeenModal> &seen)
{
    ModalDriver driver(30000);
    for (int i = 0; i < expectedBoxes; ++i)
        driver.answerMessageBox();
    ui()->startPushButton->click();
    // Nothing of the result has been handled yet: the window is locked and not polling.
    verifyLockSetEnabled(false);
    QVERIFY(!polling());
    QVERIFY(driver.waitForAll());
    seen = driver.seen();
}

void RunTest::programsThreeFilesEndToEnd()
{
    const QByteArray first = pattern(300, 1);
    const QByteArray hexLow = pattern(16, 2);
    const QByteArray hexHigh = pattern(16, 3);
    const QByteArray third = pattern(5000, 4);
    const QByteArray hex = hexRecord(4, 0, QByteArray::fromHex("0000")) + hexRecord(0, 0, hexLow)
        + hexRecord(0, 0x20, hexHigh) + hexRecord(1, 0, {});
    addFile("first.bin", first, "0");
    addFile("second.hex", hex, "1000");
    addFile("third.bin", third, "2000");
    QCOMPARE(job()->fileCount, 3);
    ui()->connectPushButton->click();
    QCOMPARE(job()->connected, 1);

    QSignalSpy bar(ui()->progressBar, &QProgressBar::valueChanged);
    QList<SeenModal> seen;
    startAndAnswer(1, seen);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].title, QString("信息"));
    QCOMPARE(seen[0].text, blue("烧写成功！"));

    QVERIFY(!bar.isEmpty());
    QCOMPARE(bar.last().at(0).toInt(), 100);
    QCOMPARE(ui()->progressBar->value(), 100);
    for (const QList<QVariant> &v : bar) {
        QVERIFY(v.at(0).toInt() >= 0 && v.at(0).toInt() <= 100);
    }

    const auto &probe = vprobe::VirtualProbe::instance();
    QCOMPARE(probe.readFlash(0, 300), bytesOf(first));
    // The gap between the two HEX records reads as erased flash.
    QCOMPARE(probe.readFlash(0x1000, 48), bytesOf(hexLow + QByteArray(16, '\xFF') + hexHigh));
    QCOMPARE(probe.readFlash(0x2000, 5000), bytesOf(third));
    QCOMPARE(probe.readFlash(0x2000 + 5000, 4), std::vector<uint8_t>(4, 0xFF));

    verifyLockSetEnabled(true);
    QVERIFY(polling());
}

void RunTest::startWithoutProbe()
{
    w->handleProgressBarSet(37);
    DebugLog log;
    QList<SeenModal> seen;
    startAndAnswer(1, seen);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].text, red("未连接!"));
    QCOMPARE(ui()->progressBar->value(), 0);
    QCOMPARE(log.count(startLine), 1);
    verifyLockSetEnabled(true);
    QVERIFY(polling()); // idle: no device, so its ticks do nothing
}

// A listed file gone from disk: the file is dropped and no job reaches the worker.
void RunTest::startWithVanishedFileDoesNotRun()
{
    addFile("gone.bin", pattern(64, 5), "0");
    ui()->connectPushButton->click();
    QVERIFY(QFile::remove(dir.filePath("gone.bin")));
    vprobe::VirtualProbe::instance().clearTrace();
    QSignalSpy jobs(w, &MainWindow::downloadOperate);
    ModalDriver none;
    ui()->startPushButton->click();
    QVERIFY(none.seen().isEmpty());
    QCOMPARE(jobs.count(), 0);
    QCOMPARE(job()->fileCount, 0);
    QVERIFY(vprobe::VirtualProbe::instance().commandsWritten().empty());
    verifyLockSetEnabled(true);
    QVERIFY(polling());
}

void RunTest::resultMessages_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("message");

    QTest::newRow("0 leaves the bar") << 0 << 42 << blue("烧写成功！");
    QTest::newRow("1") << 1 << 0 << red("未连接!");
    QTest::newRow("2") << 2 << 0 << checkConnection;
    QTest::newRow("3") << 3 << 0 << red("芯片识别错误！");
    QTest::newRow("4") << 4 << 0 << red("没有文件或滚码！");
    QTest::newRow("5 fills the bar") << 5 << 100 << erased;
    QTest::newRow("7") << 7 << 0 << red("擦除错误！");
    QTest::newRow("8") << 8 << 0 << red("烧写错误！");
    QTest::newRow("9") << 9 << 0 << red("滚码错误！");
    QTest::newRow("10") << 10 << 0 << red("芯片读保护，请选择全擦除！");
    QTest::newRow("11") << 11 << 0 << red("芯片从LDROM启动，LDROM的bin文件超出8KB！");
    QTest::newRow("12") << 12 << 0 << red("芯片从APROM启动，LDROM的bin文件超出8KB！");
    QTest::newRow("13") << 13 << 0 << red("芯片探测错误！");
    QTest::newRow("14") << 14 << 0 << red("超过7个烧录文件时请选择扇区擦除！");
    QTest::newRow("15") << 15 << 0 << red("其他错误！");
    QTest::newRow("-1") << -1 << 0 << red("其他错误！");
    QTest::newRow("large") << 0x7FFFFFFF << 0 << red("其他错误！");
}

void RunTest::resultMessages()
{
    QFETCH(int, code);
    QFETCH(int, bar);
    QFETCH(QString, message);

    w->handleProgressBarSet(42);
    MainWindowTestAccess::setLockSetEnabled(*w, false);
    ModalDriver driver;
    driver.answerMessageBox();
    w->handleResults(code);
    QVERIFY(driver.waitForAll());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen()[0].title, QString("信息"));
    QCOMPARE(driver.seen()[0].text, message);
    QCOMPARE(ui()->progressBar->value(), bar);
    verifyLockSetEnabled(true);
    QVERIFY(polling());
}

void RunTest::progressAboveHundredShowsHundred()
{
    DebugLog log;
    QList<int> shown;
    for (int value : {50, 120, 100}) {
        w->handleProgressBarSet(value);
        shown << ui()->progressBar->value();
    }
    QCOMPARE(shown, QList<int>({50, 100, 100}));
    QCOMPARE(log.count("handleProgressBarSet"), 3);
}

// The probe asks for a reconnect and is gone when the window reconnects: the repeated Start runs
// without a connection and reports code 1.
void RunTest::reconnectRequestThenProbeGone()
{
    ui()->programCheckBox->click(); // erase only: no files needed
    ui()->connectPushButton->click();
    QCOMPARE(job()->connected, 1);
    queueReconnectRequest();
    // Unplug in the worker thread as the result is emitted, before the window can reconnect.
    Worker *worker = MainWindowTestAccess::worker(*w);
    QVERIFY(QObject::disconnect(worker, &Worker::resultReady, w, &MainWindow::handleResults));
    connect(
        worker, &Worker::resultReady, worker,
        [](int code) {
            if (code == 6)
                vprobe::VirtualProbe::instance().unplugNow();
        },
        Qt::DirectConnection);
    connect(worker, &Worker::resultReady, w, &MainWindow::handleResults);
    vprobe::VirtualProbe::instance().clearTrace();

    DebugLog log;
    QList<SeenModal> seen;
    startAndAnswer(1, seen);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].text, red("未连接!"));
    QCOMPARE(chipDetects(), 1);
    QCOMPARE(log.count(startLine), 2);
    QCOMPARE(log.count(" unconnected to USB"), 1);
    QCOMPARE(log.count(" 未找到烧录器 "), 1);
    QCOMPARE(job()->connected, 0);
    QCOMPARE(ui()->connectPushButton->text(), QString("未连接"));
    QCOMPARE(ui()->firmwareValueLabel->text(), QString());
    QCOMPARE(ui()->progressBar->value(), 0);
    verifyLockSetEnabled(true);
    QVERIFY(polling());
}

void RunTest::reconnectRequestsAreBounded_data()
{
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("runs");
    QTest::addColumn<QString>("message");

    QTest::newRow("one request, then erased") << 1 << 2 << erased;
    QTest::newRow("three requests, then erased") << 3 << 4 << erased;
    QTest::newRow("four requests: given up") << 4 << 4 << checkConnection;
    QTest::newRow("endless requests: given up") << 20 << 4 << checkConnection;
}

// Erase-only jobs keep each run short; every run is one chip detect on the wire.
void RunTest::reconnectRequestsAreBounded()
{
    QFETCH(int, requests);
    QFETCH(int, runs);
    QFETCH(QString, message);

    ui()->programCheckBox->click();
    ui()->connectPushButton->click();
    for (int i = 0; i < requests; ++i)
        queueReconnectRequest();
    vprobe::VirtualProbe::instance().clearTrace();
    DebugLog log;

    QList<SeenModal> seen;
    startAndAnswer(1, seen);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].text, message);
    QCOMPARE(chipDetects(), runs);
    QCOMPARE(log.count(startLine), runs);
    QCOMPARE(log.count(" connect to USB"), runs - 1);
    QCOMPARE(job()->connected, 1);
    QCOMPARE(ui()->progressBar->value(), message == erased ? 100 : 0);
    verifyLockSetEnabled(true);
    QVERIFY(polling());
}

// Giving up ends the chain: the user's next Start gets the full number of restarts again.
void RunTest::boundStartsAfreshForTheNextStart()
{
    ui()->programCheckBox->click();
    ui()->connectPushButton->click();
    for (int i = 0; i < 4; ++i)
        queueReconnectRequest();
    QList<SeenModal> seen;
    startAndAnswer(1, seen);
    QCOMPARE(seen.value(0).text, checkConnection);

    for (int i = 0; i < 3; ++i)
        queueReconnectRequest();
    vprobe::VirtualProbe::instance().clearTrace();
    startAndAnswer(1, seen);
    QCOMPARE(seen.value(0).text, erased);
    QCOMPARE(chipDetects(), 4);
}

// 工程 › 自动烧录 through two boards: no box between them, the status bar and the tally move, a
// board left in place is not run again, and the user's own change of an option stops the line.
void RunTest::autoModeProgramsEachAttachedBoardOnce()
{
    const QByteArray image = pattern(3000, 5);
    addFile("a.bin", image, "0");
    ui()->connectPushButton->click();
    auto &probe = vprobe::VirtualProbe::instance();
    probe.setChipAttached(false);
    auto *action = w->findChild<QAction *>("autoAction");
    QVERIFY(action && action->isCheckable());
    action->trigger();
    QCOMPARE(ui()->statusBar->currentMessage(), QString("自动烧录：等待芯片"));
    auto runs = [&probe] {
        const auto commands = probe.commandsWritten();
        return int(std::count(commands.begin(), commands.end(), uint8_t(0x95)));
    };
    // Each of the line's polls is a chip detect: two of them with no board start nothing.
    auto twoPolls = [] {
        const int seen = chipDetects() + 2;
        return QTest::qWaitFor([seen] { return chipDetects() >= seen; }, 10000);
    };
    QVERIFY(twoPolls());
    QCOMPARE(runs(), 0);
    const QString done = QStringLiteral("自动烧录：烧写成功！ 请取下芯片");
    for (int board = 1; board <= 2; ++board) {
        probe.setChipAttached(true);
        QTRY_COMPARE_WITH_TIMEOUT(ui()->statusBar->currentMessage(), done, 10000);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(probe.readFlash(0, 3000), bytesOf(image));
        QVERIFY(twoPolls()); // with the board still attached
        QCOMPARE(runs(), board);
        verifyLockSetEnabled(true);
        probe.setChipAttached(false);
        QTRY_COMPARE(ui()->statusBar->currentMessage(), QString("自动烧录：等待芯片"));
    }
    QVERIFY(MainWindowTestAccess::tallyLabel(*w)->text().startsWith("通过 2  失败 0"));

    ui()->verifyCheckBox->click();
    QVERIFY(!action->isChecked());
    probe.setChipAttached(true);
    QTest::qWait(700);
    QCOMPARE(runs(), 2);
    action->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(ui()->statusBar->currentMessage(), done, 10000);
    ui()->connectPushButton->click();
    QVERIFY(!action->isChecked());
}

QTEST_MAIN(RunTest)
#include "tst_run.moc"
