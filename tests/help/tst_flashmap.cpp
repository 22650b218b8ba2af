// The flash map dialog opened from the real window's help menu, in both languages: its title, the
// problems of the current job and a band's tooltip. With QUORVEL_SCREENSHOT_DIR set (and a real
// display), each open dialog is also captured with ImageMagick's `import`.
#include "files/guitesthelpers.h"
#include "support/mainwindowaccess.h"
#include "support/modaldriver.h"

#include "flashmapdlg.h"
#include "flashmapview.h"
#include "mainwindow.h"
#include "virtualprobe/virtualprobe.h"

#include <QMenu>
#include <QProcess>
#include <QTranslator>
#include <QtTest>

using Access = MainWindowTestAccess;

namespace {

struct File
{
    const char *name;
    uint32_t address;
    int length;
};

} // namespace

Q_DECLARE_METATYPE(File)

class FlashMapTest : public QObject
{
    Q_OBJECT

private slots:
    void opensFromTheHelpMenu_data();
    void opensFromTheHelpMenu();
};

void FlashMapTest::opensFromTheHelpMenu_data()
{
    QTest::addColumn<bool>("english");
    QTest::addColumn<int>("eraseMode");
    QTest::addColumn<uint32_t>("rollingCode");
    QTest::addColumn<QVector<File>>("files");
    QTest::addColumn<QStringList>("problems");

    const QVector<File> clean{{"app.bin", 0x0, 0x6000}, {"boot.bin", 0x10000000, 0x1000}};
    const QVector<File> faulty{
        {"app.bin", 0x0, 0x6000}, {"data.bin", 0x5800, 0x1000}, {"boot.bin", 0x10001000, 0x1800}};
    QTest::newRow("clean, Chinese") << false << 1 << 0x1D000u << clean << QStringList();
    QTest::newRow("clean, English") << true << 1 << 0x1D000u << clean << QStringList();
    QTest::newRow("three problems, Chinese")
        << false << 0 << 0x100u << faulty
        << QStringList{"文件3超出LDROM范围：0x10001000-0x100027FF",
                       "文件1与文件2重叠：0x00005800-0x00005FFF", "滚码0x00000100位于文件1内"};
    QTest::newRow("three problems, English")
        << true << 0 << 0x100u << faulty
        << QStringList{"File 3 runs past the end of LDROM: 0x10001000-0x100027FF",
                       "File 1 overlaps file 2: 0x00005800-0x00005FFF",
                       "Rolling code at 0x00000100 lies inside file 1"};
}

void FlashMapTest::opensFromTheHelpMenu()
{
    QFETCH(bool, english);
    QFETCH(int, eraseMode);
    QFETCH(uint32_t, rollingCode);
    QFETCH(QVector<File>, files);
    QFETCH(QStringList, problems);

    QTranslator translator;
    if (english) {
        QVERIFY(translator.load(QCoreApplication::applicationDirPath() + "/Quorvel_EN.qm"));
        QCoreApplication::installTranslator(&translator);
    }
    vprobe::VirtualProbe::instance().reset();
    MainWindow w;
    w.show();
    Download &d = *Access::download(w);
    for (const File &f : files) {
        const int slot = d.fileCount++;
        d.fileName[slot] = f.name;
        guitest::fillSlot(d, slot, QByteArray(f.length, char(0x5A + slot)), f.address);
    }
    Access::eraseGroup(w)->button(eraseMode)->click(); // the window shows the mode the map shows
    QCOMPARE(d.eraseMode, eraseMode);
    d.rollingCodeAddress = rollingCode;

    const QString title = english ? "Flash map" : "烧录地图";
    QAction *item = Access::ui(w)->helpMenu->actions().last();
    QCOMPARE(item->text(), title);

    QStringList shown;
    QString tip;
    ModalDriver driver(10000);
    driver.then([&](QWidget *modal, SeenModal &) {
        auto *dlg = qobject_cast<FlashMapDlg *>(modal);
        if (!dlg)
            return;
        for (const FlashProblem &p : dlg->view->plan().problems)
            shown << p.text;
        // Centre of the first file's band in the picture.
        const FlashMapLayout layout = layoutFlashMap(dlg->view->plan());
        for (const MapShape &s : layout.shapes) {
            if (s.kind == MapShape::File && tip.isEmpty())
                tip = dlg->view->toolTipAt(s.rect.center());
        }
        const QString shots = qEnvironmentVariable("QUORVEL_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            QTest::qWait(300);
            QProcess::execute("import",
                              {"-window", "root", shots + "/" + QTest::currentDataTag() + ".png"});
        }
        dlg->reject();
    });
    item->trigger();
    QVERIFY(driver.waitForAll());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen().first().className, QString("FlashMapDlg"));
    QCOMPARE(driver.seen().first().title, title);
    QCOMPARE(shown, problems);
    const QString crc =
        QString::asprintf("0x%08X", guitest::referenceCrc32(QByteArray(0x6000, 0x5A)));
    QCOMPARE(tip,
             english ? "app.bin\n0x00000000-0x00005FFF\nLength: 0x00006000\nCRC-32: " + crc
                     : "app.bin\n0x00000000-0x00005FFF\n长度：0x00006000\nCRC-32：" + crc);
    QCoreApplication::removeTranslator(&translator);
}

QTEST_MAIN(FlashMapTest)
#include "tst_flashmap.moc"
