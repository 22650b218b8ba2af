// The options panel on the real window: chip change and its reset, the QD52 firmware gate, erase,
// check boxes, read protection with its password dialog, rolling code and watchdog confirmation.
#include "options/windowtesthelpers.h"

#include "addressdlg.h"
#include "download.h"
#include "passworddlg.h"
#include "support/modaldriver.h"
#include "virtualprobe.h"

#include <QApplication>
#include <QButtonGroup>
#include <QLineEdit>
#include <QRegExpValidator>
#include <QTemporaryDir>
#include <QtTest>

using optest::blue;
using optest::DebugLog;

namespace {

const QString password = QStringLiteral("%1").arg(readProtectLevel2Password, 8, 16, QChar('0'));
const QString watchdogText =
    QStringLiteral("<font color='#6688DD' size='+2' "
                   "face='新宋体'><b>除非需要打开或关闭看门狗，否则不要打开这个选项。"
                   "请再次确认?(看门狗复位时间约为%1)");
const QString level2Warning = QStringLiteral("<font color='#FF3300' size='+2' face='新宋体'><b> "
                                             "FLASH不可读，且无法解锁，请谨慎使用！ </b></font>");

} // namespace

class OptionsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void reselectingTheSameModelChangesNothing();
    void chipChangeResetsPanel_data();
    void chipChangeResetsPanel();
    void qd52FirmwareGate_data();
    void qd52FirmwareGate();
    void sectorEraseHint_data();
    void sectorEraseHint();
    void buttonsRunTheirHandlerOnce();
    void readProtection_data();
    void readProtection();
    void eightHexDigitsVisible();
    void passwordDialog();
    void watchdogConfirmation_data();
    void watchdogConfirmation();
    void watchdogDefaultAnswerIsNo();
    void rollingCodeFields();
    void rollingAddressAlignment_data();
    void rollingAddressAlignment();
    void alignmentMessageShownOncePerEdit();

private:
    Ui::MainWindow *ui() { return MainWindowTestAccess::ui(*w); }
    Download *job() { return MainWindowTestAccess::download(*w); }
    void selectChip(int index);
    void addBinFile(const QString &name, const QString &addressText, int size);
    void setEveryOptionAwayFromDefault();

    MainWindow *w = nullptr;
    QTemporaryDir dir;
};

void OptionsTest::initTestCase()
{
    registerDownloadMetaType();
    QVERIFY(dir.isValid());
    // The file list remembers its last path in ./Setting.ini: keep it out of the source tree.
    QDir::setCurrent(dir.path());
}

void OptionsTest::init()
{
    vprobe::VirtualProbe::instance().reset();
    w = new MainWindow;
    w->show();
}

void OptionsTest::cleanup()
{
    delete w;
    w = nullptr;
}

// The combo box is locked after start-up; tests unlock it and choose as a user would.
void OptionsTest::selectChip(int index)
{
    ui()->chipComboBox->setEnabled(true);
    ui()->chipComboBox->setCurrentIndex(index);
}

void OptionsTest::addBinFile(const QString &name, const QString &addressText, int size)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(size, '\x5A'));
    f.close();
    ModalDriver driver;
    driver.chooseFile(path).typeAndClick("addressLineEdit", addressText, "okPushButton");
    ui()->fileAddPushButton->click();
    QVERIFY(driver.waitForAll());
}

// Everything the chip change must put back: erase choice kept, all else at its default.
void OptionsTest::setEveryOptionAwayFromDefault()
{
    ui()->sectorEraseRadioButton->click();
    ui()->programCheckBox->click();
    ui()->verifyCheckBox->click();
    ui()->resetAndRunCheckBox->click();
    ModalDriver driver;
    driver.answerMessageBox().answerMessageBox("&Yes");
    ui()->readProtect1RadioButton->click();
    optest::clickGroupBox(ui()->optionsGroupBox);
    QVERIFY(driver.waitForAll());
    ui()->wdtEnableRadioButton->click();
    optest::clickGroupBox(ui()->snGroupBox);
    QTest::keyClicks(ui()->snNumLineEdit, "1234");
    addBinFile("a.bin", "0", 64);
    addBinFile("b.bin", "100", 64);
    w->handleProgressBarSet(55);

    QCOMPARE(job()->fileCount, 2);
    QCOMPARE(job()->watchdogOption, 0xA8);
    QCOMPARE(job()->readProtectLevel, 1);
    QCOMPARE(job()->rollingCodeValue, 0x1234u);
}

