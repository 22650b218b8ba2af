// One probe's tile: its name and transport, its state in a colour readable from across the line,
// the phase and progress, the last result in words, and its boards and yield.
#pragma once

#include "stationmodel.h"

#include <QFrame>

class QLabel;
class QProgressBar;

class StationTile : public QFrame
{
    Q_OBJECT

public:
    explicit StationTile(QWidget *parent = nullptr);
    void display(const StationProbe &probe);

    // The tile's background for a state, so that the colours have one home.
    static QColor colourOf(StationProbe::State state);

private:
    QLabel *nameLabel;
    QLabel *transportLabel;
    QLabel *stateLabel;
    QLabel *phaseLabel;
    QProgressBar *progressBar;
    QLabel *resultLabel;
    QLabel *countsLabel;
};
