// The window's SWD path on the linked virtual CMSIS-DAP probe, offscreen: the hands-free line with
// boards put in and taken out, a probe pulled out, and non-default algorithms chosen in the picker.
#include "support/inprocessdap.h"
#include "support/mainwindowaccess.h"
#include "support/modaldriver.h"

#include "cmsisdapprobe.h"
#include "job/jobfile.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using Access = MainWindowTestAccess;
using vprobe::CmsisDapProbe;
using vprobe::SimulatedPart;

namespace {

const QString kLost = QStringLiteral("CMSIS-DAP烧录器已拔出，已断开连接");
const QString kWaiting = QStringLiteral("自动烧录：等待芯片");

QByteArray pattern(int length, int seed)
{
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = char((i * 5 + seed * 17 + (i >> 7)) & 0xFF);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

CmsisDapProbe &probe()
{
    return CmsisDapProbe::instance();
}

QByteArray boardFlash(uint32_t offset, int length)
{
    vprobe::CmsisDapDevice &device = probe().device();
    const std::vector<uint8_t> &bank =
        device.qs64() ? device.qs64()->flash() : device.target().flash(TargetModel::Bank::Aprom);
    if (offset + size_t(length) > bank.size())
        return {};
    return QByteArray(reinterpret_cast<const char *>(bank.data()) + offset, length);
}

// The record's rows from the `from`-th on: "result status target message" each.
QStringList rowsFrom(int from)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "rows");
        db.setDatabaseName(qEnvironmentVariable("QUORVEL_RECORD"));
        QSqlQuery q(db);
        if (db.open() && q.exec("SELECT result, status, target, message FROM runs ORDER BY id"))
            while (q.next())
                rows << QString("%1 %2 %3 %4")
                            .arg(q.value(0).toString(), q.value(1).toString(),
                                 q.value(2).toString(), q.value(3).toString().simplified());
    }
    QSqlDatabase::removeDatabase("rows");
    return rows.mid(from);
}

// Waits until the line has polled `n` more times (each poll is one timer tick).
bool polls(QSignalSpy &ticks, int n)
{
    ticks.clear();
    while (ticks.count() < n)
        if (!ticks.wait(5000))
            return false;
    return true;
}

} // namespace

class SwdLineTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    void prepare(MainWindow &w, const QString &file, const QString &address);
    void pickDevice(MainWindow &w, const std::function<void(QWidget *)> &inPicker);

private slots:
    void initTestCase();
    void init();
    void lineProgramsEachBoardOnceAndArmsWhenItIsGone();
    void aProbePulledOutEndsTheRunAndTheConnection_data();
    void aProbePulledOutEndsTheRunAndTheConnection();
    void aTickedAlgorithmGoesIntoTheJobAndTheRun();
};

void SwdLineTest::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(useInProcessCmsisDap(path("data")));

    // The QS64 with its flash in two algorithms: the default one covers half of it, a second one
    // (the same routines) all of it, and a loader in a style this host cannot run.
    const QString pack = path("data/quorvel/packs/QS64W");
    QVERIFY(QDir().mkpath(pack + "/Flash"));
    const QString flm = QUORVEL_QS64_PACK "/Flash/QS64_Flash.FLM";
    QVERIFY(QFile::copy(flm, pack + "/Flash/QS64_Flash.FLM"));
    QVERIFY(QFile::copy(flm, pack + "/Flash/QS64_Whole.FLM"));
    QVERIFY(writeFile(pack + "/Quorvel.QS64W.pdsc", R"(<?xml version="1.0" encoding="UTF-8"?>
<package schemaVersion="1.7.7">
  <vendor>Quorvel</vendor>
  <name>QS64W</name>
  <releases><release version="0.1.0">Test pack</release></releases>
  <devices>
    <family Dfamily="QS6x" Dvendor="Quorvel">
      <processor Dcore="Cortex-M0" Dendian="Little-endian" Dclock="16000000"/>
      <memory name="FLASH" access="rx" start="0x08000000" size="0x00010000" default="1" startup="1"/>
      <memory name="SRAM" access="rwx" start="0x20000000" size="0x00002000" default="1"/>
      <algorithm name="Flash\QS64_Flash.FLM" start="0x08000000" size="0x00008000" RAMstart="0x20000000" RAMsize="0x00001000" default="1"/>
      <algorithm name="Flash\QS64_Whole.FLM" start="0x08000000" size="0x00010000" RAMstart="0x20000000" RAMsize="0x00001000" default="0"/>
      <algorithm name="Flash\QSPI.out" start="0x90000000" size="0x00100000" style="IAR" default="0"/>
      <device Dname="QS64"/>
    </family>
  </devices>
</package>
)"));
}