void OptionsTest::reselectingTheSameModelChangesNothing()
{
    const auto unchanged = [this](int model) {
        QCOMPARE(job()->chip->model, model);
        QCOMPARE(job()->fileCount, 2);
        QCOMPARE(job()->eraseMode, 1);
        QCOMPARE(job()->programEnabled, 0);
        QCOMPARE(job()->verifyEnabled, 0);
        QCOMPARE(job()->resetAndRun, 1);
        QCOMPARE(job()->readProtectLevel, 1);
        QCOMPARE(job()->watchdogOption, 0xA8);
        QCOMPARE(job()->rollingCodeValue, 0x1234u);
        QVERIFY(ui()->snGroupBox->isChecked());
        QVERIFY(ui()->optionsGroupBox->isChecked());
        QCOMPARE(ui()->progressBar->value(), 55);
    };

    setEveryOptionAwayFromDefault();
    DebugLog log;
    QVERIFY(QMetaObject::invokeMethod(w, "on_chipComboBox_currentIndexChanged", Q_ARG(int, 3)));
    unchanged(2);
    QCOMPARE(log.lines(),
             QStringList({" on_chipComboBox_currentIndexChanged1  3",
                          " on_chipComboBox_currentIndexChanged2  2"}));

    // QA12 and QC18/19 are one model: going from one to the other is no change either.
    selectChip(1);
    setEveryOptionAwayFromDefault();
    selectChip(6);
    unchanged(5);
}

void OptionsTest::chipChangeResetsPanel_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("eraseButton");
    QTest::addColumn<int>("eraseMode");

    QTest::newRow("Unselected keeps sector erase") << 0 << 0 << "sectorEraseRadioButton" << 1;
    QTest::newRow("QA12") << 1 << 5 << "sectorEraseRadioButton" << 1;
    QTest::newRow("QB24 keeps do-not-erase") << 2 << 1 << "doNotEraseRadioButton" << 2;
    QTest::newRow("QC16/18 forces full erase") << 4 << 3 << "sectorEraseRadioButton" << 0;
    QTest::newRow("QC16/18 from do-not-erase") << 4 << 3 << "doNotEraseRadioButton" << 0;
    QTest::newRow("QD52 without a probe") << 5 << 4 << "sectorEraseRadioButton" << 1;
    QTest::newRow("QC18/19") << 6 << 5 << "sectorEraseRadioButton" << 1;
}

void OptionsTest::chipChangeResetsPanel()
{
    QFETCH(int, index);
    QFETCH(int, model);
    QFETCH(QString, eraseButton);
    QFETCH(int, eraseMode);

    setEveryOptionAwayFromDefault();
    w->findChild<QRadioButton *>(eraseButton)->click();
    ModalDriver none; // nothing may pop up
    selectChip(index);
    QVERIFY(none.seen().isEmpty());

    QCOMPARE(job()->chip->model, model);
    QCOMPARE(job()->eraseMode, eraseMode);
    QCOMPARE(MainWindowTestAccess::eraseGroup(*w)->checkedId(), eraseMode);
    QVERIFY(ui()->programCheckBox->isChecked());
    QVERIFY(ui()->verifyCheckBox->isChecked());
    QVERIFY(!ui()->resetAndRunCheckBox->isChecked());
    QCOMPARE(job()->programEnabled, 1);
    QCOMPARE(job()->verifyEnabled, 1);
    QCOMPARE(job()->resetAndRun, 0);
    QVERIFY(ui()->readProtect0RadioButton->isChecked());
    QCOMPARE(job()->readProtectLevel, 0);

    QVERIFY(ui()->snGroupBox->isEnabled());
    QVERIFY(!ui()->snGroupBox->isChecked());
    QCOMPARE(ui()->snNumLineEdit->text(), QString());
    QCOMPARE(ui()->snAddrLineEdit->text(), QString());
    QCOMPARE(ui()->snStepsLineEdit->text(), QString());
    QCOMPARE(job()->rollingCodeValue, 0u);
    QCOMPARE(job()->rollingCodeAddress, 0u);
    QCOMPARE(job()->rollingCodeStep, 0u);

    QVERIFY(ui()->optionsGroupBox->isEnabled());
    QVERIFY(!ui()->optionsGroupBox->isChecked());
    QVERIFY(ui()->wdtDisableRadioButton->isChecked());
    QCOMPARE(job()->watchdogOption, 0);

    QCOMPARE(job()->fileCount, 0);
    QVERIFY(job()->imageData[0] == nullptr && job()->imageData[1] == nullptr);
    QVERIFY(ui()->fileTableWidget->item(0, 0) == nullptr);
    QVERIFY(ui()->fileTableWidget->item(1, 0) == nullptr);
    QVERIFY(ui()->programFilesGroupBox->isEnabled());
    QVERIFY(ui()->startPushButton->isEnabled());
    QCOMPARE(ui()->progressBar->value(), 0);
}

