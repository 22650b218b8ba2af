// The connect button and the polling tick against the virtual probe: accepted and refused
// firmware, a probe pulled out while connected, late ticks, quick double clicks, the QD52 re-check.
#include "support/mainwindowaccess.h"
#include "support/modaldriver.h"

#include "download.h"
#include "usbconnectthread.h"
#include "virtualprobe/virtualprobe.h"

#include <QMutex>
#include <QSignalSpy>
#include <QTest>

using Access = MainWindowTestAccess;
using vprobe::VirtualProbe;

namespace {

QStringList debugLines;
QMutex debugLinesMutex; // the polling thread writes its lines too
void collectDebug(QtMsgType, const QMessageLogContext &, const QString &text)
{
    QMutexLocker lock(&debugLinesMutex);
    debugLines << text;
}

void setProbeId(uint32_t probeId)
{
    vprobe::ProbeIdentity identity = VirtualProbe::instance().identity();
    identity.probeId = probeId;
    VirtualProbe::instance().setIdentity(identity);
}

int manufacturerRequests()
{
    int n = 0;
    for (const auto &entry : VirtualProbe::instance().trace())
        n += entry.kind == vprobe::TraceEntry::Kind::Manufacturer;
    return n;
}

const QString disconnectedStyle = "color:rgb(88, 87, 86)";
const QString connectedStyle = "color:rgb(105, 89, 205)";

} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerDownloadMetaType(); }
    void init()
    {
        VirtualProbe::instance().reset();
        debugLines.clear();
        previous = qInstallMessageHandler(collectDebug);
    }
    void cleanup() { qInstallMessageHandler(previous); }

    void acceptedProbeConnectsAndPolls();
    void secondClickCloses();
    void refusedFirmware_data();
    void refusedFirmware();
    void missingProbeShowsNoMessage();
    void lostProbeNoticedByTick_data();
    void lostProbeNoticedByTick();
    void tickAfterStopDoesNothing();
    void quickDoubleClickStopsPollingFirst();
    void qd52RecheckedAfterConnect_data();
    void qd52RecheckedAfterConnect();
    void stopRightAfterStartIsNotLost();
    void threadDebugLines();

private:
    QtMessageHandler previous = nullptr;
};

void ConnectionTest::acceptedProbeConnectsAndPolls()
{
    MainWindow w;
    Ui::MainWindow *ui = Access::ui(w);
    ui->progressBar->setValue(40);
    Access::clickConnect(w);
    QCOMPARE(ui->connectPushButton->text(), QString("已连接"));
    QCOMPARE(ui->connectPushButton->styleSheet(), connectedStyle);
    QCOMPARE(ui->firmwareValueLabel->text(), QString("1.97"));
    QCOMPARE(ui->progressBar->value(), 0);
    QVERIFY(Access::usbThread(w)->isRunning());
    QVERIFY(debugLines.contains(" connect to USB"));
    // A healthy probe survives ticks: each asks for the manufacturer string and finds "ARM".
    QTRY_VERIFY_WITH_TIMEOUT(manufacturerRequests() >= 3, 5000);
    QCOMPARE(ui->connectPushButton->text(), QString("已连接"));
}

void ConnectionTest::secondClickCloses()
{
    MainWindow w;
    Ui::MainWindow *ui = Access::ui(w);
    Access::clickConnect(w);
    ui->progressBar->setValue(40);
    Access::clickConnect(w);
    QCOMPARE(ui->connectPushButton->text(), QString("未连接"));
    QCOMPARE(ui->connectPushButton->styleSheet(), disconnectedStyle);
    QCOMPARE(ui->firmwareValueLabel->text(), QString());
    QCOMPARE(ui->progressBar->value(), 0);
    QVERIFY(!Access::usbThread(w)->isRunning());
    QVERIFY(debugLines.contains(" unconnected to USB"));
    // The version word stays from the last identification.
    QCOMPARE(Access::download(w)->probeId, 0x6CFF0197u);
}

