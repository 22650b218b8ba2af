// Today's boards per hour, passed and failed stacked.
#pragma once

#include <QtCharts/QChartView>
#include <array>

QT_CHARTS_BEGIN_NAMESPACE
class QBarSet;
class QValueAxis;
QT_CHARTS_END_NAMESPACE

class StationChart : public QtCharts::QChartView
{
    Q_OBJECT

public:
    explicit StationChart(QWidget *parent = nullptr);
    void display(const std::array<int, 24> &passed, const std::array<int, 24> &failed);

private:
    QtCharts::QBarSet *passedSet;
    QtCharts::QBarSet *failedSet;
    QtCharts::QValueAxis *countAxis;
};
