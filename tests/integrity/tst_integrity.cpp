// Nothing lost: a failed or interrupted run, wherever it stops, leaves the file list,
// ./Setting.ini, the offline options and the window's job record as they were; a listed file turned
// invalid drops that file alone.
#include "integrity/snapshot.h"

#include "files/guitesthelpers.h"
#include "images/hexrecords.h"
#include "options/windowtesthelpers.h"
#include "support/modaldriver.h"

#include "probe/reports.h"
#include "virtualprobe.h"

#include <QTemporaryDir>
#include <QtTest>

using integrity::Snapshot;
using vprobe::VirtualProbe;

namespace {

enum class Fault {
    UnplugAfter, // the probe vanishes after the n-th report of the run
    PulledBeforeStart, // gone, while the window still shows it connected
    AbsentAtStart, // not connected at all
    WithholdBlock, // the first 0x98 reply never comes
    WrongRollingEcho, // the 0x9A reply echoes another command
    NoDevice, // the chip detect reads device id 0
    DetectionError, // the chip check reports a detection error
    EndlessReconnect, // every chip detect asks for a reconnect
};

const QString checkConnection = optest::red("请确认烧录器和待编程芯片正确连接！");

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + seed) & 0xFF);
    return bytes;
}

// Ten 16-byte records, a 0x160-byte hole, ten more.
QByteArray hexWithGap()
{
    std::string text = hextest::linear(0);
    for (int half = 0; half < 2; ++half) {
        for (int r = 0; r < 10; ++r) {
            const QByteArray row = pattern(16, 40 * half + r);
            text += hextest::data(uint16_t(half * 0x200 + r * 16),
                                  std::vector<uint8_t>(row.begin(), row.end()));
        }
    }
    return QByteArray::fromStdString(text + hextest::endOfFile);
}

int written(uint8_t command)
{
    const auto commands = VirtualProbe::instance().commandsWritten();
    return int(std::count(commands.begin(), commands.end(), command));
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class IntegrityTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void failedRunChangesNothing_data();
    void failedRunChangesNothing();
    void invalidHexDropsOnlyThatFile();

private:
    Ui::MainWindow *ui() { return MainWindowTestAccess::ui(*w); }
    Download *job() { return MainWindowTestAccess::download(*w); }
    void addFile(const QString &name, const QByteArray &contents, const QString &addressText);
    void setOptions();
    void confirmOffline();
    void plugInAfresh();
    void startAndAnswer(const QString &title, const QString &text);

    QTemporaryDir work;
    MainWindow *w = nullptr;
    Snapshot before;
};

void IntegrityTest::initTestCase()
{
    registerDownloadMetaType();
    QVERIFY(work.isValid());
    QVERIFY(QDir::setCurrent(work.path())); // ./Setting.ini is this test's own
    VirtualProbe::instance().reset();
    w = new MainWindow;
    w->show();
    plugInAfresh();

    addFile("app.bin", pattern(2000, 1), "0");
    addFile("table.hex", hexWithGap(), "1000");
    addFile("tail.bin", pattern(700, 2), "2000");
    setOptions();
    confirmOffline();

    // The job is the one meant, not a record still at its defaults.
    QCOMPARE(job()->fileCount, 3);
    QCOMPARE(job()->imageLength[1], 0x2A0u);
    QCOMPARE(integrity::tableRow(*ui()->fileTableWidget, 1),
             QString("'table.hex' '0x1000' '0x2A0'"));
    const QStringList record = integrity::recordLines(*job());
    QCOMPARE(record[1], QString("erase 1 program 1 verify 1 reset 0 protect 1"));
    QCOMPARE(record[2], QString("rolling value 00001234 address 00003F00 step 00000001"));
    QCOMPARE(record[3], QString("watchdog A8 settingsFlag 1"));
    QCOMPARE(record[4], QString("offline 1 count 1/00000019 interval 1/800 machine 1 force 0"));
    before = Snapshot::take(*w);
    QVERIFY(before.settings.contains("tail.bin"));
}

void IntegrityTest::cleanupTestCase()
{
    delete w;
    w = nullptr;
}

void IntegrityTest::addFile(const QString &name, const QByteArray &contents,
                            const QString &addressText)
{
    const QString path = work.filePath(name);
    QVERIFY(guitest::writeFile(path, contents));
    ModalDriver driver;
    driver.chooseFile(path).typeAndClick("addressLineEdit", addressText, "okPushButton");
    ui()->fileAddPushButton->click();
    QVERIFY(driver.waitForAll());
}

