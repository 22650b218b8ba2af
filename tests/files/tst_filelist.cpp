// The program file list through the real window: adding HEX and BIN files at typed addresses,
// the limits and refusals, removal, and re-reading changed files before Start.
#include "guitesthelpers.h"
#include "support/mainwindowaccess.h"
#include "support/modaldriver.h"

#include "mainwindow.h"

#include <QDateTime>
#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using guitest::writeFile;

namespace {

// Four data bytes 01 02 03 04 at offset 0, then end of file: image length 4, file size 32.
const QByteArray hexFour(":0400000001020304F2\n:00000001FF\n");
const QString warningTitle = QStringLiteral("警告");

} // namespace

class FileListTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addsHexAndBinWithTheirCells();
    void addressDialogDefaultsAndAlignment();
    void cancelledAddressKeepsLastFilePath();
    void cancelledFileDialogChangesNothing();
    void eleventhFileRefused();
    void overlapWithPreviousFile_data();
    void overlapWithPreviousFile();
    void unparsableHexIsRemovedAgain();
    void failedAddStillChecksTheRemainingPair();
    void unknownSuffixListedWithSizeZero();
    void removeOnEmptyListAndRemoveLast();
    void reloadReReadsChangedFile();
    void reloadDropsTheFailingFileOnly_data();
    void reloadDropsTheFailingFileOnly();

private:
    QString path(const QString &name) const { return work.filePath(name); }
    Download &job() { return *MainWindowTestAccess::download(*window); }
    QTableWidget *table() { return window->findChild<QTableWidget *>("fileTableWidget"); }
    QString cell(int row, int column)
    {
        QTableWidgetItem *item = table()->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }
    // Adds one file; `extra` queues what follows the address dialog (message boxes).
    bool addFile(const QString &file, const QString &address, int extraBoxes = 0);
    void clickAdd() { window->findChild<QPushButton *>("fileAddPushButton")->click(); }

    QTemporaryDir work;
    MainWindow *window = nullptr;
    ModalDriver *driver = nullptr;
};

void FileListTest::initTestCase()
{
    QVERIFY(work.isValid());
    // ./Setting.ini must land in the scratch folder, not in the source tree.
    QVERIFY(QDir::setCurrent(work.path()));
}

void FileListTest::init()
{
    QFile::remove(path("Setting.ini"));
    window = new MainWindow;
    driver = new ModalDriver(10000);
}

void FileListTest::cleanup()
{
    delete driver;
    delete window;
}

bool FileListTest::addFile(const QString &file, const QString &address, int extraBoxes)
{
    driver->clearSeen();
    driver->chooseFile(file).typeAndClick("addressLineEdit", address, "okPushButton");
    for (int i = 0; i < extraBoxes; ++i)
        driver->answerMessageBox();
    clickAdd();
    return driver->waitForAll();
}

void FileListTest::addsHexAndBinWithTheirCells()
{
    const QByteArray bin = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
    QVERIFY(writeFile(path("a.hex"), hexFour));
    QVERIFY(writeFile(path("b.BIN"), bin));

    QVERIFY(addFile(path("a.hex"), "0"));
    QVERIFY(addFile(path("b.BIN"), "10"));

    Download &d = job();
    QCOMPARE(d.fileCount, 2);
    QCOMPARE(QStringList({cell(0, 0), cell(0, 1), cell(0, 2)}),
             QStringList({"a.hex", "0x0", "0x4"}));
    QCOMPARE(QStringList({cell(1, 0), cell(1, 1), cell(1, 2)}),
             QStringList({"b.BIN", "0x10", "0x10"}));
    QCOMPARE(d.filePath[1], path("b.BIN"));
    QCOMPARE(d.fileSize[0], uint32_t(hexFour.size()));
    QCOMPARE(d.imageAddress[1], 0x10u);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(d.imageData[0]), 4),
             QByteArray::fromHex("01020304"));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(d.imageData[1]), 16), bin);
    QCOMPARE(d.fileTime[1], QFileInfo(path("b.BIN")).lastModified().toMSecsSinceEpoch());
    QCOMPARE(QSettings("./Setting.ini", QSettings::IniFormat).value("LastFilePath").toString(),
             path("b.BIN"));
}

