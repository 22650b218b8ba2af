// The window as start-up leaves it: widget inventory, Chinese and English texts, initial states,
// the job record it made, title and frame, the menus left after the event loop ran, and which
// locales load the English translation.
#include "support/mainwindowaccess.h"
#include "support/modaldriver.h"

#include "apptitle.h"
#include "download.h"
#include "handlebar.h"
#include "job/localepolicy.h"

#include <QAction>
#include <QHeaderView>
#include <QMenuBar>
#include <QRegExpValidator>
#include <QTest>
#include <QTranslator>
#include <memory>

using Access = MainWindowTestAccess;

namespace {

// Visible text of any widget kind of the form.
QString textOf(QObject *o)
{
    if (auto *g = qobject_cast<QGroupBox *>(o))
        return g->title();
    if (auto *m = qobject_cast<QMenu *>(o))
        return m->title();
    if (auto *c = qobject_cast<QComboBox *>(o))
        return c->currentText();
    for (const char *property : {"text", "title"}) {
        const QVariant v = o->property(property);
        if (v.isValid())
            return v.toString();
    }
    return QString();
}

// Nearest ancestor that the inventory names as the widget's container.
QString containerOf(QObject *o)
{
    for (QObject *p = o->parent(); p; p = p->parent()) {
        const QString name = p->objectName();
        if (name == "configGroupBox" || name == "snGroupBox" || name == "programFilesGroupBox"
            || name == "optionsGroupBox" || name == "menuBar" || name == "centralWidget"
            || name == "MainWindow")
            return name;
    }
    return QString();
}

QStringList debugLines;
void collectDebug(QtMsgType, const QMessageLogContext &, const QString &text)
{
    debugLines << text;
}

struct InventoryRow
{
    const char *name, *kind, *inside, *chinese, *english;
};

// Texts as the constructor (or, where it keeps it, the form) sets them.
const InventoryRow inventory[] = {
    {"logoLabel", "QLabel", "centralWidget", "Quorvel", "Quorvel"},
    {"connectPushButton", "QPushButton", "centralWidget", "未连接", "Unconnected"},
    {"configGroupBox", "QGroupBox", "centralWidget", "配置", "Configuration"},
    {"fullEraseRadioButton", "QRadioButton", "configGroupBox", "全擦除", "Full erase"},
    {"sectorEraseRadioButton", "QRadioButton", "configGroupBox", "扇区擦除", "Sector erase"},
    {"doNotEraseRadioButton", "QRadioButton", "configGroupBox", "不擦除", "Do not erase"},
    {"programCheckBox", "QCheckBox", "configGroupBox", "烧写", "Program"},
    {"verifyCheckBox", "QCheckBox", "configGroupBox", "校验", "Verify"},
    {"resetAndRunCheckBox", "QCheckBox", "configGroupBox", "复位运行", "Reset and run"},
    {"chipLabel", "QLabel", "configGroupBox", "      芯片型号", "      Chip model"},
    {"chipComboBox", "QComboBox", "configGroupBox", "QB48V", "QB48V"},
    {"readProtect0RadioButton", "QRadioButton", "configGroupBox", "读保护Level-0",
     "Read protect Level-0"},
    {"readProtect1RadioButton", "QRadioButton", "configGroupBox", "读保护Level-1",
     "Read protect Level-1"},
    {"readProtect2RadioButton", "QRadioButton", "configGroupBox", "读保护Level-2",
     "Read protect Level-2"},
    {"snGroupBox", "QGroupBox", "centralWidget", "滚码", "Rolling code"},
    {"snNumLabel", "QLabel", "snGroupBox", "滚码值(HEX)      ", "Rolling code (HEX)      "},
    {"snNumLineEdit", "QLineEdit", "snGroupBox", "", ""},
    {"snAddrLabel", "QLabel", "snGroupBox", "滚码地址(HEX)    ", "Flash address (HEX)    "},
    {"snAddrLineEdit", "QLineEdit", "snGroupBox", "", ""},
    {"snStepsLabel", "QLabel", "snGroupBox", "滚码步进(HEX)    ", "Step (HEX)    "},
    {"snStepsLineEdit", "QLineEdit", "snGroupBox", "", ""},
    {"progressBar", "QProgressBar", "centralWidget", "0%", "0%"},
    {"startPushButton", "QPushButton", "centralWidget", "开始", "Start"},
    {"programFilesGroupBox", "QGroupBox", "centralWidget", "烧录文件", "Program files"},
    {"fileTableWidget", "QTableWidget", "programFilesGroupBox", "", ""},
    {"fileAddPushButton", "QPushButton", "programFilesGroupBox", "添加", "Add"},
    {"fileRemovePushButton", "QPushButton", "programFilesGroupBox", "删除", "Remove"},
    {"optionsGroupBox", "QGroupBox", "centralWidget", "看门狗选项", "Watchdog option"},
    {"wdtEnableRadioButton", "QRadioButton", "optionsGroupBox", "打开", "Enable"},
    {"wdtDisableRadioButton", "QRadioButton", "optionsGroupBox", "关闭", "Disable"},
    {"firmwareVersionLabel", "QLabel", "centralWidget", "固件版本：", "Firmware version:"},
    {"firmwareValueLabel", "QLabel", "centralWidget", "", ""},
    {"offlineMenu", "QMenu", "menuBar", "脱机烧录", "Offline programming"},
    {"helpMenu", "QMenu", "menuBar", "帮助", "Help"},
    {"mainToolBar", "QToolBar", "MainWindow", "", ""},
    {"statusBar", "QStatusBar", "MainWindow", "", ""},
};

struct ActionRow
{
    const char *menu, *chinese, *tipChinese, *english, *tipEnglish;
};

const ActionRow actions[] = {
    {"projectMenu", "打开工程…", "打开保存的工程，恢复选项和烧录文件", "Open job…",
     "Open a saved job: its options and program files"},
    {"projectMenu", "保存工程…", "把当前的选项和烧录文件保存为工程文件", "Save job…",
     "Save the current options and program files as a job file"},
    {"offlineMenu", "配置", "脱机烧录配置", "Settings", "Offline Programming Settings"},
    {"offlineMenu", "删除", "删除烧录文件", "Delete",
     "Erase the programming file stored in the probe"},
    {"helpMenu", "校验文件", "校验芯片数据和文件是否一致", "Verify files",
     "Check that the chip contents match the files"},
    {"helpMenu", "MD5", "读取指定位置的MD5值", "MD5", "Read the MD5 of a flash range"},
    {"helpMenu", "CRC-32", "读取指定位置的CRC-32值，多项式：0x04C11DB7", "CRC-32",
     "Read the CRC-32 of a flash range, polynomial: 0x04C11DB7"},
    {"helpMenu", "CRC-32文件", "读取所有文件的CRC-32值，多项式：0x04C11DB7", "CRC-32 of files",
     "Compute the CRC-32 of every file, polynomial: 0x04C11DB7"},
    {"helpMenu", "烧录地图", "查看文件、擦除范围和滚码在芯片上的位置", "Flash map",
     "Show where the files, the erase ranges and the rolling code land on the chip"},
};

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerDownloadMetaType(); }
    void inventoryAndTexts_data();
    void inventoryAndTexts();
    void layoutContainers();
    void initialStates();
    void fontsStylesAndInputs();
    void fileTable();
    void jobRecordAfterStartUp();
    void copiedRecordLeavesWindowObjectsIntact();
    void titleAndFixedFrame();
    void menusAfterEventLoop_data();
    void menusAfterEventLoop();
    void groupSlotsRunOncePerClick();
    void translationLocales_data();
    void translationLocales();
};