void OptionsTest::qd52FirmwareGate_data()
{
    QTest::addColumn<uint>("probeId");
    QTest::addColumn<bool>("refused");

    QTest::newRow("1.94 refused") << 0x6CFF0194u << true;
    QTest::newRow("1.90 refused") << 0x6CFF0190u << true;
    QTest::newRow("1.95 accepted") << 0x6CFF0195u << false;
    QTest::newRow("1.97 accepted") << 0x6CFF0197u << false;
    QTest::newRow("no probe identified yet") << 0u << false;
}

void OptionsTest::qd52FirmwareGate()
{
    QFETCH(uint, probeId);
    QFETCH(bool, refused);

    addBinFile("a.bin", "0", 16);
    job()->probeId = probeId;
    ModalDriver driver;
    if (refused)
        driver.answerMessageBox();
    selectChip(5);
    QVERIFY(driver.waitForAll());

    if (refused) {
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(driver.seen()[0].title, QString("信息"));
        QCOMPARE(driver.seen()[0].text, blue("固件版本小于1.95，不支持烧录QD52!"));
        QCOMPARE(ui()->chipComboBox->currentIndex(), 0);
        QCOMPARE(job()->chip->model, 0);
    } else {
        QVERIFY(driver.seen().isEmpty());
        QCOMPARE(ui()->chipComboBox->currentIndex(), 5);
        QCOMPARE(job()->chip->model, 4);
    }
    // Either way the model changed, so the panel was reset.
    QCOMPARE(job()->fileCount, 0);
}

void OptionsTest::sectorEraseHint_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("forceFlag");
    QTest::addColumn<bool>("hint");

    QTest::newRow("QC16/18 forced offline") << 4 << 1 << true;
    QTest::newRow("QC16/18 not forced") << 4 << 0 << false;
    QTest::newRow("QB48V forced") << 3 << 1 << false;
    QTest::newRow("QD52 forced") << 5 << 1 << false;
}

void OptionsTest::sectorEraseHint()
{
    QFETCH(int, index);
    QFETCH(int, forceFlag);
    QFETCH(bool, hint);

    selectChip(index);
    job()->offlineForceProgram_flag = forceFlag;
    DebugLog log;
    ModalDriver driver;
    if (hint)
        driver.answerMessageBox();
    ui()->sectorEraseRadioButton->click();
    QVERIFY(driver.waitForAll());

    QCOMPARE(job()->eraseMode, 1);
    QCOMPARE(log.count(" sectorEraseRadioButton "), 1);
    if (hint) {
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(driver.seen()[0].title, QString("信息"));
        QCOMPARE(driver.seen()[0].text, blue("如果芯片处于读保护状态，请选择全擦除。"));
    } else {
        QVERIFY(driver.seen().isEmpty());
    }
}

// Each click reaches its handler exactly once (explicit and by-name bindings alike) with the
// field and the debug text it owes.
void OptionsTest::buttonsRunTheirHandlerOnce()
{
    struct Row
    {
        const char *widget;
        const char *line;
        int Download::*field;
        int value;
    };
    const Row rows[] = {
        {"sectorEraseRadioButton", " sectorEraseRadioButton ", &Download::eraseMode, 1},
        {"doNotEraseRadioButton", " doNotEraseRadioButton ", &Download::eraseMode, 2},
        {"fullEraseRadioButton", " fullEraseRadioButton ", &Download::eraseMode, 0},
        {"programCheckBox", " on_programCheckBox_clicked  false", &Download::programEnabled, 0},
        {"programCheckBox", " on_programCheckBox_clicked  true", &Download::programEnabled, 1},
        {"verifyCheckBox", " on_verifyCheckBox_clicked  false", &Download::verifyEnabled, 0},
        {"resetAndRunCheckBox", " on_resetAndRunCheckBox_clicked  true", &Download::resetAndRun, 1},
        {"resetAndRunCheckBox", " on_resetAndRunCheckBox_clicked  false", &Download::resetAndRun,
         0},
        {"readProtect0RadioButton", " readProtect 0 ", &Download::readProtectLevel, 0},
    };
    for (const Row &row : rows) {
        DebugLog log;
        w->findChild<QAbstractButton *>(row.widget)->click();
        QVERIFY2(log.lines() == QStringList(row.line), row.line);
        QCOMPARE(job()->*row.field, row.value);
    }
}

