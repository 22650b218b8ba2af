// The station window: the job's fixed face, the tiles, the buttons and the chart.
#include "stationwindow.h"

#include "stationchart.h"
#include "stationjob.h"
#include "stationtile.h"

#include "job/jobfile.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kColumns = 4;
constexpr int kBusLookMs = 1000; // how soon a probe plugged in or out shows

} // namespace

StationWindow::StationWindow(const StationJob &job, QWidget *parent)
    : QWidget(parent)
    , job(job)
    , run(new StationRun(job, this))
    , busTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("stationWindow"));
    auto *layout = new QVBoxLayout(this);
    jobLabel = new QLabel(this);
    jobLabel->setObjectName(QStringLiteral("jobLabel"));
    jobLabel->setTextFormat(Qt::PlainText);
    jobLabel->setWordWrap(true);
    QFont big = jobLabel->font();
    big.setPointSize(13);
    jobLabel->setFont(big);
    layout->addWidget(jobLabel);

    auto *buttons = new QHBoxLayout;
    startAllButton = new QPushButton(tr("全部开始"), this);
    startAllButton->setObjectName(QStringLiteral("startAllButton"));
    autoButton = new QPushButton(tr("自动烧录"), this);
    autoButton->setObjectName(QStringLiteral("autoButton"));
    autoButton->setCheckable(true);
    stopButton = new QPushButton(tr("停止"), this);
    stopButton->setObjectName(QStringLiteral("stopButton"));
    for (QPushButton *b : {startAllButton, autoButton, stopButton}) {
        b->setFont(big);
        b->setMinimumHeight(48);
        buttons->addWidget(b);
    }
    yieldLabel = new QLabel(this);
    yieldLabel->setObjectName(QStringLiteral("yieldLabel"));
    QFont huge = big;
    huge.setPointSize(18);
    huge.setBold(true);
    yieldLabel->setFont(huge);
    buttons->addStretch();
    buttons->addWidget(yieldLabel);
    layout->addLayout(buttons);

    warningLabel = new QLabel(this);
    warningLabel->setObjectName(QStringLiteral("warningLabel"));
    warningLabel->setWordWrap(true);
    warningLabel->setStyleSheet(QStringLiteral("color: #c62828; font-weight: bold;"));
    layout->addWidget(warningLabel);

    tileGrid = new QGridLayout;
    layout->addLayout(tileGrid, 1);
    chart = new StationChart(this);
    layout->addWidget(chart);

    connect(startAllButton, &QPushButton::clicked, this, &StationWindow::startAll);
    connect(autoButton, &QPushButton::toggled, this, &StationWindow::setLine);
    connect(stopButton, &QPushButton::clicked, this, &StationWindow::stopRun);
    connect(busTimer, &QTimer::timeout, this, &StationWindow::refreshProbes);
    connect(run, &StationRun::started, this, [this](const QStringList &names, bool line) {
        state.runStarted(names, line);
        redraw();
    });
    connect(run, &StationRun::progressed, this, [this](const GangProgress &e) {
        state.progress(e);
        redraw();
    });
    connect(run, &StationRun::boardEnded, this,
            [this](int probe, const GangResult &r, const QString &outcome, const QString &serial,
                   const QDateTime &at, bool board) {
                state.boardEnded(probe, r, outcome, serial, at, board);
                redraw();
            });
    connect(run, &StationRun::warned, this, &StationWindow::warn);
    connect(run, &StationRun::ended, this, [this](int) {
        state.runEnded();
        const QSignalBlocker quiet(autoButton);
        autoButton->setChecked(false);
        redraw();
    });

    QString error;
    readable = job::readJobFile(job.path, setup, error);
    if (!readable) {
        jobLabel->setText(tr("工程文件无法使用：%1").arg(error));
    } else {
        const StationJobText t = describeStationJob(job.path, setup);
        setWindowTitle(tr("产线 — %1").arg(t.name));
        jobLabel->setText(
            tr("工程：%1    方式：%2    器件：%3\n文件：%4\n选项：%5")
                .arg(t.name, t.path, t.device, t.files.join(QStringLiteral(", ")), t.options));
        if (!job.noRecord && !countTodaysBoards(job.record, state, error))
            warn(tr("生产记录无法读取：%1").arg(error));
        refreshProbes();
        busTimer->start(kBusLookMs);
    }
    redraw();
    if (readable && job.autoStart)
        begin(true);
}

StationWindow::~StationWindow() = default;

void StationWindow::startAll()
{
    begin(false);
}

void StationWindow::setLine(bool on)
{
    if (on)
        begin(true);
    else
        stopRun();
}

void StationWindow::begin(bool line)
{
    if (!readable || run->running())
        return;
    warningLabel->clear();
    run->start(line);
    const QSignalBlocker quiet(autoButton);
    autoButton->setChecked(line);
    redraw();
}

void StationWindow::stopRun()
{
    run->stop();
}

void StationWindow::refreshProbes()
{
    if (state.listed(probesOnBus(setup)))
        redraw();
}

void StationWindow::warn(const QString &text)
{
    const QString shown = warningLabel->text();
    warningLabel->setText(shown.isEmpty() ? text : shown + QLatin1Char('\n') + text);
}

void StationWindow::redraw()
{
    const std::vector<StationProbe> &probes = state.probes();
    while (tiles.size() < probes.size()) {
        auto *tile = new StationTile(this);
        const int k = int(tiles.size());
        tile->setObjectName(QStringLiteral("stationTile%1").arg(k));
        tileGrid->addWidget(tile, k / kColumns, k % kColumns);
        tiles.push_back(tile);
    }
    for (size_t k = 0; k < probes.size(); ++k)
        tiles[k]->display(probes[k]);
    const bool running = run->running();
    startAllButton->setEnabled(readable && !running);
    autoButton->setEnabled(readable && (!running || autoButton->isChecked()));
    stopButton->setEnabled(running);
    const int passed = state.passedToday();
    const int done = passed + state.failedToday();
    yieldLabel->setText(
        done ? tr("今日 %1/%2  良率%3%").arg(passed).arg(done).arg((passed * 100 + done / 2) / done)
             : tr("今日 0/0"));
    chart->display(state.passedByHour(), state.failedByHour());
    emit modelChanged();
}

void StationWindow::closeEvent(QCloseEvent *event)
{
    run->stop();
    event->accept();
}