// The dialog opens with "0"; 12 is refused (also by Cancel) and the dialog stays; 10 passes.
void FileListTest::addressDialogDefaultsAndAlignment()
{
    QVERIFY(writeFile(path("a.bin"), QByteArray(8, '\x5A')));
    driver->chooseFile(path("a.bin"))
        .typeAndClick("addressLineEdit", "12", "okPushButton")
        .answerMessageBox()
        .typeAndClick("addressLineEdit", "12", "cancelPushButton")
        .answerMessageBox()
        .typeAndClick("addressLineEdit", "10", "okPushButton");
    clickAdd();
    QVERIFY(driver->waitForAll());

    const QList<SeenModal> &seen = driver->seen();
    QCOMPARE(seen.size(), 6);
    QCOMPARE(seen[1].className, QStringLiteral("AddressDlg"));
    QCOMPARE(seen[1].title, QStringLiteral("添加烧写地址"));
    QCOMPARE(seen[1].lineEditTexts, QStringList({"0"}));
    for (int i : {2, 4}) {
        QCOMPARE(seen[i].title, warningTitle);
        QCOMPARE(seen[i].text, QStringLiteral("FLASH地址必须4字节对齐"));
    }
    QCOMPARE(seen[5].className, QStringLiteral("AddressDlg"));
    QCOMPARE(job().fileCount, 1);
    QCOMPARE(cell(0, 1), QStringLiteral("0x10"));
}

void FileListTest::cancelledAddressKeepsLastFilePath()
{
    QVERIFY(writeFile(path("c.bin"), QByteArray(4, '\x01')));
    driver->chooseFile(path("c.bin")).clickButton("cancelPushButton");
    clickAdd();
    QVERIFY(driver->waitForAll());

    QCOMPARE(job().fileCount, 0);
    QCOMPARE(job().filePath[0], QString());
    QVERIFY(job().imageData[0] == nullptr);
    QCOMPARE(cell(0, 0), QStringLiteral("<none>"));
    QCOMPARE(QSettings("./Setting.ini", QSettings::IniFormat).value("LastFilePath").toString(),
             path("c.bin"));
}

void FileListTest::cancelledFileDialogChangesNothing()
{
    driver->cancelFileDialog();
    clickAdd();
    QVERIFY(driver->waitForAll());
    QCOMPARE(job().fileCount, 0);
    QVERIFY(!QFile::exists(path("Setting.ini")));
}

void FileListTest::eleventhFileRefused()
{
    for (int i = 0; i < 10; ++i) {
        const QString name = path(QStringLiteral("f%1.bin").arg(i));
        QVERIFY(writeFile(name, QByteArray(4, char(i))));
        QVERIFY(addFile(name, QString::number(i * 4, 16)));
    }
    QCOMPARE(job().fileCount, 10);

    driver->clearSeen();
    driver->answerMessageBox();
    clickAdd();
    QVERIFY(driver->waitForAll());
    QCOMPARE(driver->seen().size(), 1); // the box only: no file dialog
    QCOMPARE(driver->seen()[0].title, warningTitle);
    QCOMPARE(driver->seen()[0].text, QStringLiteral("最大支持10个烧录文件"));
    QCOMPARE(job().fileCount, 10);
}

void FileListTest::overlapWithPreviousFile_data()
{
    QTest::addColumn<QString>("firstAddress");
    QTest::addColumn<int>("firstLength");
    QTest::addColumn<QString>("secondAddress");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right after the first") << "100" << 16 << "110" << true;
    QTest::newRow("inside the first") << "100" << 16 << "10C" << false;
    QTest::newRow("same address as a non-empty first") << "100" << 16 << "100" << false;
    QTest::newRow("below the first") << "100" << 16 << "0" << false;
    QTest::newRow("same address as an empty first") << "100" << 0 << "100" << true;
    // 0xFFFFFFF0 + 0x20 wraps to 0x10 in 32 bits; the overlap must still be seen.
    QTest::newRow("end past 4 GiB") << "FFFFFFF0" << 32 << "FFFFFFF8" << false;
}

