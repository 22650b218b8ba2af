// The station (产线): one job, fixed; one tile per probe; the hands-free line or one start for
// every probe; today's yield per hour. It only shows what the model and the runs tell it.
#pragma once

#include "stationmodel.h"
#include "stationrun.h"

#include "job/jobsetup.h"

#include <QWidget>
#include <vector>

class QGridLayout;
class QLabel;
class QPushButton;
class QTimer;
class StationTile;
class StationChart;

class StationWindow : public QWidget
{
    Q_OBJECT

public:
    // `job` is read at once; a job that cannot be read leaves the window with its message and
    // nothing to start.
    explicit StationWindow(const StationJob &job, QWidget *parent = nullptr);
    ~StationWindow() override;

    const StationModel &model() const { return state; }
    bool jobReadable() const { return readable; }

public slots:
    void startAll(); // every probe runs one board
    void setLine(bool on); // the hands-free line
    void stopRun();
    void refreshProbes(); // who is on the bus

signals:
    void modelChanged(); // after every change of a tile's content

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void begin(bool line);
    void redraw();
    void warn(const QString &text);

    StationJob job;
    job::JobSetup setup;
    bool readable = false;
    StationModel state;
    StationRun *run;
    QTimer *busTimer;
    QLabel *jobLabel;
    QLabel *warningLabel;
    QLabel *yieldLabel;
    QPushButton *startAllButton;
    QPushButton *autoButton;
    QPushButton *stopButton;
    QGridLayout *tileGrid;
    std::vector<StationTile *> tiles;
    StationChart *chart;
};
