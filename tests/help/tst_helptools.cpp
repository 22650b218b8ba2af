// The help menu's tools through the real window and the virtual probe: message tables, the range
// dialogs, the firmware gate, the validation order, and results read from the simulated flash.
#include "files/guitesthelpers.h"
#include "support/mainwindowaccess.h"
#include "support/modaldriver.h"

#include "crc32dlg.h"
#include "job/messages.h"
#include "mainwindow.h"
#include "md5dlg.h"
#include "virtualprobe/virtualprobe.h"

#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegExpValidator>
#include <QtTest>

using guitest::blue;
using guitest::red;
using vprobe::ReplyFault;
using vprobe::VirtualProbe;

namespace {

const QString infoTitle = QStringLiteral("信息");

QByteArray flashBytes(uint32_t address, uint32_t length)
{
    const std::vector<uint8_t> bytes = VirtualProbe::instance().readFlash(address, length);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

std::vector<uint8_t> pattern(int length, int seed)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        bytes[size_t(i)] = uint8_t(i * 7 + seed);
    return bytes;
}

// Written reports carrying this command byte.
QList<std::vector<uint8_t>> writesOf(uint8_t command)
{
    QList<std::vector<uint8_t>> found;
    for (const vprobe::TraceEntry &e : VirtualProbe::instance().trace())
        if (e.kind == vprobe::TraceEntry::Kind::Write && e.data.size() > 1 && e.data[1] == command)
            found.append(e.data);
    return found;
}

uint32_t le32(const std::vector<uint8_t> &r, size_t at)
{
    return uint32_t(r[at]) | uint32_t(r[at + 1]) << 8 | uint32_t(r[at + 2]) << 16
        | uint32_t(r[at + 3]) << 24;
}

} // namespace

class HelpToolsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void unlistedCodes();
    void rangeDialogsDefaults_data();
    void rangeDialogsDefaults();

    void readBackRefusedBeforeTheDialog_data();
    void readBackRefusedBeforeTheDialog();
    void cancelLeavesTheRecordAlone();
    void validationOrder_data();
    void validationOrder();
    void topWordAddressIsSentToTheProbe();
    void md5ResultFromTheProbe();
    void crc32ResultFromTheProbe();
    void readBackFailuresFromTheProbe_data();
    void readBackFailuresFromTheProbe();
    void verifyAgainstTheProbe_data();
    void verifyAgainstTheProbe();
    void fileCrc32ListsEveryFile();

private:
    Download &job() { return *MainWindowTestAccess::download(*window); }
    void connectProbe();
    // Runs a range tool: types address and size into its dialog, answers the box that follows.
    void runRangeTool(bool md5, const QString &address, const QString &size, bool expectBox = true);
    QString lastText() const
    {
        return driver->seen().isEmpty() ? QString() : driver->seen().last().text;
    }

    MainWindow *window = nullptr;
    ModalDriver *driver = nullptr;
};

void HelpToolsTest::init()
{
    VirtualProbe::instance().reset();
    window = new MainWindow;
    driver = new ModalDriver(10000);
}

void HelpToolsTest::cleanup()
{
    if (job().connected)
        window->findChild<QPushButton *>("connectPushButton")->click();
    delete driver;
    delete window;
}

void HelpToolsTest::connectProbe()
{
    window->findChild<QPushButton *>("connectPushButton")->click();
    QCOMPARE(job().connected, 1);
    VirtualProbe::instance().clearTrace();
}

void HelpToolsTest::runRangeTool(bool md5, const QString &address, const QString &size,
                                 bool expectBox)
{
    driver->clearSeen();
    driver->then([address, size](QWidget *modal, SeenModal &seen) {
        auto *dlg = qobject_cast<RangeDlg *>(modal);
        QVERIFY(dlg);
        dlg->addressLineEdit->setText(address);
        dlg->sizeLineEdit->setText(size);
        seen.clicked = QStringLiteral("okPushButton");
        dlg->okPushButton->click();
    });
    if (expectBox)
        driver->answerMessageBox();
    if (md5)
        window->helpMD5ActionSlot();
    else
        window->helpCRC32ActionSlot();
    QVERIFY(driver->waitForAll());
    if (expectBox)
        QCOMPARE(driver->seen().last().title, infoTitle);
}

