// The real window on the SWD path, offscreen, on the linked virtual CMSIS-DAP probe.
#include "support/inprocessdap.h"
#include "support/mainwindowaccess.h"
#include "support/modaldriver.h"

#include "cmsisdapprobe.h"
#include "download.h"
#include "images/hexwriter.h"
#include "job/jobfile.h"

#include <QAction>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QtTest>

#include <zip.h>

using Access = MainWindowTestAccess;
using vprobe::CmsisDapDevice;
using vprobe::CmsisDapProbe;
using vprobe::SimulatedPart;

namespace {

QByteArray pattern(int length, int seed)
{
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = char((i * 7 + seed * 31 + (i >> 8)) & 0xFF);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The unpacked test pack zipped into a .pack file, as a pack is published.
bool zipFolder(const QString &folder, const QString &zipPath)
{
    int error = 0;
    zip_t *archive = zip_open(zipPath.toLocal8Bit().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    bool ok = true;
    while (ok && it.hasNext()) {
        const QString file = it.next();
        const QByteArray name = QDir(folder).relativeFilePath(file).toUtf8();
        zip_source_t *source = zip_source_file(archive, file.toLocal8Bit().constData(), 0, -1);
        ok = source && zip_file_add(archive, name.constData(), source, ZIP_FL_OVERWRITE) >= 0;
    }
    return zip_close(archive) == 0 && ok;
}

// The board's flash from `offset`: the QS64's when it is the part, else the QB48's APROM.
QByteArray targetFlash(uint32_t offset, int length)
{
    CmsisDapDevice &device = CmsisDapProbe::instance().device();
    const std::vector<uint8_t> &bank =
        device.qs64() ? device.qs64()->flash() : device.target().flash(TargetModel::Bank::Aprom);
    if (offset + size_t(length) > bank.size())
        return {};
    return QByteArray(reinterpret_cast<const char *>(bank.data()) + offset, length);
}

} // namespace

class SwdWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    void chooseSwd(MainWindow &w);
    void addFile(MainWindow &w, const QString &file, const QString &address);
    void connect(MainWindow &w);
    QString start(MainWindow &w);
    QByteArray readOut(MainWindow &w, const QString &address, const QString &length,
                       const QString &file, QString &message);
    int runCli(const QStringList &args, const QString &flashFile, QString &err);

private slots:
    void initTestCase();
    void init();
    void pathSwitchesTheFaceAndBack();
    void picksADeviceFromAnAddedPackProgramsRecordsAndReadsBack();
    void jobsRunTheSameInTheWindowAndOnTheCommandLine();
};

void SwdWindowTest::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(useInProcessCmsisDap(path("data")));
}

void SwdWindowTest::init()
{
    CmsisDapProbe::instance().device().selectPart(SimulatedPart::Qb48);
    CmsisDapProbe::instance().setUsb(CmsisDapProbe::Usb::FsHid);
    CmsisDapProbe::instance().reset();
}

void SwdWindowTest::chooseSwd(MainWindow &w)
{
    QAction *swd = w.findChild<QAction *>("viaSwdAction");
    QVERIFY(swd);
    swd->trigger();
}

void SwdWindowTest::addFile(MainWindow &w, const QString &file, const QString &address)
{
    ModalDriver driver;
    driver.chooseFile(file).typeAndClick("addressLineEdit", address, "okPushButton");
    Access::clickFileAdd(w);
    QVERIFY(driver.waitForAll());
}

void SwdWindowTest::connect(MainWindow &w)
{
    Access::clickConnect(w);
    QCOMPARE(Access::ui(w)->connectPushButton->text(), QString("已连接"));
}

// Start, then the result box's text.
QString SwdWindowTest::start(MainWindow &w)
{
    ModalDriver driver(60000);
    driver.answerMessageBox();
    Access::clickStart(w);
    if (!driver.waitForAll() || driver.seen().isEmpty())
        return QString("no result box");
    return driver.seen().last().text;
}

QByteArray SwdWindowTest::readOut(MainWindow &w, const QString &address, const QString &length,
                                  const QString &file, QString &message)
{
    ModalDriver driver(60000);
    driver
        .then([&](QWidget *modal, SeenModal &) {
            modal->findChild<QLineEdit *>("addressLineEdit")->setText(address);
            modal->findChild<QLineEdit *>("sizeLineEdit")->setText(length);
            modal->findChild<QPushButton *>("okPushButton")->click();
        })
        .chooseFile(file)
        .answerMessageBox();
    w.findChild<QAction *>("readAction")->trigger();
    if (!driver.waitForAll())
        return QByteArray("no read-out");
    message = driver.seen().last().text;
    return readFile(file);
}