void FileListTest::overlapWithPreviousFile()
{
    QFETCH(QString, firstAddress);
    QFETCH(int, firstLength);
    QFETCH(QString, secondAddress);
    QFETCH(bool, accepted);
    QVERIFY(writeFile(path("one.bin"), QByteArray(firstLength, '\x11')));
    QVERIFY(writeFile(path("two.bin"), QByteArray(8, '\x22')));
    QVERIFY(addFile(path("one.bin"), firstAddress));
    QVERIFY(addFile(path("two.bin"), secondAddress, accepted ? 0 : 1));

    QCOMPARE(job().fileCount, accepted ? 2 : 1);
    QCOMPARE(job().imageData[1] != nullptr, accepted);
    QCOMPARE(cell(1, 0), accepted ? QStringLiteral("two.bin") : QStringLiteral("<none>"));
    if (!accepted) {
        QCOMPARE(driver->seen().last().title, warningTitle);
        QCOMPARE(driver->seen().last().text,
                 QStringLiteral("该文件烧录地址处于上一个文件烧录范围内"));
    }
}

void FileListTest::unparsableHexIsRemovedAgain()
{
    QVERIFY(writeFile(path("bad.hex"), ":0400000001020304F3\n")); // checksum off by one
    QVERIFY(addFile(path("bad.hex"), "0", 1));
    QCOMPARE(driver->seen().last().text, QStringLiteral("文件解析错误！"));
    QCOMPARE(job().fileCount, 0);
    QVERIFY(job().imageData[0] == nullptr);
    QVERIFY(job().nameItem[0] == nullptr);
    QCOMPARE(cell(0, 0), QStringLiteral("<none>"));
}

// After a re-read grew the last listed file into its neighbour, a failed add removes the new file
// and then, judging the list as it now stands, the overlapping last file as well.
void FileListTest::failedAddStillChecksTheRemainingPair()
{
    QVERIFY(writeFile(path("p1.bin"), QByteArray(4, '\x01')));
    QVERIFY(writeFile(path("p2.bin"), QByteArray(4, '\x02')));
    QVERIFY(addFile(path("p1.bin"), "0"));
    QVERIFY(addFile(path("p2.bin"), "4"));
    QVERIFY(writeFile(path("p1.bin"), QByteArray(8, '\x01')));
    QFile f(path("p1.bin"));
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(
        f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    f.close();
    QCOMPARE(window->reloadChangedFiles(), 0);
    QCOMPARE(job().imageLength[0], 8u);

    QVERIFY(writeFile(path("bad.hex"), ":0400000001020304F3\n"));
    QVERIFY(addFile(path("bad.hex"), "10", 2));
    const QList<SeenModal> &seen = driver->seen();
    QCOMPARE(seen.size(), 4);
    QCOMPARE(QStringList({seen[2].text, seen[3].text}),
             QStringList({"文件解析错误！", "该文件烧录地址处于上一个文件烧录范围内"}));
    QCOMPARE(job().fileCount, 1);
    QCOMPARE(QStringList({cell(0, 0), cell(1, 0), cell(2, 0)}),
             QStringList({"p1.bin", "<none>", "<none>"}));
    QVERIFY(job().imageData[1] == nullptr);
}

void FileListTest::unknownSuffixListedWithSizeZero()
{
    QVERIFY(writeFile(path("notes.txt"), "not an image"));
    QVERIFY(addFile(path("notes.txt"), "20"));
    QCOMPARE(driver->seen().size(), 2); // file dialog and address dialog, no message
    QCOMPARE(job().fileCount, 1);
    QCOMPARE(QStringList({cell(0, 0), cell(0, 1), cell(0, 2)}),
             QStringList({"notes.txt", "0x20", "0x0"}));
}

void FileListTest::removeOnEmptyListAndRemoveLast()
{
    QPushButton *remove = window->findChild<QPushButton *>("fileRemovePushButton");
    remove->click();
    QCOMPARE(job().fileCount, 0);

    QVERIFY(writeFile(path("r1.bin"), QByteArray(4, '\x01')));
    QVERIFY(writeFile(path("r2.bin"), QByteArray(4, '\x02')));
    QVERIFY(addFile(path("r1.bin"), "0"));
    QVERIFY(addFile(path("r2.bin"), "4"));
    remove->click();

    Download &d = job();
    QCOMPARE(d.fileCount, 1);
    QCOMPARE(cell(0, 0), QStringLiteral("r1.bin"));
    QCOMPARE(cell(1, 0), QStringLiteral("<none>"));
    QVERIFY(d.imageData[1] == nullptr);
    QCOMPARE(d.filePath[1], QString());
    QCOMPARE(d.fileName[1], QString());
    QCOMPARE(d.fileSize[1], 0u);
    QCOMPARE(d.imageAddress[1], 0u);
    QCOMPARE(d.imageLength[1], 0u);
}

// After a HEX file changes on disk the size column shows its size on disk, not the image length.
void FileListTest::reloadReReadsChangedFile()
{
    QVERIFY(writeFile(path("h.hex"), hexFour));
    QVERIFY(addFile(path("h.hex"), "0"));
    QCOMPARE(cell(0, 2), QStringLiteral("0x4"));

    const QByteArray eight(":080000000102030405060708D4\n:00000001FF\n");
    QVERIFY(writeFile(path("h.hex"), eight));
    QFile f(path("h.hex"));
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(
        f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    f.close();

    QCOMPARE(window->reloadChangedFiles(), 0);
    Download &d = job();
    QCOMPARE(cell(0, 2), QStringLiteral("0x") + QString::number(eight.size(), 16).toUpper());
    QCOMPARE(d.imageLength[0], 8u);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(d.imageData[0]), 8),
             QByteArray::fromHex("0102030405060708"));
    QCOMPARE(d.fileTime[0], QFileInfo(path("h.hex")).lastModified().toMSecsSinceEpoch());
    QCOMPARE(window->reloadChangedFiles(), 0); // unchanged now: nothing read again
}