void SwdLineTest::init()
{
    probe().device().selectPart(SimulatedPart::Qb48);
    probe().setUsb(CmsisDapProbe::Usb::FsHid);
    probe().reset();
}

// The SWD path, one image, the probe connected.
void SwdLineTest::prepare(MainWindow &w, const QString &file, const QString &address)
{
    w.findChild<QAction *>("viaSwdAction")->trigger();
    ModalDriver driver;
    driver.chooseFile(file).typeAndClick("addressLineEdit", address, "okPushButton");
    Access::clickFileAdd(w);
    QVERIFY(driver.waitForAll());
    Access::clickConnect(w);
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("已连接"));
}

void SwdLineTest::pickDevice(MainWindow &w, const std::function<void(QWidget *)> &inPicker)
{
    ModalDriver driver;
    driver.then([&](QWidget *modal, SeenModal &) { inPicker(modal); });
    w.findChild<QAction *>("deviceAction")->trigger();
    QVERIFY(driver.waitForAll());
}

// Each board is programmed once: the line waits while it stays, counts "no target" answers in a
// row (a contact in between starts them again) and only then arms for the next one.
void SwdLineTest::lineProgramsEachBoardOnceAndArmsWhenItIsGone()
{
    const QByteArray image = pattern(3000, 1);
    QVERIFY(writeFile(path("line.bin"), image));
    MainWindow w;
    prepare(w, path("line.bin"), "0");
    QStatusBar *status = Access::ui(w)->statusBar;
    const int before = rowsFrom(0).size();
    probe().device().setTargetAttached(false);
    QSignalSpy ticks(Access::lineTimer(w), &QTimer::timeout);
    Access::autoAction(w)->trigger();
    QCOMPARE(status->currentMessage(), kWaiting);
    QVERIFY(polls(ticks, 2));
    QCOMPARE(rowsFrom(before), QStringList());

    const QString done =
        "自动烧录：烧写成功！ 擦除256个扇区，烧写6个，跳过0个（内容已相同） 请取下芯片";
    // The answers while the board is being taken out: 0 no target, 1 a contact.
    const QVector<QVector<int>> removals = {{0, 0, 1, 0, 0}, {0, 0}};
    for (int board = 1; board <= 2; ++board) {
        probe().device().setTargetAttached(true); // a blank board
        QTRY_COMPARE_WITH_TIMEOUT(status->currentMessage(), done, 30000);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(boardFlash(0, image.size()), image);
        QVERIFY(polls(ticks, 3)); // the board stays: no second run
        QCOMPARE(rowsFrom(before).size(), board);
        for (int answer : removals[board - 1]) {
            probe().device().setTargetAttached(answer == 1);
            QVERIFY(polls(ticks, 1));
            QCOMPARE(status->currentMessage(), done);
        }
        probe().device().setTargetAttached(false);
        QVERIFY(polls(ticks, 1));
        QCOMPARE(status->currentMessage(), kWaiting);
    }
    const QString passed = "0 passed QB48 烧写成功！ 擦除256个扇区，烧写6个，跳过0个（内容已相同）";
    QCOMPARE(rowsFrom(before), QStringList({passed, passed}));
    QVERIFY(Access::tallyLabel(w)->text().startsWith("通过 2  失败 0"));
    Access::ui(w)->connectPushButton->click();
    QVERIFY(!Access::autoAction(w)->isChecked());
}