void OptionsTest::readProtection_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("typed"); // null: no password dialog expected
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("message"); // empty: no message box

    const QString ok = "okPushButton";
    const QString cancel = "cancelPushButton";
    QTest::newRow("level 1 hint") << "readProtect1RadioButton" << QString() << QString() << 1
                                  << blue("FLASH不可读，可以通过SWD解锁。(SWDCLK必须上拉)");
    QTest::newRow("level 0 silent")
        << "readProtect0RadioButton" << QString() << QString() << 0 << QString();
    QTest::newRow("level 2 right password")
        << "readProtect2RadioButton" << password.toUpper() << ok << 2 << level2Warning;
    QTest::newRow("level 2 lower-case password")
        << "readProtect2RadioButton" << password.toLower() << ok << 2 << level2Warning;
    QTest::newRow("level 2 wrong password")
        << "readProtect2RadioButton" << QString("%1").arg(readProtectLevel2Password ^ 1, 0, 16)
        << ok << 0 << QString();
    QTest::newRow("level 2 cancel with right password")
        << "readProtect2RadioButton" << password << cancel << 0 << QString();
    QTest::newRow("level 2 empty password")
        << "readProtect2RadioButton" << QString("") << ok << 0 << QString();
    // The ninth digit is refused by the validator, leaving a different number.
    QTest::newRow("level 2 nine digits") << "readProtect2RadioButton"
                                         << "0" + password << ok << 0 << QString();
}

void OptionsTest::readProtection()
{
    QFETCH(QString, button);
    QFETCH(QString, typed);
    QFETCH(QString, confirm);
    QFETCH(int, level);
    QFETCH(QString, message);

    ModalDriver driver;
    if (!typed.isNull())
        driver.typeAndClick("passwordLineEdit", typed, confirm);
    bool passwordDialogGone = false;
    if (!message.isEmpty()) {
        driver.then([&passwordDialogGone](QWidget *modal, SeenModal &seen) {
            // The warning comes only once the password dialog has closed and is gone.
            passwordDialogGone = true;
            for (QWidget *top : QApplication::topLevelWidgets())
                passwordDialogGone &= qobject_cast<PasswordDlg *>(top) == nullptr;
            seen.clicked = "OK";
            qobject_cast<QDialog *>(modal)->accept();
        });
    }
    DebugLog log;
    w->findChild<QRadioButton *>(button)->click();
    QVERIFY(driver.waitForAll());

    const QList<SeenModal> &seen = driver.seen();
    int next = 0;
    if (!typed.isNull()) {
        QCOMPARE(seen.value(0).className, QString("PasswordDlg"));
        QCOMPARE(seen.value(0).title, QString("输入读保护Level-2密码(文档中)"));
        QCOMPARE(seen.value(0).lineEditTexts, QStringList("0"));
        QCOMPARE(log.count("dlg"), 1);
        QCOMPARE(log.count("~dlg"), 1);
        next = 1;
    }
    if (message.isEmpty()) {
        QCOMPARE(seen.size(), next);
    } else {
        QCOMPARE(seen.size(), next + 1);
        QCOMPARE(seen[next].title, QString("信息"));
        QCOMPARE(seen[next].text, message);
        QVERIFY(passwordDialogGone);
        QCOMPARE(log.count(QString(" readProtect %1 ").arg(level)), 1);
    }
    QCOMPARE(job()->readProtectLevel, level);
    QCOMPARE(MainWindowTestAccess::readProtectGroup(*w)->checkedId(), level);
}

// After the eighth digit the first is still at the field's left edge, not scrolled out of sight.
void OptionsTest::eightHexDigitsVisible()
{
    PasswordDlg password;
    AddressDlg address;
    for (QLineEdit *edit : {password.passwordLineEdit, address.addressLineEdit}) {
        edit->window()->show();
        for (const char *text : {"DDDDDDDD", "88888888", "dddddddd"}) {
            edit->setText(text);
            edit->grab(); // the scroll position is settled when the field paints
            QCOMPARE(edit->cursorPositionAt(edit->contentsRect().topLeft() + QPoint(3, 5)), 0);
        }
    }
}