// Installs the English translation when asked; false when the file does not load.
static bool useLanguage(QTranslator &translator, bool english)
{
    if (!english)
        return true;
    if (!translator.load(englishTranslationPath()))
        return false;
    QCoreApplication::installTranslator(&translator);
    return true;
}

void WindowTest::inventoryAndTexts_data()
{
    QTest::addColumn<bool>("english");
    QTest::newRow("Chinese") << false;
    QTest::newRow("English") << true;
}

void WindowTest::inventoryAndTexts()
{
    QFETCH(bool, english);
    QTranslator translator;
    QVERIFY(useLanguage(translator, english));
    MainWindow w;
    QCOMPARE(w.objectName(), QString("MainWindow"));
    for (const InventoryRow &row : inventory) {
        QObject *o = w.findChild<QObject *>(row.name);
        QVERIFY2(o, row.name);
        QCOMPARE(QString(o->metaObject()->className()), QString(row.kind));
        QCOMPARE(containerOf(o), QString(row.inside));
        QCOMPARE(textOf(o), QString::fromUtf8(english ? row.english : row.chinese));
    }
    auto *combo = w.findChild<QComboBox *>("chipComboBox");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items,
             QStringList({"Unselected", "QA12", "QB24", "QB48V", "QC16/18", "QD52", "QC18/19"}));
    for (const ActionRow &row : actions) {
        const QString text = QString::fromUtf8(english ? row.english : row.chinese);
        const QString tip = QString::fromUtf8(english ? row.tipEnglish : row.tipChinese);
        auto *menu = w.findChild<QMenu *>(row.menu);
        const auto menuActions = menu->actions();
        auto match = std::find_if(menuActions.begin(), menuActions.end(),
                                  [&](QAction *a) { return a->text() == text; });
        QVERIFY2(match != menuActions.end(), qPrintable(text));
        QCOMPARE((*match)->statusTip(), tip);
    }
    QCoreApplication::removeTranslator(&translator);
}

