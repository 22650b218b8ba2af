// Modal-dialog driver for GUI tests: a polling timer meets each new modal widget, records it and
// runs the next queued step on it; modal widgets nobody expects are closed after the time limit.
#include "modaldriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

struct ModalDriver::Step
{
    Action action;
};

namespace {

qint64 nowMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

QString withoutMnemonic(QString text)
{
    return text.remove('&');
}

QLineEdit *findLineEdit(QWidget *modal, const QString &name)
{
    if (name.isEmpty()) {
        const auto edits = modal->findChildren<QLineEdit *>();
        return edits.isEmpty() ? nullptr : edits.first();
    }
    return modal->findChild<QLineEdit *>(name);
}

QAbstractButton *findButton(QWidget *modal, const QString &nameOrText)
{
    if (auto *byName = modal->findChild<QAbstractButton *>(nameOrText))
        return byName;
    for (QAbstractButton *button : modal->findChildren<QAbstractButton *>()) {
        if (button->text() == nameOrText
            || withoutMnemonic(button->text()) == withoutMnemonic(nameOrText))
            return button;
    }
    return nullptr;
}

QAbstractButton *messageBoxButton(QMessageBox *box, const QString &text)
{
    if (text.isEmpty()) {
        if (box->defaultButton())
            return box->defaultButton();
        if (box->escapeButton())
            return box->escapeButton();
        return box->buttons().isEmpty() ? nullptr : box->buttons().first();
    }
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == text || withoutMnemonic(button->text()) == withoutMnemonic(text))
            return button;
    }
    return nullptr;
}

void closeModal(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->done(QDialog::Rejected);
    else
        modal->close();
}

} // namespace

ModalDriver::ModalDriver(int timeoutMs, QObject *parent)
    : QObject(parent)
    , timer(new QTimer(this))
    , timeoutMs(timeoutMs)
{
    // Native file dialogs are not widgets and could not be driven.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    connect(timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer->start(10);
}

ModalDriver::~ModalDriver()
{
    qDeleteAll(steps);
}

ModalDriver &ModalDriver::then(Action action)
{
    steps.append(new Step{std::move(action)});
    return *this;
}

ModalDriver &ModalDriver::answerMessageBox(const QString &buttonText)
{
    return then([this, buttonText](QWidget *modal, SeenModal &seen) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QAbstractButton *button = box ? messageBoxButton(box, buttonText) : nullptr;
        if (!button) {
            seen.clicked = "<no message box button " + buttonText + ">";
            fail(modal, seen.clicked);
            return;
        }
        seen.clicked = button->text();
        button->click();
    });
}

ModalDriver &ModalDriver::typeText(const QString &lineEditName, const QString &text)
{
    return typeAndClick(lineEditName, text, QString());
}

ModalDriver &ModalDriver::clickButton(const QString &nameOrText)
{
    return then([this, nameOrText](QWidget *modal, SeenModal &seen) {
        QAbstractButton *button = findButton(modal, nameOrText);
        if (!button || !button->isEnabled()) {
            seen.clicked = "<no enabled button " + nameOrText + ">";
            fail(modal, seen.clicked);
            return;
        }
        seen.clicked = button->text();
        button->click();
    });
}

ModalDriver &ModalDriver::typeAndClick(const QString &lineEditName, const QString &text,
                                       const QString &buttonNameOrText)
{
    return then([this, lineEditName, text, buttonNameOrText](QWidget *modal, SeenModal &seen) {
        QLineEdit *edit = findLineEdit(modal, lineEditName);
        QAbstractButton *button =
            buttonNameOrText.isEmpty() ? nullptr : findButton(modal, buttonNameOrText);
        if (!edit || (!buttonNameOrText.isEmpty() && (!button || !button->isEnabled()))) {
            seen.clicked = "<no line edit " + lineEditName + " or button " + buttonNameOrText + ">";
            fail(modal, seen.clicked);
            return;
        }
        // Typed key by key, so the edit's validator has its say as it would for a user.
        edit->clear();
        QTest::keyClicks(edit, text);
        if (!button)
            return;
        seen.clicked = button->text();
        button->click();
    });
}

