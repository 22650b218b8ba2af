// Drives the modal widgets (message boxes, file dialog, our small dialogs) that a GUI action opens:
// queue what to do with each next modal widget, trigger the action, then assert on what was seen.
// A QTimer polls QApplication::activeModalWidget(); an expected dialog that never appears fails the
// test after a time limit instead of hanging it.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QTimer;
class QWidget;

struct SeenModal
{
    QString className; // e.g. "QMessageBox", "QFileDialog", "AddressDlg"
    QString title; // window title
    QString text; // QMessageBox::text(); empty for other widgets
    QStringList lineEditTexts; // texts of the widget's line edits when it was met, in child order
    QString clicked; // text of the button the driver pressed, or the action taken
};

class ModalDriver : public QObject
{
    Q_OBJECT
public:
    using Action = std::function<void(QWidget *modal, SeenModal &seen)>;

    explicit ModalDriver(int timeoutMs = 10000, QObject *parent = nullptr);
    ~ModalDriver() override;

    // Generic step: runs `action` on the next modal widget (after recording title, text, edits).
    ModalDriver &then(Action action);

    // Message boxes: press the button with this text ("OK", "&Yes", "&No" ...; empty: the default
    // button, or the escape button when there is no default).
    ModalDriver &answerMessageBox(const QString &buttonText = QString());

    // Our dialogs: set the text of the line edit with this object name (empty: the first line
    // edit), and/or click the push button with this object name or text.
    ModalDriver &typeText(const QString &lineEditName, const QString &text);
    ModalDriver &clickButton(const QString &nameOrText);
    // typeText and clickButton on the same modal widget in one step.
    ModalDriver &typeAndClick(const QString &lineEditName, const QString &text,
                              const QString &buttonNameOrText);

    // The non-native QFileDialog: choose this path and accept, or reject.
    ModalDriver &chooseFile(const QString &path);
    ModalDriver &cancelFileDialog();

    // True once every queued step ran and none failed (a missing button or line edit, a modal
    // widget nobody asked for); waits (processing events) up to the time limit.
    bool waitForAll();
    // Waits (within the time-out) until a poll has seen the widget last acted on go, so that the
    // same dialog object opening again counts as a new one.
    bool waitForClosed();
    bool allDone() const;
    int pending() const;
    int failures() const;

    const QList<SeenModal> &seen() const;
    void clearSeen();

private slots:
    void poll();

private:
    struct Step;
    void meet(QWidget *modal);
    void closeUnexpected(QWidget *modal);
    void fail(QWidget *modal, const QString &why);

    QList<Step *> steps;
    QList<SeenModal> seenList;
    QWidget *lastHandled = nullptr;
    QTimer *timer;
    int timeoutMs;
    bool changedSinceHandled = true; // the active modal widget changed after the last step
    bool lastHandledGone = false; // the widget of the last step was destroyed
    int running = 0; // steps whose action has not returned yet (it may run a nested modal)
    int failed = 0;
    QWidget *stuck = nullptr; // modal widget that no step may take, and since when
    qint64 stuckSinceMs = 0;
};