void SwdLineTest::aProbePulledOutEndsTheRunAndTheConnection_data()
{
    QTest::addColumn<bool>("line");
    QTest::addColumn<int>("reports"); // after which the probe is gone
    QTest::addColumn<QString>("box"); // the result box; empty: none
    QTest::addColumn<QString>("row");
    const QString lostRun = "SWD错误1：probe disconnected (write failed)";
    QTest::newRow("idle") << false << 1 << ""
                          << "";
    QTest::newRow("idle, line waiting") << true << 1 << ""
                                        << "";
    QTest::newRow("mid-run") << false << 80 << lostRun << "41 failed QB48 " + lostRun;
    QTest::newRow("mid-run on the line") << true << 80 << ""
                                         << "41 failed QB48 " + lostRun;
}

// Pulled out while idle or mid-run: back to 未连接 with the reason in the status bar, the line
// off, a run in progress recorded as failed; and the probe can be connected again.
void SwdLineTest::aProbePulledOutEndsTheRunAndTheConnection()
{
    QFETCH(bool, line);
    QFETCH(int, reports);
    QFETCH(QString, box);
    QFETCH(QString, row);
    QVERIFY(writeFile(path("lost.bin"), pattern(16384, 2)));
    MainWindow w;
    prepare(w, path("lost.bin"), "0");
    const int before = rowsFrom(0).size();
    const bool midRun = !row.isEmpty();
    probe().device().setTargetAttached(midRun);
    probe().unplugAfterReports(reports);
    ModalDriver driver(60000);
    if (!box.isEmpty())
        driver.answerMessageBox();
    if (line)
        Access::autoAction(w)->trigger();
    else if (midRun)
        Access::clickStart(w);
    QTRY_COMPARE_WITH_TIMEOUT(Access::ui(w)->statusBar->currentMessage(), kLost, 30000);
    QVERIFY(driver.waitForAll());
    if (!box.isEmpty()) {
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(driver.seen()[0].text, box);
    }
    QTRY_VERIFY(Access::ui(w)->startPushButton->isEnabled());
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("未连接"));
    QCOMPARE(Access::ui(w)->firmwareValueLabel->text(), QString());
    QVERIFY(!Access::autoAction(w)->isChecked());
    QCOMPARE(rowsFrom(before), row.isEmpty() ? QStringList() : QStringList{row});

    probe().reset();
    Access::clickConnect(w);
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("已连接"));
}

