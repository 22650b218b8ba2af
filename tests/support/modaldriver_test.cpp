// The modal driver itself: every other GUI test relies on it acting on the right widget and on it
// failing, not hanging, when a dialog is missing or unexpected.
#include "support/modaldriver.h"

#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegExpValidator>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A small dialog shaped like the tool's address dialog: an unaligned value shows a message box
// over it and keeps it open.
class AlignedValueDialog : public QDialog
{
public:
    AlignedValueDialog()
    {
        setWindowTitle("value");
        edit = new QLineEdit("0", this);
        edit->setObjectName("addressLineEdit");
        edit->setValidator(new QRegExpValidator(QRegExp("[A-Fa-f0-9]{0,8}"), edit));
        auto *ok = new QPushButton("OK here", this);
        ok->setObjectName("okPushButton");
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(edit);
        layout->addWidget(ok);
        connect(ok, &QPushButton::clicked, this, [this] {
            if (edit->text().toUInt(nullptr, 16) % 4 != 0) {
                QMessageBox::information(this, "warn", "not aligned");
                return;
            }
            accept();
        });
    }
    QLineEdit *edit;
};

} // namespace

class ModalDriverTest : public QObject
{
    Q_OBJECT
private slots:
    void answersMessageBoxButtons_data();
    void answersMessageBoxButtons();
    void sameDialogComesBackAfterMessageOverIt();
    void choosesAndCancelsFileDialog();
    void unexpectedDialogIsClosedAfterTimeLimit();
    void missingDialogFailsWait();
    void missingButtonFailsAndCloses();
};

void ModalDriverTest::answersMessageBoxButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("expected");
    QTest::newRow("no") << "&No" << int(QMessageBox::No);
    QTest::newRow("yes without mnemonic") << "Yes" << int(QMessageBox::Yes);
    QTest::newRow("default") << "" << int(QMessageBox::No);
}

void ModalDriverTest::answersMessageBoxButtons()
{
    QFETCH(QString, button);
    QFETCH(int, expected);
    ModalDriver driver;
    driver.answerMessageBox(button);
    const int answer = QMessageBox::question(nullptr, "title", "<b>question</b>",
                                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    QVERIFY(driver.waitForAll());
    QCOMPARE(answer, expected);
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen()[0].className, QString("QMessageBox"));
    QCOMPARE(driver.seen()[0].title, QString("title"));
    QCOMPARE(driver.seen()[0].text, QString("<b>question</b>"));
}

void ModalDriverTest::sameDialogComesBackAfterMessageOverIt()
{
    AlignedValueDialog dialog;
    ModalDriver driver;
    driver.typeAndClick("addressLineEdit", "12", "okPushButton")
        .answerMessageBox()
        .typeAndClick("addressLineEdit", "1x0", "okPushButton");
    dialog.exec();
    QVERIFY(driver.waitForAll());
    // The validator refused the x, as it would for a user typing.
    QCOMPARE(dialog.edit->text(), QString("10"));
    QStringList classes;
    for (const SeenModal &seen : driver.seen())
        classes << seen.className;
    QCOMPARE(classes, QStringList({"QDialog", "QMessageBox", "QDialog"}));
    QCOMPARE(driver.seen()[0].lineEditTexts, QStringList({"0"}));
    QCOMPARE(driver.seen()[1].text, QString("not aligned"));
    QCOMPARE(driver.seen()[2].lineEditTexts, QStringList({"12"}));
    QCOMPARE(driver.seen()[2].clicked, QString("OK here"));
}

void ModalDriverTest::choosesAndCancelsFileDialog()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("image.hex");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    ModalDriver driver;
    driver.chooseFile(path).cancelFileDialog();
    const QString chosen =
        QFileDialog::getOpenFileName(nullptr, "open", dir.path(), "files (*.hex *.bin)");
    const QString cancelled =
        QFileDialog::getOpenFileName(nullptr, "open", dir.path(), "files (*.hex *.bin)");
    QVERIFY(driver.waitForAll());
    QCOMPARE(chosen, path);
    QCOMPARE(cancelled, QString());
}

void ModalDriverTest::unexpectedDialogIsClosedAfterTimeLimit()
{
    ModalDriver driver(300);
    QMessageBox::information(nullptr, "surprise", "nobody expects this");
    QCOMPARE(driver.failures(), 1);
    QVERIFY(!driver.waitForAll());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen()[0].text, QString("nobody expects this"));
}

void ModalDriverTest::missingDialogFailsWait()
{
    ModalDriver driver(200);
    driver.answerMessageBox();
    QVERIFY(!driver.waitForAll());
    QCOMPARE(driver.pending(), 0);
    // The dropped step does not act on a later box: that one is unexpected and closed.
    QMessageBox::information(nullptr, "later", "later box");
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen()[0].clicked, QString("<closed: no step for it>"));
}

void ModalDriverTest::missingButtonFailsAndCloses()
{
    AlignedValueDialog dialog;
    ModalDriver driver;
    driver.clickButton("noSuchButton");
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(!driver.waitForAll());
    QCOMPARE(driver.failures(), 1);
}

QTEST_MAIN(ModalDriverTest)
#include "modaldriver_test.moc"