void FileListTest::reloadDropsTheFailingFileOnly_data()
{
    QTest::addColumn<QString>("change"); // what happens to the middle file on disk
    QTest::addColumn<QString>("message");
    QTest::newRow("deleted") << "delete" << QString();
    QTest::newRow("emptied") << "empty" << QString();
    QTest::newRow("no longer parses") << "corrupt" << QStringLiteral("文件解析错误");
}

void FileListTest::reloadDropsTheFailingFileOnly()
{
    QFETCH(QString, change);
    QFETCH(QString, message);
    QVERIFY(writeFile(path("x1.bin"), QByteArray(4, '\x01')));
    QVERIFY(writeFile(path("x2.hex"), hexFour));
    QVERIFY(writeFile(path("x3.bin"), QByteArray(8, '\x03')));
    QVERIFY(addFile(path("x1.bin"), "0"));
    QVERIFY(addFile(path("x2.hex"), "100"));
    QVERIFY(addFile(path("x3.bin"), "200"));
    uint8_t *thirdBuffer = job().imageData[2];

    if (change == "delete") {
        QVERIFY(QFile::remove(path("x2.hex")));
    } else {
        QVERIFY(writeFile(path("x2.hex"), change == "empty" ? QByteArray() : QByteArray(":zz\n")));
        QFile f(path("x2.hex"));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(5),
                              QFileDevice::FileModificationTime));
    }
    driver->clearSeen();
    if (!message.isEmpty())
        driver->answerMessageBox();
    QCOMPARE(window->reloadChangedFiles(), 1);
    QVERIFY(driver->waitForAll());
    if (!message.isEmpty())
        QCOMPARE(driver->seen().last().text, message);
    else
        QCOMPARE(driver->seen().size(), 0);

    Download &d = job();
    QCOMPARE(d.fileCount, 2);
    QCOMPARE(QStringList({cell(0, 0), cell(1, 0), cell(2, 0)}),
             QStringList({"x1.bin", "x3.bin", "<none>"}));
    QCOMPARE(QStringList({cell(1, 1), cell(1, 2)}), QStringList({"0x200", "0x8"}));
    QCOMPARE(d.filePath[1], path("x3.bin"));
    QCOMPARE(d.imageAddress[1], 0x200u);
    QCOMPARE(d.imageLength[1], 8u);
    QVERIFY(d.imageData[1] == thirdBuffer);
    QVERIFY(d.imageData[2] == nullptr);
    QVERIFY(d.sizeItem[2] == nullptr);
    QCOMPARE(d.filePath[2], QString());
}

QTEST_MAIN(FileListTest)
#include "tst_filelist.moc"