void OptionsTest::passwordDialog()
{
    PasswordDlg dlg;
    QCOMPARE(dlg.windowTitle(), QString("输入读保护Level-2密码(文档中)"));
    QVERIFY(dlg.windowFlags() & Qt::CustomizeWindowHint);
    QVERIFY(dlg.windowFlags() & Qt::WindowTitleHint);
    QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(dlg.passwordLabel->text(), QString("密码(HEX)"));
    QCOMPARE(dlg.okPushButton->text(), QString("确认"));
    QCOMPARE(dlg.cancelPushButton->text(), QString("取消"));

    struct Typed
    {
        const char *keys;
        const char *kept;
    };
    for (const Typed &t : {Typed{"aF09", "aF09"}, Typed{"12G4", "124"},
                           Typed{"123456789", "12345678"}, Typed{"x-1 ", "1"}}) {
        dlg.passwordLineEdit->clear();
        QTest::keyClicks(dlg.passwordLineEdit, t.keys);
        QCOMPARE(dlg.passwordLineEdit->text(), QString(t.kept));
    }

    dlg.cancelPushButton->click();
    QCOMPARE(dlg.ok, 0);
    dlg.okPushButton->click();
    QCOMPARE(dlg.ok, 1);
}

void OptionsTest::watchdogConfirmation_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("resetTime");

    QTest::newRow("QA12") << 1 << "0.6秒";
    QTest::newRow("QC18/19") << 6 << "0.6秒";
    QTest::newRow("QB24") << 2 << "2秒";
    QTest::newRow("QB48V") << 3 << "2秒";
    QTest::newRow("QC16/18") << 4 << "2秒";
    QTest::newRow("QD52") << 5 << "2秒";
}

void OptionsTest::watchdogConfirmation()
{
    QFETCH(int, index);
    QFETCH(QString, resetTime);

    selectChip(index);
    ModalDriver driver;
    driver.answerMessageBox("&Yes");
    DebugLog log;
    optest::clickGroupBox(ui()->optionsGroupBox);
    QVERIFY(driver.waitForAll());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen()[0].title, QString("警告"));
    QCOMPARE(driver.seen()[0].text, watchdogText.arg(resetTime));
    QVERIFY(ui()->optionsGroupBox->isChecked());
    QVERIFY(ui()->wdtDisableRadioButton->isChecked());
    QCOMPARE(job()->watchdogOption, 0x55);
    QCOMPARE(log.lines(), QStringList("on_optionsGroupBox_clicked 85"));

    struct Step
    {
        QAbstractButton *button;
        int value;
        const char *line;
    };
    for (const Step &s :
         {Step{ui()->wdtEnableRadioButton, 0xA8, "on_wdtEnableRadioButton_clicked 168"},
          Step{ui()->wdtDisableRadioButton, 0x55, "on_wdtEnableRadioButton_clicked 85"},
          Step{ui()->wdtEnableRadioButton, 0xA8, "on_wdtEnableRadioButton_clicked 168"}}) {
        log.clear();
        s.button->click();
        QCOMPARE(job()->watchdogOption, s.value);
        QCOMPARE(log.lines(), QStringList(s.line));
    }

    log.clear();
    optest::clickGroupBox(ui()->optionsGroupBox);
    QVERIFY(!ui()->optionsGroupBox->isChecked());
    QVERIFY(ui()->wdtDisableRadioButton->isChecked());
    QCOMPARE(job()->watchdogOption, 0);
    QCOMPARE(log.lines(), QStringList("on_optionsGroupBox_clicked 0"));
}

void OptionsTest::watchdogDefaultAnswerIsNo()
{
    ModalDriver driver;
    driver.answerMessageBox(); // the default button
    optest::clickGroupBox(ui()->optionsGroupBox);
    QVERIFY(driver.waitForAll());
    QCOMPARE(driver.seen().value(0).clicked, QString("&No"));
    QVERIFY(!ui()->optionsGroupBox->isChecked());
    QVERIFY(ui()->wdtDisableRadioButton->isChecked());
    QCOMPARE(job()->watchdogOption, 0);
}