void ConnectionTest::refusedFirmware_data()
{
    QTest::addColumn<uint32_t>("probeId");
    QTest::addColumn<QString>("message");
    QTest::newRow("2.00 with marker") << 0x6CFF0200u
                                      << "<font color='#DD6622' size='+2' face='新宋体'><b> "
                                         "固件版本2.00，与客户端不匹配！ </b></font>";
    QTest::newRow("1.8F with marker") << 0x6CFF018Fu
                                      << "<font color='#DD6622' size='+2' face='新宋体'><b> "
                                         "固件版本1.815，与客户端不匹配！ </b></font>";
    QTest::newRow("no marker") << 0x00000140u
                               << "<font color='#DD6622' size='+2' face='新宋体'><b> "
                                  "固件版本小于1.40，与客户端不匹配！ </b></font>";
}

void ConnectionTest::refusedFirmware()
{
    QFETCH(uint32_t, probeId);
    QFETCH(QString, message);
    setProbeId(probeId);
    MainWindow w;
    Ui::MainWindow *ui = Access::ui(w);
    ui->progressBar->setValue(40);
    ModalDriver driver;
    driver.answerMessageBox();
    Access::clickConnect(w);
    QVERIFY(driver.waitForAll());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen()[0].title, QString("信息"));
    QCOMPARE(driver.seen()[0].text, message);
    QCOMPARE(ui->connectPushButton->text(), QString("未连接"));
    QCOMPARE(ui->firmwareValueLabel->text(), QString());
    QCOMPARE(ui->progressBar->value(), 0);
    QCOMPARE(Access::download(w)->connected, 0);
    QVERIFY(!Access::usbThread(w)->isRunning());
    QVERIFY(debugLines.contains(" 固件版本不匹配 "));
}

void ConnectionTest::missingProbeShowsNoMessage()
{
    VirtualProbe::instance().setPresent(false);
    MainWindow w;
    ModalDriver driver(500);
    Access::ui(w)->firmwareValueLabel->setText("1.97");
    Access::clickConnect(w);
    QTest::qWait(50);
    QCOMPARE(driver.failures(), 0); // no box appeared
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("未连接"));
    QCOMPARE(Access::ui(w)->firmwareValueLabel->text(), QString());
    QVERIFY(!Access::usbThread(w)->isRunning());
    QVERIFY(debugLines.contains(" 未找到烧录器 "));
}

void ConnectionTest::lostProbeNoticedByTick_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("unplugged") << "unplug";
    QTest::newRow("manufacturer only begins with ARM") << "ARMx";
    QTest::newRow("manufacturer request fails") << "fail";
}

void ConnectionTest::lostProbeNoticedByTick()
{
    QFETCH(QString, how);
    MainWindow w;
    Ui::MainWindow *ui = Access::ui(w);
    Access::clickConnect(w);
    QCOMPARE(ui->firmwareValueLabel->text(), QString("1.97"));
    vprobe::ProbeIdentity identity = VirtualProbe::instance().identity();
    if (how == "unplug") {
        VirtualProbe::instance().unplugNow();
    } else {
        if (how == "ARMx")
            identity.manufacturer = L"ARMx";
        else
            identity.manufacturerResult = -1;
        VirtualProbe::instance().setIdentity(identity);
    }
    QTRY_COMPARE_WITH_TIMEOUT(ui->connectPushButton->text(), QString("未连接"), 5000);
    QCOMPARE(ui->connectPushButton->styleSheet(), disconnectedStyle);
    QCOMPARE(ui->firmwareValueLabel->text(), QString());
    QCOMPARE(Access::download(w)->connected, 0);
    QVERIFY(Access::download(w)->device == nullptr);
    QVERIFY(!Access::usbThread(w)->isRunning());
    if (how == "unplug") {
        // Plugging back in changes nothing until the user clicks.
        VirtualProbe::instance().setPresent(true);
        QTest::qWait(700);
        QCOMPARE(ui->connectPushButton->text(), QString("未连接"));
    }
}