int SwdWindowTest::runCli(const QStringList &args, const QString &flashFile, QString &err)
{
    QProcess p;
    QStringList env = QProcess::systemEnvironment();
    env << "LD_PRELOAD=" QUORVEL_VPROBE_LIB << "QUORVEL_VPROBE_KIND=cmsis-dap"
        << "QUORVEL_VPROBE_DAP_REALTIME=0"
        << "QUORVEL_VPROBE_FLASH_FILE=" + flashFile << "QUORVEL_RECORD=" + path("cli-record.sqlite")
        << "LC_ALL=C"
        << "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0";
    p.setEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QUORVEL_CLI, args);
    if (!p.waitForFinished(120000))
        return -1;
    err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    return p.exitCode();
}

// Widgets of each path: made for SWD the first time, hidden again on the dedicated path, which
// gets back its texts, states and title.
void SwdWindowTest::pathSwitchesTheFaceAndBack()
{
    MainWindow w;
    w.setWindowTitle("Quorvel");
    Ui::MainWindow *ui = Access::ui(w);
    QVERIFY(w.findChild<QAction *>("viaVendorAction")->isChecked());
    for (const char *name :
         {"autoEraseRadioButton", "verifyModeComboBox", "devicePushButton", "deviceLabel"})
        QVERIFY2(!w.findChild<QWidget *>(name), name);
    QVERIFY(!w.findChild<QAction *>("deviceAction")->isEnabled());
    QVERIFY(!w.findChild<QAction *>("readAction")->isEnabled());

    const QString why = "只有专用烧录器有这个选项";
    const struct
    {
        bool swd;
        bool protectEnabled;
        QString tip;
        QString firmwareLabel;
        QString chipTip;
    } rows[] = {
        {true, false, why, "CMSIS-DAP：", "经SWD烧写的器件在“器件…”中选择"},
        {false, true, "", "固件版本：", ""},
        {true, false, why, "CMSIS-DAP：", "经SWD烧写的器件在“器件…”中选择"},
    };
    for (const auto &row : rows) {
        w.findChild<QAction *>(row.swd ? "viaSwdAction" : "viaVendorAction")->trigger();
        for (QWidget *box : std::initializer_list<QWidget *>{
                 ui->readProtect0RadioButton, ui->readProtect1RadioButton,
                 ui->readProtect2RadioButton, ui->optionsGroupBox}) {
            QCOMPARE(box->isEnabled(), row.protectEnabled);
            QCOMPARE(box->toolTip(), row.tip);
        }
        QCOMPARE(ui->firmwareVersionLabel->text(), row.firmwareLabel);
        QCOMPARE(ui->chipComboBox->toolTip(), row.chipTip);
        QCOMPARE(ui->chipComboBox->isEnabled(), false);
        QCOMPARE(w.findChild<QRadioButton *>("autoEraseRadioButton")->isVisibleTo(&w), row.swd);
        QCOMPARE(w.findChild<QComboBox *>("verifyModeComboBox")->isVisibleTo(&w), row.swd);
        QCOMPARE(w.findChild<QAction *>("readAction")->isEnabled(), row.swd);
        QCOMPARE(w.windowTitle(),
                 row.swd ? QString("Quorvel V1.97f — CMSIS-DAP/SWD：QB48") : QString("Quorvel"));
    }
    // Auto erase exists over SWD only: back on the dedicated path it becomes sector erase.
    w.findChild<QRadioButton *>("autoEraseRadioButton")->click();
    QCOMPARE(Access::download(w)->eraseMode, 3);
    w.findChild<QAction *>("viaVendorAction")->trigger();
    QCOMPARE(Access::download(w)->eraseMode, 1);
    QVERIFY(ui->sectorEraseRadioButton->isChecked());
}