// Codes no service returns today still get their row: "other error" for verify, no box for
// MD5 and CRC-32 (the listed codes are checked end to end below).
void HelpToolsTest::unlistedCodes()
{
    for (int code : {7, 13, -2})
        QCOMPARE(job::verifyMessage(code), red("其他错误!"));
    for (int code : {0, 6, 7, -2})
        QCOMPARE(job::readBackFailureMessage(code), QString());
}

void HelpToolsTest::rangeDialogsDefaults_data()
{
    QTest::addColumn<bool>("md5");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("size");
    QTest::newRow("MD5") << true << "配置计算MD5的首地址和大小"
                         << "0";
    QTest::newRow("CRC-32") << false << "配置计算CRC-32的首地址和大小"
                            << "8000";
}

void HelpToolsTest::rangeDialogsDefaults()
{
    QFETCH(bool, md5);
    QFETCH(QString, title);
    QFETCH(QString, size);
    QScopedPointer<RangeDlg> dlg(md5 ? static_cast<RangeDlg *>(new MD5Dlg)
                                     : static_cast<RangeDlg *>(new CRC32Dlg));
    QCOMPARE(dlg->windowTitle(), title);
    QCOMPARE(dlg->windowFlags() & ~Qt::WindowType_Mask,
             Qt::WindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint));
    QCOMPARE(dlg->isOK, 0);
    QCOMPARE(dlg->addressLineEdit->text(), QStringLiteral("0"));
    QCOMPARE(dlg->sizeLineEdit->text(), size);
    QCOMPARE(dlg->addressLabel->text(), QStringLiteral("  地址(HEX) "));
    QCOMPARE(dlg->sizeLabel->text(), QStringLiteral("  大小(HEX) "));
    QCOMPARE(dlg->okPushButton->text(), QStringLiteral("确认"));
    QCOMPARE(dlg->cancelPushButton->text(), QStringLiteral("取消"));
    for (QLineEdit *edit : {dlg->addressLineEdit, dlg->sizeLineEdit}) {
        QCOMPARE(edit->minimumWidth(), 80);
        QCOMPARE(edit->maximumWidth(), 80);
        QString text = "FFFFfff0";
        int pos = 0;
        QCOMPARE(edit->validator()->validate(text, pos), QValidator::Acceptable);
        text = "123456789";
        QCOMPARE(edit->validator()->validate(text, pos), QValidator::Invalid);
        text = "0x10";
        QCOMPARE(edit->validator()->validate(text, pos), QValidator::Invalid);
    }
    dlg->okPushButton->click();
    QCOMPARE(dlg->isOK, 1);
    QCOMPARE(dlg->result(), int(QDialog::Accepted));
    dlg->cancelPushButton->click();
    QCOMPARE(dlg->isOK, 0);
    QCOMPARE(dlg->result(), int(QDialog::Accepted));
}

// Not connected, or firmware 1.95: one box and no dialog, for both tools.
void HelpToolsTest::readBackRefusedBeforeTheDialog_data()
{
    QTest::addColumn<bool>("md5");
    QTest::addColumn<uint32_t>("probeId"); // 0: stay disconnected
    QTest::addColumn<QString>("message");
    const QString gate = blue("固件版本小于1.96，不支持该功能!");
    QTest::newRow("MD5 not connected") << true << 0u << red("未连接!");
    QTest::newRow("CRC not connected") << false << 0u << red("未连接!");
    QTest::newRow("MD5 firmware 1.95") << true << 0x6CFF0195u << gate;
    QTest::newRow("CRC firmware 1.90") << false << 0x6CFF0190u << gate;
}

void HelpToolsTest::readBackRefusedBeforeTheDialog()
{
    QFETCH(bool, md5);
    QFETCH(uint32_t, probeId);
    QFETCH(QString, message);
    if (probeId != 0) {
        vprobe::ProbeIdentity identity = VirtualProbe::instance().identity();
        identity.probeId = probeId;
        VirtualProbe::instance().setIdentity(identity);
        connectProbe();
    }
    driver->answerMessageBox();
    if (md5)
        window->helpMD5ActionSlot();
    else
        window->helpCRC32ActionSlot();
    QVERIFY(driver->waitForAll());
    QCOMPARE(driver->seen().size(), 1);
    QCOMPARE(driver->seen()[0].className, QStringLiteral("QMessageBox"));
    QCOMPARE(driver->seen()[0].title, infoTitle);
    QCOMPARE(driver->seen()[0].text, message);
    QVERIFY(VirtualProbe::instance().commandsWritten().empty());
}