// A non-default algorithm ticked in the picker shows in the window, is saved and loaded with the
// job, and is the one the run writes with: an image beyond the default one's range is refused
// without it and programs with it.
void SwdLineTest::aTickedAlgorithmGoesIntoTheJobAndTheRun()
{
    probe().device().selectPart(SimulatedPart::Qs64);
    const QByteArray image = pattern(0x1000, 3);
    QVERIFY(writeFile(path("whole.bin"), image));
    MainWindow w;
    w.findChild<QAction *>("viaSwdAction")->trigger();
    const struct
    {
        QString text;
        Qt::CheckState state;
        Qt::ItemFlags flags;
    } items[] = {
        {"QS64_Flash.FLM 0x08000000–0x08007FFF", Qt::Checked, Qt::ItemIsEnabled},
        {"QS64_Whole.FLM 0x08000000–0x0800FFFF", Qt::Unchecked,
         Qt::ItemIsEnabled | Qt::ItemIsUserCheckable},
        {"QSPI.out 0x90000000–0x900FFFFF", Qt::Unchecked, Qt::NoItemFlags},
    };
    auto choose = [&](bool tick, Qt::CheckState whole) {
        return [&, tick, whole](QWidget *modal) {
            auto *tree = modal->findChild<QTreeWidget *>("deviceTreeWidget");
            tree->setCurrentItem(tree->findItems("QS64", Qt::MatchRecursive).value(0));
            auto *list = modal->findChild<QListWidget *>("algorithmListWidget");
            QVERIFY(list);
            QCOMPARE(list->count(), 3);
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(list->item(i)->text(), items[i].text);
                QCOMPARE(list->item(i)->flags(), items[i].flags);
                QCOMPARE(list->item(i)->checkState(), i == 1 ? whole : items[i].state);
            }
            list->item(1)->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
            modal->findChild<QPushButton *>("okPushButton")->click();
        };
    };
    pickDevice(w, choose(false, Qt::Unchecked));
    QCOMPARE(w.findChild<QLabel *>("deviceLabel")->text(), QString("QS64"));
    prepare(w, path("whole.bin"), "8007800");
    {
        ModalDriver driver;
        driver.answerMessageBox();
        Access::clickStart(w);
        QVERIFY(driver.waitForAll());
        QCOMPARE(driver.seen().value(0).text,
                 QString("SWD错误13：whole.bin (4096 bytes at 0x08007800) is outside QS64_Flash"));
    }
    QCOMPARE(boardFlash(0x7800, 0x1000), QByteArray(0x1000, '\xFF'));

    pickDevice(w, choose(true, Qt::Unchecked));
    QCOMPARE(w.findChild<QLabel *>("deviceLabel")->text(), QString("QS64 + QS64_Whole.FLM"));
    QCOMPARE(w.windowTitle(), QString("Quorvel V1.97f — CMSIS-DAP/SWD：QS64 + QS64_Whole.FLM"));
    {
        ModalDriver driver(60000);
        driver.answerMessageBox();
        Access::clickStart(w);
        QVERIFY(driver.waitForAll());
        QCOMPARE(driver.seen().value(0).text,
                 QString("<font color='#6688DD' size='+2' face='新宋体'><b> 烧写成功！ </b></font>"
                         "<br>擦除11个扇区，烧写2个，跳过0个（内容已相同）"));
    }
    QCOMPARE(boardFlash(0x7800, 0x1000), image);
    {
        ModalDriver driver;
        driver.chooseFile(path("whole.json"));
        Access::saveJobAction(w)->trigger();
        QVERIFY(driver.waitForAll());
    }
    job::JobSetup saved;
    QString error;
    QVERIFY2(job::readJobFile(path("whole.json"), saved, error), qPrintable(error));
    QCOMPARE(saved.targetDevice, QString("QS64"));
    QCOMPARE(saved.targetAlgorithms, QStringList{"QS64_Whole.FLM"});

    // Loaded into another window: shown, ticked in the picker, and used by the run. The first
    // window lets the probe go first, so only one of them talks to it.
    Access::clickConnect(w);
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("未连接"));
    probe().reset();
    MainWindow other;
    {
        ModalDriver driver;
        driver.chooseFile(path("whole.json"));
        Access::openJobAction(other)->trigger();
        QVERIFY(driver.waitForAll());
    }
    QCOMPARE(other.findChild<QLabel *>("deviceLabel")->text(), QString("QS64 + QS64_Whole.FLM"));
    pickDevice(other, choose(true, Qt::Checked));
    Access::clickConnect(other);
    QCOMPARE(Access::ui(other)->connectPushButton->text(), QString("已连接"));
    ModalDriver driver(60000);
    driver.answerMessageBox();
    Access::clickStart(other);
    QVERIFY(driver.waitForAll());
    QVERIFY(!driver.seen().isEmpty());
    QVERIFY2(driver.seen().last().text.contains("烧写成功！"),
             qPrintable(driver.seen().last().text));
    QCOMPARE(boardFlash(0x7800, 0x1000), image);
}

QTEST_MAIN(SwdLineTest)
#include "tst_swdline.moc"