void SwdWindowTest::picksADeviceFromAnAddedPackProgramsRecordsAndReadsBack()
{
    CmsisDapProbe::instance().device().selectPart(SimulatedPart::Qs64);
    CmsisDapProbe::instance().setUsb(CmsisDapProbe::Usb::FsBulk); // v2 is taken over v1
    const QString pack = path("Quorvel.QS64.1.0.0.pack");
    QVERIFY(zipFolder(QUORVEL_QS64_PACK, pack));
    MainWindow w;
    chooseSwd(w);

    {
        ModalDriver driver;
        driver.then([&](QWidget *modal, SeenModal &) {
            QCOMPARE(modal->windowTitle(), QString("选择器件"));
            auto *tree = modal->findChild<QTreeWidget *>("deviceTreeWidget");
            ModalDriver *nested = new ModalDriver(10000, modal);
            nested->chooseFile(pack);
            modal->findChild<QPushButton *>("addPackPushButton")->click();
            QVERIFY(nested->waitForAll());
            modal->findChild<QLineEdit *>("searchLineEdit")->setText("qs6");
            QList<QTreeWidgetItem *> found = tree->findItems("QS64", Qt::MatchRecursive);
            QCOMPARE(found.size(), 1);
            QCOMPARE(found[0]->text(1), QString("Cortex-M0"));
            QVERIFY(tree->findItems("QB48", Qt::MatchRecursive).value(0)->isHidden());
            tree->setCurrentItem(found[0]);
            const QString details =
                modal->findChild<QTextBrowser *>("detailsBrowser")->toPlainText();
            QVERIFY2(details.contains("QS64_Flash.FLM 0x08000000–0x0800FFFF 默认"),
                     qPrintable(details));
            modal->findChild<QPushButton *>("okPushButton")->click();
        });
        w.findChild<QAction *>("deviceAction")->trigger();
        QVERIFY(driver.waitForAll());
    }
    QVERIFY(QFile::exists(path("data/quorvel/packs/Quorvel.QS64.1.0.0.pack")));
    QCOMPARE(w.findChild<QLabel *>("deviceLabel")->text(), QString("QS64"));

    const QByteArray image = pattern(0x900, 4);
    QVERIFY(writeFile(path("fw.bin"), image));
    addFile(w, path("fw.bin"), "8000400");
    w.findChild<QRadioButton *>("autoEraseRadioButton")->click();
    connect(w);
    QCOMPARE(Access::ui(w)->firmwareValueLabel->text(), QString("v2 (bulk) QVP00000001"));
    const QString result = start(w);
    QVERIFY2(result.contains("擦除0个扇区，烧写2个，跳过0个（内容已相同）"), qPrintable(result));
    QCOMPARE(Access::ui(w)->progressBar->value(), 100);
    QCOMPARE(targetFlash(0x400, image.size()), image);

    // The row as the command line writes it: over SWD, the device, the probe's serial.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(qEnvironmentVariable("QUORVEL_RECORD"));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("SELECT via, target, probe_serial, result, status, sectors_programmed FROM "
                       "runs ORDER BY id DESC LIMIT 1"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QString("swd"));
        QCOMPARE(q.value(1).toString(), QString("QS64"));
        QCOMPARE(q.value(2).toString(), QString("QVP00000001"));
        QCOMPARE(q.value(3).toInt(), 0);
        QCOMPARE(q.value(4).toString(), QString("passed"));
        QCOMPARE(q.value(5).toInt(), 2);
    }
    QSqlDatabase::removeDatabase("check");

    // Started again, auto erase leaves the sectors that already hold the image.
    QVERIFY(start(w).contains("擦除0个扇区，烧写0个，跳过2个（内容已相同）"));

    QString message;
    QCOMPARE(readOut(w, "8000400", "900", path("out.bin"), message), image);
    QCOMPARE(message, QString("已读出0x08000400起的2304字节到%1").arg(path("out.bin")));
    QCOMPARE(readOut(w, "8000400", "900", path("out.hex"), message), intelHex(0x08000400, image));
    // Outside every memory of the device: refused before the probe is used.
    readOut(w, "20100000", "10", path("no.bin"), message);
    QVERIFY2(message.contains("0x20100000"), qPrintable(message));
    QVERIFY(!QFile::exists(path("no.bin")));
}

void SwdWindowTest::jobsRunTheSameInTheWindowAndOnTheCommandLine()
{
    const QByteArray first = pattern(5000, 1), second = pattern(3000, 2);
    QVERIFY(writeFile(path("first.bin"), first));
    QVERIFY(writeFile(path("second.bin"), second));
    {
        MainWindow w;
        chooseSwd(w);
        addFile(w, path("first.bin"), "0");
        w.findChild<QComboBox *>("verifyModeComboBox")->setCurrentIndex(1);
        connect(w);
        QCOMPARE(Access::ui(w)->firmwareValueLabel->text(), QString("v1 (HID) QVP00000001"));
        QVERIFY(start(w).contains("擦除"));
        QCOMPARE(targetFlash(0, first.size()), first);
        ModalDriver driver;
        driver.chooseFile(path("window.json"));
        Access::saveJobAction(w)->trigger();
        QVERIFY(driver.waitForAll());
    }
    job::JobSetup saved;
    QString error;
    QVERIFY2(job::readJobFile(path("window.json"), saved, error), qPrintable(error));
    QCOMPARE(saved.via, int(job::ViaSwd));
    QCOMPARE(saved.verifyReadback, true);
    QCOMPARE(saved.eraseMode, int(job::FullErase));

    QCOMPARE(runCli({"program", "--job", "window.json"}, path("cli.flash"), error), 0);
    QCOMPARE(readFile(path("cli.flash")).left(first.size()), first);

    QCOMPARE(runCli({"program", "--via", "swd", "second.bin@0x400", "--erase", "sector",
                     "--save-job", "cli.json"},
                    path("cli2.flash"), error),
             0);
    QCOMPARE(readFile(path("cli2.flash")).mid(0x400, second.size()), second);
    CmsisDapProbe::instance().reset();
    MainWindow w;
    ModalDriver driver;
    driver.chooseFile(path("cli.json"));
    Access::openJobAction(w)->trigger();
    QVERIFY(driver.waitForAll());
    QVERIFY(w.findChild<QAction *>("viaSwdAction")->isChecked());
    QCOMPARE(Access::download(w)->eraseMode, int(job::SectorErase));
    connect(w);
    QVERIFY(start(w).contains("擦除"));
    QCOMPARE(targetFlash(0x400, second.size()), second);
}

QTEST_MAIN(SwdWindowTest)
#include "tst_swdwindow.moc"