void ConnectionTest::tickAfterStopDoesNothing()
{
    MainWindow w;
    Access::clickConnect(w);
    Access::stopPolling(w);
    VirtualProbe::instance().clearTrace();
    VirtualProbe::instance().unplugNow();
    w.usbConnectTickSlot(); // a tick queued before the stop
    QCOMPARE(manufacturerRequests(), 0);
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("已连接"));
    QCOMPARE(Access::download(w)->connected, 1);

    // Once closed there is no device to ask.
    VirtualProbe::instance().setPresent(true);
    Access::clickConnect(w);
    QCOMPARE(Access::download(w)->connected, 0);
    Access::usbThread(w)->start();
    w.usbConnectTickSlot();
    QCOMPARE(manufacturerRequests(), 0);
    Access::stopPolling(w);
}

void ConnectionTest::quickDoubleClickStopsPollingFirst()
{
    MainWindow w;
    Access::clickConnect(w);
    Access::clickConnect(w);
    QVERIFY(!Access::usbThread(w)->isRunning());
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("未连接"));
    QVERIFY(debugLines.indexOf("stop") < debugLines.indexOf(" unconnected to USB"));
    // And it can be connected again.
    Access::clickConnect(w);
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("已连接"));
    QVERIFY(Access::usbThread(w)->isRunning());
}

void ConnectionTest::qd52RecheckedAfterConnect_data()
{
    QTest::addColumn<uint32_t>("probeId");
    QTest::addColumn<bool>("refused");
    QTest::newRow("1.94") << 0x6CFF0194u << true;
    QTest::newRow("1.95") << 0x6CFF0195u << false;
}

void ConnectionTest::qd52RecheckedAfterConnect()
{
    QFETCH(uint32_t, probeId);
    QFETCH(bool, refused);
    setProbeId(probeId);
    MainWindow w;
    Access::selectChip(w, 5); // QD52, allowed while no probe is known
    QCOMPARE(Access::download(w)->chip->model, 4);
    ModalDriver driver(refused ? 10000 : 300);
    if (refused)
        driver.answerMessageBox();
    Access::clickConnect(w);
    QCOMPARE(driver.waitForAll(), true);
    QCOMPARE(Access::download(w)->chip->model, refused ? 0 : 4);
    QCOMPARE(driver.seen().size(), refused ? 1 : 0);
    if (refused)
        QCOMPARE(driver.seen()[0].text,
                 QString("<font color='#6688DD' size='+2' face='新宋体'><b> "
                         "固件版本小于1.95，不支持烧录QD52! </b></font>"));
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("已连接"));
}

void ConnectionTest::stopRightAfterStartIsNotLost()
{
    // A stop that lands before the thread body begins must still end it, or wait() never returns.
    for (int i = 0; i < 20; ++i) {
        USBConnectThread thread;
        thread.start();
        thread.stop();
        thread.quit();
        QVERIFY(thread.wait(3000));
        // And the thread can be started again afterwards.
        QSignalSpy ticks(&thread, &USBConnectThread::usbConnectTickSignal);
        thread.start();
        QTRY_VERIFY(ticks.count() >= 1);
        thread.stop();
        QVERIFY(thread.wait(3000));
    }
}

void ConnectionTest::threadDebugLines()
{
    {
        USBConnectThread thread;
        QSignalSpy ticks(&thread, &USBConnectThread::usbConnectTickSignal);
        thread.start();
        QTRY_VERIFY(ticks.count() >= 1);
        thread.stop();
        QVERIFY(thread.wait(3000));
    }
    // Bare words, no quotes: exactly these lines, in this order.
    QCOMPARE(debugLines.mid(0, 3), QStringList({"USBConnectThread", "run", "tick"}));
    QCOMPARE(debugLines.count("stop"), 1);
    QCOMPARE(debugLines.count("tick"), debugLines.size() - 3);
}

QTEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