void HelpToolsTest::cancelLeavesTheRecordAlone()
{
    connectProbe();
    job().md5Address = 0x1234;
    job().md5Size = 0x40;
    job().crcAddress = 0x5678;
    job().crcSize = 0x80;
    driver->typeAndClick("addressLineEdit", "100", "cancelPushButton");
    driver->typeAndClick("addressLineEdit", "100", "cancelPushButton");
    window->helpMD5ActionSlot();
    window->helpCRC32ActionSlot();
    QVERIFY(driver->waitForAll());
    QCOMPARE(driver->seen().size(), 2); // the two dialogs, no box
    QCOMPARE(driver->seen()[0].lineEditTexts, QStringList({"0", "0"}));
    QCOMPARE(driver->seen()[1].lineEditTexts, QStringList({"0", "8000"}));
    QCOMPARE(job().md5Address, 0x1234u);
    QCOMPARE(job().md5Size, 0x40u);
    QCOMPARE(job().crcAddress, 0x5678u);
    QCOMPARE(job().crcSize, 0x80u);
    QVERIFY(VirtualProbe::instance().commandsWritten().empty());
}

void HelpToolsTest::validationOrder_data()
{
    QTest::addColumn<bool>("md5");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("message");
    QTest::newRow("MD5 address 3 size 8") << true << "3"
                                          << "8" << red("地址非4字节对齐！");
    QTest::newRow("MD5 address 4 size 6") << true << "4"
                                          << "6" << red("大小非4字节对齐！");
    QTest::newRow("MD5 address 3 size 0") << true << "3"
                                          << "0" << red("大小为0!");
    QTest::newRow("MD5 both cleared") << true << ""
                                      << "" << red("大小为0!");
    QTest::newRow("CRC address 3 size 8") << false << "3"
                                          << "8" << red("地址非4字节对齐！");
    QTest::newRow("CRC address 4 size 6") << false << "4"
                                          << "6" << red("大小非4字节对齐！");
    QTest::newRow("CRC address 3 size 0") << false << "3"
                                          << "0" << red("大小为0!");
}

// A refused range is still stored, and nothing reaches the probe.
void HelpToolsTest::validationOrder()
{
    QFETCH(bool, md5);
    QFETCH(QString, address);
    QFETCH(QString, size);
    QFETCH(QString, message);
    connectProbe();
    runRangeTool(md5, address, size);
    QCOMPARE(lastText(), message);
    QCOMPARE(md5 ? job().md5Address : job().crcAddress, address.toUInt(nullptr, 16));
    QCOMPARE(md5 ? job().md5Size : job().crcSize, size.toUInt(nullptr, 16));
    QVERIFY(VirtualProbe::instance().commandsWritten().empty());
}

void HelpToolsTest::topWordAddressIsSentToTheProbe()
{
    connectProbe();
    runRangeTool(true, "FFFFFFFC", "4");
    runRangeTool(false, "FFFFFFFC", "4");
    for (uint8_t command : {uint8_t(0x91), uint8_t(0x8F)}) {
        const QList<std::vector<uint8_t>> sent = writesOf(command);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0][2], uint8_t(2)); // QB48
        QCOMPARE(le32(sent[0], 3), 0xFFFFFFFCu);
        QCOMPARE(le32(sent[0], 7), 4u);
    }
}

void HelpToolsTest::md5ResultFromTheProbe()
{
    VirtualProbe::instance().writeFlash(0x100, pattern(0x40, 3));
    connectProbe();
    runRangeTool(true, "100", "40");
    const QByteArray digest =
        QCryptographicHash::hash(flashBytes(0x100, 0x40), QCryptographicHash::Md5);
    QCOMPARE(lastText(), red("起始地址0x100，大小0x40。MD5值为：" + digest.toHex().toUpper()));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(job().md5Digest), 16), digest);
}

void HelpToolsTest::crc32ResultFromTheProbe()
{
    VirtualProbe::instance().writeFlash(0, pattern(0x1000, 9));
    connectProbe();
    runRangeTool(false, "0", "8000"); // the dialog's default range
    const uint32_t crc = guitest::referenceCrc32(flashBytes(0, 0x8000));
    QCOMPARE(lastText(),
             red("起始地址0x0，大小0x8000。CRC-32为：0x" + QString::asprintf("%08X", crc)));
    QCOMPARE(job().crcValue, crc);
}

