// The window's hands-free line (工程 › 自动烧录): while it is on and the probe is connected, the
// window polls the chip detect, starts the run when a chip answers, shows the result in the status
// bar (no box to dismiss between boards) and waits until that chip is gone before arming again.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "download.h"
#include "job/messages.h"
#include "presence.h"
#include "station/stationwindow.h"
#include "swdstate.h"
#include "usbconnectthread.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

namespace {
constexpr int linePollMs = 300;
} // namespace

void MainWindow::setupLine()
{
    autoAction = new QAction(tr("自动烧录"), this);
    autoAction->setObjectName(QStringLiteral("autoAction"));
    autoAction->setCheckable(true);
    autoAction->setStatusTip(tr("芯片接上时自动烧录，取下后等待下一块"));
    projectMenu->addSeparator();
    projectMenu->addAction(autoAction);
    // Several probes on one saved job, in a window of its own.
    QAction *station = projectMenu->addAction(tr("产线…"));
    station->setObjectName(QStringLiteral("stationAction"));
    station->setStatusTip(tr("打开工程，在多个烧录器上同时烧录"));
    connect(station, &QAction::triggered, this, [this] {
        // Two faces on one probe would steal each other's replies.
        if (download->connected) {
            QMessageBox::warning(this, tr("警告"), tr("请先断开烧录器，产线会连接每一个烧录器"));
            return;
        }
        const QString path =
            QFileDialog::getOpenFileName(this, tr("打开工程"), QString(), tr("工程文件 (*.json)"));
        if (path.isEmpty())
            return;
        stopLine();
        StationJob job;
        job.path = path;
        job.record = recordLocation();
        auto *window = new StationWindow(job);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->resize(1280, 900);
        window->show();
    });
    connect(autoAction, &QAction::toggled, this, [this](bool on) {
        lineState = on ? LineState::Waiting : LineState::Off;
        if (on)
            lineTimer->start();
        else
            lineTimer->stop();
        showLineState();
    });

    lineTimer = new QTimer(this);
    lineTimer->setInterval(linePollMs);
    connect(lineTimer, &QTimer::timeout, this, &MainWindow::linePoll);

    // The user's own changes only (clicked, activated, textEdited): the window's programmatic
    // updates and the automatic reconnect after result 6 leave the line running.
    connect(ui->connectPushButton, &QAbstractButton::clicked, this, &MainWindow::stopLine);
    connect(openJobAction, &QAction::triggered, this, &MainWindow::stopLine);
    connect(offlineConfigAction, &QAction::triggered, this, &MainWindow::stopLine);
    for (QWidget *panel :
         {static_cast<QWidget *>(ui->configGroupBox), static_cast<QWidget *>(ui->snGroupBox),
          static_cast<QWidget *>(ui->optionsGroupBox),
          static_cast<QWidget *>(ui->programFilesGroupBox)}) {
        for (QAbstractButton *b : panel->findChildren<QAbstractButton *>())
            connect(b, &QAbstractButton::clicked, this, &MainWindow::stopLine);
        for (QComboBox *b : panel->findChildren<QComboBox *>())
            connect(b, QOverload<int>::of(&QComboBox::activated), this, &MainWindow::stopLine);
        for (QLineEdit *e : panel->findChildren<QLineEdit *>())
            connect(e, &QLineEdit::textEdited, this, &MainWindow::stopLine);
        if (auto *box = qobject_cast<QGroupBox *>(panel))
            connect(box, &QGroupBox::clicked, this, &MainWindow::stopLine);
    }
}

void MainWindow::stopLine()
{
    if (autoAction->isChecked())
        autoAction->setChecked(false); // its toggled handler stops the timer
}

void MainWindow::linePoll()
{
    // Never behind a dialog the user has open (a box, the record, a file chooser).
    if (lineState == LineState::Running || QApplication::activeModalWidget())
        return;
    if (swdPath()) {
        swdLinePoll();
        return;
    }
    if (!download->connected || !download->device)
        return;
    const engine::Presence presence = engine::chipPresence(*download);
    if (presence == engine::Presence::LinkLost)
        return; // the connection tick notices a probe that is gone
    if (lineState == LineState::Removal && presence == engine::Presence::Absent) {
        lineState = LineState::Waiting;
        showLineState();
    } else if (lineState == LineState::Waiting && presence == engine::Presence::Attached) {
        lineStart();
    }
}

// Over SWD a board is taken out only after the engine's count of "no target" answers in a row,
// as on the command line's line: a loose contact must not arm the line under the same board.
void MainWindow::swdLinePoll()
{
    if (!swd->probe || swd->busy)
        return;
    uint32_t idcode = 0;
    const engine::Presence presence =
        engine::swdPresence(swd->probe->transport(), swd->clockHz, idcode);
    if (presence == engine::Presence::LinkLost) {
        swdProbeLost();
        return;
    }
    if (lineState == LineState::Removal && swd->removal.gone(presence)) {
        lineState = LineState::Waiting;
        showLineState();
    } else if (lineState == LineState::Waiting && presence == engine::Presence::Attached) {
        lineStart();
    }
}

void MainWindow::lineStart()
{
    lineState = LineState::Running;
    showLineState();
    on_startPushButton_clicked();
    // Start refused before the worker got the job (changed file, record): the operator
    // has to look, so the line stops rather than try again every poll.
    if (ui->startPushButton->isEnabled()) {
        lineState = LineState::Waiting;
        stopLine();
    }
}

// Ends an automatically started run: the result goes to the status bar, the line waits for the
// board to be taken. False when the run was not the line's (the caller shows its box).
bool MainWindow::lineRunEnded(const QString &message)
{
    if (lineState != LineState::Running)
        return false;
    lineResult = job::plainText(message);
    if (swdPath()) // the SWD result's sector counts go on the same status line
        lineResult = lineResult.simplified();
    lineState = autoAction->isChecked() ? LineState::Removal : LineState::Off;
    swd->removal.restart();
    showLineState();
    return true;
}

void MainWindow::showLineState()
{
    QString text;
    switch (lineState) {
    case LineState::Off:
        text = lineResult;
        break;
    case LineState::Waiting:
        text = tr("自动烧录：等待芯片");
        break;
    case LineState::Running:
        text = tr("自动烧录：烧写中");
        break;
    case LineState::Removal:
        text = tr("自动烧录：%1 请取下芯片").arg(lineResult);
        break;
    }
    ui->statusBar->showMessage(text);
}