void OptionsTest::rollingCodeFields()
{
    DebugLog log;
    optest::clickGroupBox(ui()->snGroupBox);
    QVERIFY(ui()->snGroupBox->isChecked());
    for (QLineEdit *edit : {ui()->snNumLineEdit, ui()->snAddrLineEdit, ui()->snStepsLineEdit})
        QCOMPARE(edit->text(), QString("0"));
    QCOMPARE(log.count(" on_snGroupBox_clicked  true"), 1);

    // Typed key by key through the validators; a ninth digit is refused.
    QTest::keyClicks(ui()->snNumLineEdit, "ABCDEF12");
    QTest::keyClicks(ui()->snStepsLineEdit, "123456789");
    QCOMPARE(ui()->snNumLineEdit->text(), QString("0ABCDEF1"));
    QCOMPARE(job()->rollingCodeValue, 0x0ABCDEF1u);
    QCOMPARE(ui()->snStepsLineEdit->text(), QString("01234567"));
    QCOMPARE(job()->rollingCodeStep, 0x01234567u);
    ui()->snNumLineEdit->setText("ffffffff");
    QCOMPARE(job()->rollingCodeValue, 0xFFFFFFFFu);
    QCOMPARE(log.count(" on_snNumLineEdit_textChanged  4294967295"), 1);
    ui()->snStepsLineEdit->clear();
    QCOMPARE(job()->rollingCodeStep, 0u);

    log.clear();
    optest::clickGroupBox(ui()->snGroupBox);
    for (QLineEdit *edit : {ui()->snNumLineEdit, ui()->snAddrLineEdit, ui()->snStepsLineEdit})
        QCOMPARE(edit->text(), QString());
    QCOMPARE(job()->rollingCodeValue, 0u);
    QCOMPARE(job()->rollingCodeAddress, 0u);
    QCOMPARE(job()->rollingCodeStep, 0u);
    QCOMPARE(log.count(" on_snGroupBox_clicked  false"), 1);
}

void OptionsTest::rollingAddressAlignment_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<uint>("address");

    QTest::newRow("1002 refused") << "1002" << true << 0u;
    QTest::newRow("1004 kept") << "1004" << false << 0x1004u;
    QTest::newRow("FFFFFFFF refused") << "FFFFFFFF" << true << 0u;
    QTest::newRow("FFFFFFFC kept") << "FFFFFFFC" << false << 0xFFFFFFFCu;
    QTest::newRow("empty kept as 0") << "" << false << 0u;
}

void OptionsTest::rollingAddressAlignment()
{
    QFETCH(QString, typed);
    QFETCH(bool, refused);
    QFETCH(uint, address);

    optest::clickGroupBox(ui()->snGroupBox);
    QLineEdit *edit = ui()->snAddrLineEdit;
    edit->clear();
    QTest::keyClicks(edit, typed);
    ModalDriver driver;
    if (refused)
        driver.answerMessageBox();
    DebugLog log;
    QTest::keyClick(edit, Qt::Key_Return); // editing finished
    QVERIFY(driver.waitForAll());

    if (refused) {
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(driver.seen()[0].title, QString("警告"));
        QCOMPARE(driver.seen()[0].text, QString("FLASH地址必须4字节对齐"));
        QCOMPARE(edit->text(), QString());
    } else {
        QVERIFY(driver.seen().isEmpty());
        QCOMPARE(edit->text(), typed);
    }
    QCOMPARE(job()->rollingCodeAddress, address);
    QCOMPARE(log.count(" on_snAddrLineEdit_editingFinished "), 1);
}

// The message box takes the focus from the line edit, which then reports editing finished again;
// that second report must not find the refused address and open a second box.
void OptionsTest::alignmentMessageShownOncePerEdit()
{
    optest::clickGroupBox(ui()->snGroupBox);
    QLineEdit *edit = ui()->snAddrLineEdit;
    QApplication::setActiveWindow(w);
    edit->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTRY_VERIFY(edit->hasFocus());
    edit->clear();
    QTest::keyClicks(edit, "1002");
    ModalDriver driver(2000);
    driver.answerMessageBox().answerMessageBox();
    DebugLog log;
    QTest::keyClick(edit, Qt::Key_Return);
    driver.waitForAll();

    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen()[0].text, QString("FLASH地址必须4字节对齐"));
    QCOMPARE(job()->rollingCodeAddress, 0u);
    QCOMPARE(log.count(" on_snAddrLineEdit_editingFinished "), 2);
}

QTEST_MAIN(OptionsTest)
#include "tst_options.moc"