void HelpToolsTest::readBackFailuresFromTheProbe_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("no chip model") << "model0" << red("未选择芯片型号!");
    QTest::newRow("chip not found") << "nodevice" << red("未找到芯片！");
    QTest::newRow("read-protected") << "protected" << red("已加密，无法读取！");
    QTest::newRow("read error") << "readerror" << red("读取数据发生错误！");
    QTest::newRow("wrong model") << "model" << red("芯片型号错误！");
    QTest::newRow("short reply") << "short" << red("传输错误，请重新连接后再尝试！");
}

void HelpToolsTest::readBackFailuresFromTheProbe()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    VirtualProbe &probe = VirtualProbe::instance();
    vprobe::ChipState chip = probe.chip();
    if (fault == "nodevice")
        chip.deviceId = 0;
    if (fault == "model")
        chip.model = 3;
    probe.setChip(chip);
    connectProbe();
    if (fault == "model0")
        job().chip->model = 0;
    for (bool md5 : {true, false}) {
        const uint8_t command = md5 ? 0x91 : 0x8F;
        if (fault == "protected")
            probe.failNext(command, ReplyFault::Status, 1, 0xCC);
        if (fault == "readerror")
            probe.failNext(command, ReplyFault::Status, 1, 0xFF);
        if (fault == "short")
            probe.failNext(command, ReplyFault::Short);
        runRangeTool(md5, "0", "100");
        QCOMPARE(lastText(), message);
    }
}

void HelpToolsTest::verifyAgainstTheProbe_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    QTest::newRow("match") << "match" << blue("文件与芯片数据一致！");
    QTest::newRow("no probe") << "noprobe" << red("未连接!");
    QTest::newRow("no file") << "nofile" << red("未选择文件！");
    QTest::newRow("chip not found") << "nodevice" << red("未找到芯片！");
    QTest::newRow("differs") << "differs" << red("文件与芯片数据不一致！");
    QTest::newRow("read-protected") << "protected" << red("芯片读保护！");
    QTest::newRow("wrong model") << "model" << red("芯片型号错误！");
    QTest::newRow("transfer failure") << "short" << red("其他错误!");
}

void HelpToolsTest::verifyAgainstTheProbe()
{
    QFETCH(QString, setup);
    QFETCH(QString, message);
    VirtualProbe &probe = VirtualProbe::instance();
    const std::vector<uint8_t> image = pattern(0x30, 1);
    probe.writeFlash(0x200, setup == "differs" ? pattern(0x30, 2) : image);
    vprobe::ChipState chip = probe.chip();
    chip.deviceId = setup == "nodevice" ? 0 : chip.deviceId;
    chip.model = setup == "model" ? 3 : chip.model;
    probe.setChip(chip);
    if (setup != "noprobe")
        connectProbe();
    if (setup != "nofile") {
        guitest::fillSlot(job(), 0, QByteArray(reinterpret_cast<const char *>(image.data()), 0x30),
                          0x200);
        job().fileCount = 1;
    }
    if (setup == "protected")
        probe.failNext(0x93, ReplyFault::Status, 1, 0xCC);
    if (setup == "short")
        probe.failNext(0x93, ReplyFault::Short);

    driver->answerMessageBox();
    window->helpVerifyActionSlot();
    QVERIFY(driver->waitForAll());
    QCOMPARE(driver->seen().size(), 1);
    QCOMPARE(driver->seen()[0].title, infoTitle);
    QCOMPARE(lastText(), message);
}

// Host-side only: three slots give three lines joined by <br>, an empty image 00000000.
void HelpToolsTest::fileCrc32ListsEveryFile()
{
    driver->answerMessageBox();
    window->helpCRC32FileActionSlot();
    QVERIFY(driver->waitForAll());
    QCOMPARE(lastText(), red("没有文件!"));

    guitest::fillSlot(job(), 0, "123456789", 0);
    guitest::fillSlot(job(), 1, QByteArray(), 0x1000);
    guitest::fillSlot(job(), 2, QByteArray(1, '\0'), 0x2000);
    job().fileCount = 3;
    driver->clearSeen();
    driver->answerMessageBox();
    window->helpCRC32FileActionSlot();
    QVERIFY(driver->waitForAll());
    QCOMPARE(lastText(),
             red("文件1的CRC-32为：0xCBF43926<br>文件2的CRC-32为：0x00000000"
                 "<br>文件3的CRC-32为：0xD202EF8D"));
    QVERIFY(VirtualProbe::instance().trace().empty());
}

QTEST_MAIN(HelpToolsTest)
#include "tst_helptools.moc"