void WindowTest::layoutContainers()
{
    MainWindow w;
    const char *containers[] = {"verticalLayoutWidget",     "verticalLayoutWidget_2",
                                "verticalLayoutWidget_3",   "horizontalLayoutWidget",
                                "horizontalLayoutWidget_2", "horizontalLayoutWidget_3",
                                "horizontalLayoutWidget_4", "horizontalLayoutWidget_5",
                                "horizontalLayoutWidget_6", "horizontalLayoutWidget_7"};
    const char *layouts[] = {"verticalLayout",     "verticalLayout_2",   "verticalLayout_3",
                             "horizontalLayout",   "horizontalLayout_2", "horizontalLayout_3",
                             "horizontalLayout_4", "horizontalLayout_5", "horizontalLayout_6",
                             "horizontalLayout_10"};
    for (const char *name : containers)
        QVERIFY2(w.findChild<QWidget *>(name), name);
    for (const char *name : layouts)
        QVERIFY2(w.findChild<QLayout *>(name), name);
    // Rows that the user reads as one line share a layout.
    auto *progress = w.findChild<QWidget *>("progressBar");
    QCOMPARE(progress->parentWidget(), w.findChild<QWidget *>("startPushButton")->parentWidget());
    QCOMPARE(w.findChild<QWidget *>("firmwareVersionLabel")->parentWidget(),
             w.findChild<QWidget *>("firmwareValueLabel")->parentWidget());
    QCOMPARE(w.findChild<QWidget *>("chipLabel")->parentWidget(),
             w.findChild<QWidget *>("chipComboBox")->parentWidget());
}