ModalDriver &ModalDriver::chooseFile(const QString &path)
{
    return then([this, path](QWidget *modal, SeenModal &seen) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            seen.clicked = "<not a file dialog>";
            fail(modal, seen.clicked);
            return;
        }
        seen.clicked = "chooseFile " + path;
        dialog->selectFile(path);
        if (auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit"))
            edit->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

ModalDriver &ModalDriver::cancelFileDialog()
{
    return then([this](QWidget *modal, SeenModal &seen) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            seen.clicked = "<not a file dialog>";
            fail(modal, seen.clicked);
            return;
        }
        seen.clicked = "cancelFileDialog";
        dialog->reject();
    });
}

bool ModalDriver::waitForAll()
{
    const qint64 deadline = nowMs() + timeoutMs;
    while ((!steps.isEmpty() || running > 0) && nowMs() < deadline)
        QTest::qWait(10);
    if (!steps.isEmpty()) {
        // The expected widget never came: drop the steps so that they cannot act on a later one.
        failed += steps.size();
        qDeleteAll(steps);
        steps.clear();
    }
    return allDone();
}

bool ModalDriver::waitForClosed()
{
    const qint64 deadline = nowMs() + timeoutMs;
    while (!changedSinceHandled && nowMs() < deadline)
        QTest::qWait(10);
    return changedSinceHandled;
}

bool ModalDriver::allDone() const
{
    return steps.isEmpty() && running == 0 && failed == 0;
}

int ModalDriver::pending() const
{
    return steps.size() + running;
}

int ModalDriver::failures() const
{
    return failed;
}

const QList<SeenModal> &ModalDriver::seen() const
{
    return seenList;
}

void ModalDriver::clearSeen()
{
    seenList.clear();
}

void ModalDriver::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal != lastHandled)
        changedSinceHandled = true;
    if (!modal) {
        stuck = nullptr;
        return;
    }
    if (!steps.isEmpty() && changedSinceHandled) {
        stuck = nullptr;
        meet(modal);
        return;
    }
    // Nothing may act on this widget: close it in time so that the test fails instead of hanging.
    if (modal != stuck) {
        stuck = modal;
        stuckSinceMs = nowMs();
    } else if (nowMs() - stuckSinceMs >= timeoutMs) {
        stuck = nullptr;
        closeUnexpected(modal);
    }
}

void ModalDriver::meet(QWidget *modal)
{
    SeenModal seen;
    seen.className = modal->metaObject()->className();
    seen.title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        seen.text = box->text();
    for (QLineEdit *edit : modal->findChildren<QLineEdit *>())
        seen.lineEditTexts.append(edit->text());
    seenList.append(seen);
    const int index = seenList.size() - 1;

    lastHandled = modal;
    changedSinceHandled = false;
    connect(modal, &QObject::destroyed, this, [this, modal] {
        if (lastHandled == modal) {
            lastHandled = nullptr;
            changedSinceHandled = true;
        }
    });

    // The action runs from the event queue, not from this timer slot: a click may open a nested
    // modal loop, and a timer never fires again while its own slot is still running.
    Step *step = steps.takeFirst();
    ++running;
    QPointer<QWidget> target(modal);
    QTimer::singleShot(0, this, [this, step, target, index] {
        SeenModal local = seenList.value(index);
        if (target)
            step->action(target, local);
        else
            local.clicked = "<gone before the step ran>";
        if (index < seenList.size())
            seenList[index] = local;
        delete step;
        --running;
    });
}

void ModalDriver::closeUnexpected(QWidget *modal)
{
    SeenModal seen;
    seen.className = modal->metaObject()->className();
    seen.title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        seen.text = box->text();
    seen.clicked = "<closed: no step for it>";
    seenList.append(seen);
    ++failed;
    closeModal(modal);
}

void ModalDriver::fail(QWidget *modal, const QString &why)
{
    qWarning("ModalDriver: %s on %s", qPrintable(why), modal->metaObject()->className());
    ++failed;
    closeModal(modal);
}