// Sector erase, read protection 1, watchdog on, rolling code 0x1234 at 0x3F00 step 1.
void IntegrityTest::setOptions()
{
    ui()->sectorEraseRadioButton->click();
    ModalDriver driver;
    driver.answerMessageBox().answerMessageBox("&Yes");
    ui()->readProtect1RadioButton->click();
    optest::clickGroupBox(ui()->optionsGroupBox);
    QVERIFY(driver.waitForAll());
    ui()->wdtEnableRadioButton->click();
    optest::clickGroupBox(ui()->snGroupBox);
    const QList<QPair<QLineEdit *, QString>> edits = {{ui()->snNumLineEdit, "1234"},
                                                      {ui()->snAddrLineEdit, "3F00"},
                                                      {ui()->snStepsLineEdit, "1"}};
    for (const auto &e : edits) {
        e.first->clear();
        QTest::keyClicks(e.first, e.second);
    }
}

void IntegrityTest::confirmOffline()
{
    ModalDriver driver;
    driver.then([](QWidget *modal, SeenModal &) {
        auto *d = qobject_cast<OfflineDlg *>(modal);
        QVERIFY(d);
        d->OfflineCB->click();
        d->maxProgramCountCB->click();
        d->maxProgramCountLineEdit->setText("25");
        d->autoProgramCB->click();
        d->autoProgramTimeLineEdit->setText("800");
        d->machineCB->click();
        d->okPushButton->click();
    });
    w->offlineOptionsActionSlot();
    QVERIFY(driver.waitForAll());
}

// A probe fresh from the factory, plugged in and connected; a dead handle is closed first.
void IntegrityTest::plugInAfresh()
{
    if (job()->connected)
        ui()->connectPushButton->click();
    VirtualProbe::instance().reset();
    ui()->connectPushButton->click();
    QCOMPARE(job()->connected, 1);
}

// Start, then the one result box; the wait ends once the window is given back to the user.
void IntegrityTest::startAndAnswer(const QString &title, const QString &text)
{
    ModalDriver driver(30000);
    driver.answerMessageBox();
    ui()->startPushButton->click();
    QVERIFY(driver.waitForAll());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen()[0].title, title);
    QCOMPARE(driver.seen()[0].text, text);
    QTRY_VERIFY(ui()->startPushButton->isEnabled());
}

void IntegrityTest::failedRunChangesNothing_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("reports"); // UnplugAfter: the report the probe vanishes at
    QTest::addColumn<int>("lastCommand"); // the last command written, -1: none at all
    QTest::addColumn<int>("lastCount"); // how often the run wrote that command
    QTest::addColumn<QString>("message");

    // Reports of the run: 0x94 0x95 0x9E 0x96, per image 0x97 blocks 0x99, then 0x9A 0x9F.
    int blocks[3];
    for (int i = 0; i < 3; ++i)
        blocks[i] = int(probe::blockCount(job()->imageLength[i]));
    const int imageStart1 = 4 + blocks[0] + 2 + 1;
    const int rolling = 4 + blocks[0] + blocks[1] + blocks[2] + 6 + 1;

    QTest::newRow("unplugged at the settings")
        << Fault::UnplugAfter << 3 << 0x9E << 1 << checkConnection;
    QTest::newRow("unplugged at the erase")
        << Fault::UnplugAfter << 4 << 0x96 << 1 << optest::red("擦除错误！");
    QTest::newRow("unplugged mid-image")
        << Fault::UnplugAfter << imageStart1 + blocks[1] / 2 << 0x98 << blocks[0] + blocks[1] / 2
        << optest::red("烧写错误！");
    QTest::newRow("unplugged at the rolling code")
        << Fault::UnplugAfter << rolling << 0x9A << 1 << optest::red("滚码错误！");
    QTest::newRow("unplugged at the finish")
        << Fault::UnplugAfter << rolling + 1 << 0x9F << 1 << optest::red("烧写错误！");
    QTest::newRow("pulled out before Start")
        << Fault::PulledBeforeStart << 0 << 0x94 << 1 << checkConnection;
    QTest::newRow("absent at Start")
        << Fault::AbsentAtStart << 0 << -1 << 0 << optest::red("未连接!");
    QTest::newRow("0x98 reply withheld")
        << Fault::WithholdBlock << 0 << 0x98 << 1 << optest::red("烧写错误！");
    QTest::newRow("wrong echo on 0x9A")
        << Fault::WrongRollingEcho << 0 << 0x9A << 1 << optest::red("滚码错误！");
    QTest::newRow("chip detect reads no device")
        << Fault::NoDevice << 0 << 0x94 << 1 << checkConnection;
    QTest::newRow("chip detection error")
        << Fault::DetectionError << 0 << 0x95 << 1 << optest::red("芯片探测错误！");
    QTest::newRow("reconnect asked for ever: code 6 bound")
        << Fault::EndlessReconnect << 0 << 0x94 << 4 << checkConnection;
}