void WindowTest::initialStates()
{
    MainWindow w;
    Ui::MainWindow *ui = Access::ui(w);
    const QList<QPair<QAbstractButton *, bool>> checks = {
        {ui->fullEraseRadioButton, true},     {ui->sectorEraseRadioButton, false},
        {ui->doNotEraseRadioButton, false},   {ui->programCheckBox, true},
        {ui->verifyCheckBox, true},           {ui->resetAndRunCheckBox, false},
        {ui->readProtect0RadioButton, true},  {ui->readProtect1RadioButton, false},
        {ui->readProtect2RadioButton, false}, {ui->wdtEnableRadioButton, false},
        {ui->wdtDisableRadioButton, true}};
    for (const auto &c : checks)
        QVERIFY2(c.first->isChecked() == c.second, qPrintable(c.first->objectName()));
    QVERIFY(ui->snGroupBox->isCheckable() && !ui->snGroupBox->isChecked());
    QVERIFY(ui->optionsGroupBox->isCheckable() && !ui->optionsGroupBox->isChecked());
    // The chip selection at the end of start-up enabled the panels; only the chip stays locked.
    for (QWidget *enabled : {(QWidget *)ui->snGroupBox, (QWidget *)ui->optionsGroupBox,
                             (QWidget *)ui->programFilesGroupBox, (QWidget *)ui->startPushButton,
                             (QWidget *)ui->configGroupBox, (QWidget *)ui->connectPushButton})
        QVERIFY2(enabled->isEnabled(), qPrintable(enabled->objectName()));
    QVERIFY(!ui->chipComboBox->isEnabled());
    QCOMPARE(ui->chipComboBox->currentIndex(), 3);
    QCOMPARE(ui->progressBar->minimum(), 0);
    QCOMPARE(ui->progressBar->maximum(), 100);
    QCOMPARE(ui->progressBar->value(), 0);
    for (auto *group : {Access::eraseGroup(w), Access::readProtectGroup(w), Access::wdtGroup(w)})
        QCOMPARE(group->parent(), &w);
    QCOMPARE(Access::eraseGroup(w)->id(ui->sectorEraseRadioButton), 1);
    QCOMPARE(Access::eraseGroup(w)->id(ui->doNotEraseRadioButton), 2);
    QCOMPARE(Access::readProtectGroup(w)->id(ui->readProtect2RadioButton), 2);
    QCOMPARE(Access::wdtGroup(w)->id(ui->wdtEnableRadioButton), 0);
    QCOMPARE(Access::wdtGroup(w)->id(ui->wdtDisableRadioButton), 1);
}

void WindowTest::fontsStylesAndInputs()
{
    MainWindow w;
    Ui::MainWindow *ui = Access::ui(w);
    const QFont logo = ui->logoLabel->font();
    QVERIFY(logo.pointSize() == 18 && logo.italic() && logo.weight() == 75);
    const QFont button = ui->connectPushButton->font();
    QVERIFY(button.pointSize() == 11 && !button.italic() && button.weight() == 75);
    QCOMPARE(ui->logoLabel->styleSheet(), QString("color:#ff8800;"));
    QCOMPARE(ui->connectPushButton->styleSheet(), QString("color:rgb(88, 87, 86)"));
    QCOMPARE(ui->chipComboBox->styleSheet(), QString("color:#ff0000;"));
    QCOMPARE(ui->firmwareVersionLabel->styleSheet(), QString("color:#666666;"));
    QCOMPARE(ui->firmwareValueLabel->styleSheet(), QString("color:#666666;"));

    const QList<QPair<QLineEdit *, QRegExpValidator *>> edits = {
        {ui->snNumLineEdit, Access::snNumValidator(w)},
        {ui->snAddrLineEdit, Access::snAddrValidator(w)},
        {ui->snStepsLineEdit, Access::snStepsValidator(w)}};
    ui->snGroupBox->setChecked(true); // an unchecked group keeps its edits disabled
    for (const auto &e : edits) {
        QLineEdit *edit = e.first;
        QCOMPARE(edit->validator(), e.second);
        QCOMPARE(e.second->parent(), edit);
        QCOMPARE(e.second->regExp().pattern(), QString("[A-Fa-f0-9]{0,8}"));
        QCOMPARE(e.second->regExp().caseSensitivity(), Qt::CaseSensitive);
        QCOMPARE(edit->alignment(), Qt::AlignRight);
        QVERIFY(edit->font().pointSize() == 12 && edit->font().weight() == 50);
        QCOMPARE(edit->font().styleName(), QString("Courier New"));
        // What a user can type: nine digits stop at eight, a non-hex letter is refused.
        edit->clear();
        QTest::keyClicks(edit, "12aFg3456789");
        QCOMPARE(edit->text(), QString("12aF3456"));
    }
}