void IntegrityTest::failedRunChangesNothing()
{
    QFETCH(Fault, fault);
    QFETCH(int, reports);
    QFETCH(int, lastCommand);
    QFETCH(int, lastCount);
    QFETCH(QString, message);

    plugInAfresh();
    VirtualProbe &probe = VirtualProbe::instance();
    vprobe::ChipState chip;
    switch (fault) {
    case Fault::UnplugAfter:
        probe.unplugAfterReports(reports);
        break;
    case Fault::PulledBeforeStart:
        probe.unplugNow();
        break;
    case Fault::AbsentAtStart:
        ui()->connectPushButton->click();
        QCOMPARE(job()->connected, 0);
        probe.setPresent(false);
        break;
    case Fault::WithholdBlock:
        probe.failNext(0x98, vprobe::ReplyFault::Withhold, -1);
        break;
    case Fault::WrongRollingEcho:
        probe.failNext(0x9A, vprobe::ReplyFault::WrongEcho);
        break;
    case Fault::NoDevice:
        chip.deviceId = 0;
        probe.setChip(chip);
        break;
    case Fault::DetectionError:
        chip.detectionError = true;
        probe.setChip(chip);
        break;
    case Fault::EndlessReconnect: {
        // A reply that is not the accepted echo, then one starting with 5, per chip detect.
        std::vector<uint8_t> notAccepted(64, 0);
        notAccepted[0] = 0x94;
        std::vector<uint8_t> five(64, 0);
        five[0] = 5;
        for (int i = 0; i < 20; ++i) {
            probe.queueReply(0x94, notAccepted);
            probe.queueReply(0x94, five);
        }
        break;
    }
    }
    probe.clearTrace();

    startAndAnswer(QStringLiteral("信息"), message);

    const auto commands = probe.commandsWritten();
    if (lastCommand < 0) {
        QVERIFY(commands.empty());
    } else {
        QVERIFY(!commands.empty());
        QCOMPARE(int(commands.back()), lastCommand);
        QCOMPARE(written(uint8_t(lastCommand)), lastCount);
    }
    QCOMPARE(Snapshot::take(*w).lines(), before.lines());
}

// Re-read before Start and found invalid: that file leaves the list, the run does not start, the
// files behind it move up unchanged and nothing else moves.
void IntegrityTest::invalidHexDropsOnlyThatFile()
{
    plugInAfresh();
    const QString hexPath = work.filePath("table.hex");
    QVERIFY(guitest::writeFile(hexPath, ":10000000NOTHEX\n"));
    {
        QFile f(hexPath); // a later time for certain: the list compares times, not contents
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(120),
                              QFileDevice::FileModificationTime));
    }
    QSignalSpy jobs(w, &MainWindow::downloadOperate);
    VirtualProbe::instance().clearTrace();

    startAndAnswer(QStringLiteral("警告"), QStringLiteral("文件解析错误"));

    QCOMPARE(jobs.count(), 0);
    QVERIFY(VirtualProbe::instance().commandsWritten().empty());
    Snapshot expected = before;
    expected.fileCount = 2;
    expected.fileSlots.removeAt(1);
    expected.fileSlots << before.fileSlots.last();
    expected.table.removeAt(1);
    expected.table << before.table.last();
    Snapshot now = Snapshot::take(*w);
    for (Snapshot *s : {&expected, &now}) {
        QStringList &disk = s->disk;
        disk.erase(std::remove_if(disk.begin(), disk.end(),
                                  [](const QString &l) { return l.startsWith("table.hex "); }),
                   disk.end());
    }
    QCOMPARE(now.disk.size(), 3); // app.bin, Setting.ini, tail.bin
    QCOMPARE(now.lines(), expected.lines());
}

QTEST_MAIN(IntegrityTest)
#include "tst_integrity.moc"