void WindowTest::fileTable()
{
    MainWindow w;
    QTableWidget *table = Access::ui(w)->fileTableWidget;
    QCOMPARE(table->rowCount(), 10);
    QCOMPARE(table->columnCount(), 3);
    QStringList headers;
    for (int c = 0; c < 3; ++c)
        headers << table->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, QStringList({"文件名", "FLASH地址", "大小"}));
    QCOMPARE(table->columnWidth(0), 200);
    QCOMPARE(table->horizontalHeader()->sectionResizeMode(1), QHeaderView::Stretch);
    QCOMPARE(table->horizontalHeader()->sectionResizeMode(2), QHeaderView::Stretch);
    QCOMPARE(table->verticalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
    QCOMPARE(table->verticalHeader()->width(), 30);
    QCOMPARE(table->verticalHeader()->defaultAlignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void WindowTest::jobRecordAfterStartUp()
{
    MainWindow w;
    const Download *d = Access::download(w);
    QVERIFY(d && d->chip && d->handleBar);
    QCOMPARE(d->chip->model, 2); // index 3, QB48
    QCOMPARE(d->chip->deviceId, 0u);
    QCOMPARE(d->eraseMode, 0); // set again from the checked erase button
    QCOMPARE(d->programEnabled, 1);
    QCOMPARE(d->verifyEnabled, 1);
    QCOMPARE(d->resetAndRun, 0);
    QCOMPARE(d->readProtectLevel, 0);
    QCOMPARE(d->watchdogOption, 0);
    QCOMPARE(d->fileCount, 0);
    QCOMPARE(d->connected, 0);
    QVERIFY(d->device == nullptr);
    QCOMPARE(d->probeId, 0u);
    QVERIFY(Access::workerThread(w).isRunning());
    QVERIFY(!Access::usbThread(w)->isRunning());
    QVERIFY(Access::offDlg(w) && !Access::offDlg(w)->parent());
}

void WindowTest::copiedRecordLeavesWindowObjectsIntact()
{
    MainWindow w;
    Download *d = Access::download(w);
    auto copy = std::make_unique<Download>(*d);
    QCOMPARE(copy->chip, d->chip);
    QCOMPARE(copy->handleBar, d->handleBar);
    copy.reset();
    // The window's progress still arrives through the shared bar, and the chip is still there.
    emit d->handleBar->progressBarSet(120);
    QCOMPARE(Access::ui(w)->progressBar->value(), 100);
    QCOMPARE(d->chip->model, 2);
}

void WindowTest::titleAndFixedFrame()
{
    QCOMPARE(applicationTitle(), QString("Quorvel V1.97f"));
    MainWindow w;
    QCOMPARE(w.windowTitle(), QString("MainWindow")); // main() replaces the form's title
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(w.minimumSize(), QSize(687, 696));
    QCOMPARE(w.maximumSize(), QSize(687, 696));
    QCOMPARE(Access::ui(w)->mainToolBar->parent(), &w);
    QCOMPARE(w.toolBarArea(Access::ui(w)->mainToolBar), Qt::TopToolBarArea);
}

void WindowTest::menusAfterEventLoop_data()
{
    inventoryAndTexts_data();
}

void WindowTest::menusAfterEventLoop()
{
    QFETCH(bool, english);
    QTranslator translator;
    QVERIFY(useLanguage(translator, english));
    MainWindow w;
    QCOMPARE(Access::ui(w)->menuBar->actions().size(), 6);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList titles;
    for (QAction *a : Access::ui(w)->menuBar->actions())
        titles << a->text();
    QCOMPARE(titles,
             english ? QStringList({"Project", "Offline programming", "Help"})
                     : QStringList({"工程", "脱机烧录", "帮助"}));
    QVERIFY(!w.findChild<QMenu *>("remoteMenu"));
    QVERIFY(!w.findChild<QMenu *>("icpInfoMenu"));
    QVERIFY(!w.findChild<QMenu *>("chipInfoMenu"));
    const QList<QAction *> project = Access::projectMenu(w)->actions();
    QCOMPARE(project.mid(0, 3),
             QList<QAction *>(
                 {Access::openJobAction(w), Access::saveJobAction(w), Access::recordAction(w)}));
    QCOMPARE(project.size(), 11);
    QVERIFY(project[3]->isSeparator());
    QCOMPARE(project[4], Access::autoAction(w));
    QVERIFY(project[6]->isSeparator());
    QCOMPARE(project[7]->menu()->objectName(), QString("pathMenu"));
    QCOMPARE(project[8]->objectName(), QString("deviceAction"));
    QCOMPARE(project[9]->objectName(), QString("readAction"));
    QCOMPARE(project[10]->objectName(), QString("selfTestAction"));
    QVERIFY(!project[10]->isEnabled());
    QCOMPARE(project[4]->text(),
             english ? QString("Auto-program when a chip is attached") : QString("自动烧录"));
    QVERIFY(project[4]->isCheckable() && !project[4]->isChecked());
    QCOMPARE(project[5]->objectName(), QString("stationAction"));
    QCOMPARE(project[5]->text(), english ? QString("Station…") : QString("产线…"));
    QCOMPARE(project[5]->statusTip(),
             english ? QString("Open a job and program it on several probes at once")
                     : QString("打开工程，在多个烧录器上同时烧录"));
    QCOMPARE(Access::ui(w)->offlineMenu->actions(),
             QList<QAction *>({Access::offlineConfigAction(w), Access::offlineEraseAction(w)}));
    QCOMPARE(Access::ui(w)->helpMenu->actions(),
             QList<QAction *>({Access::helpVerifyAction(w), Access::helpMD5Action(w),
                               Access::helpCRC32Action(w), Access::helpCRC32FileAction(w),
                               Access::helpFlashMapAction(w)}));
    QCoreApplication::removeTranslator(&translator);
}

void WindowTest::groupSlotsRunOncePerClick()
{
    MainWindow w;
    Ui::MainWindow *ui = Access::ui(w);
    debugLines.clear();
    QtMessageHandler previous = qInstallMessageHandler(collectDebug);
    ui->sectorEraseRadioButton->click();
    ModalDriver driver;
    driver.answerMessageBox();
    ui->readProtect1RadioButton->click(); // Level 1 explains itself in one box
    qInstallMessageHandler(previous);
    QVERIFY(driver.waitForAll());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(debugLines.count(" sectorEraseRadioButton "), 1);
    QCOMPARE(debugLines.count(" readProtect 1 "), 1);
    QCOMPARE(Access::download(w)->eraseMode, 1);
    QCOMPARE(Access::download(w)->readProtectLevel, 1);
}

void WindowTest::translationLocales_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("english");
    QTest::newRow("zh_CN") << "zh_CN" << false;
    QTest::newRow("zh_HK") << "zh_HK" << false;
    QTest::newRow("zh_TW") << "zh_TW" << false;
    QTest::newRow("zh_MO") << "zh_MO" << false;
    QTest::newRow("zh_CHS") << "zh_CHS" << false;
    QTest::newRow("zh_SG") << "zh_SG" << true;
    QTest::newRow("en_US") << "en_US" << true;
    QTest::newRow("ZH_CN differs in case") << "ZH_CN" << true;
    QTest::newRow("empty") << "" << true;
}

void WindowTest::translationLocales()
{
    QFETCH(QString, locale);
    QFETCH(bool, english);
    QCOMPARE(needsEnglishTranslation(locale), english);
    QCOMPARE(englishTranslationPath(), QCoreApplication::applicationDirPath() + "/Quorvel_EN.qm");
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
