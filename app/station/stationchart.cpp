// The yield chart of the station.
#include "stationchart.h"

#include "stationtile.h"

#include <QCoreApplication>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QStackedBarSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>

using namespace QtCharts;

StationChart::StationChart(QWidget *parent)
    : QChartView(parent)
{
    setObjectName(QStringLiteral("yieldChart"));
    passedSet = new QBarSet(QCoreApplication::translate("Station", "通过"));
    failedSet = new QBarSet(QCoreApplication::translate("Station", "失败"));
    passedSet->setColor(StationTile::colourOf(StationProbe::State::Passed));
    failedSet->setColor(StationTile::colourOf(StationProbe::State::Failed));
    auto *series = new QStackedBarSeries;
    series->append(passedSet);
    series->append(failedSet);
    auto *chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(QCoreApplication::translate("Station", "今日每小时烧录"));
    QStringList hours;
    for (int h = 0; h < 24; ++h) {
        hours << QString::number(h);
        passedSet->append(0);
        failedSet->append(0);
    }
    auto *hourAxis = new QBarCategoryAxis;
    hourAxis->append(hours);
    countAxis = new QValueAxis;
    countAxis->setLabelFormat(QStringLiteral("%d"));
    countAxis->setRange(0, 1);
    chart->addAxis(hourAxis, Qt::AlignBottom);
    chart->addAxis(countAxis, Qt::AlignLeft);
    series->attachAxis(hourAxis);
    series->attachAxis(countAxis);
    chart->legend()->setAlignment(Qt::AlignBottom);
    setChart(chart);
    setMinimumHeight(280);
}

void StationChart::display(const std::array<int, 24> &passed, const std::array<int, 24> &failed)
{
    int top = 1;
    for (int h = 0; h < 24; ++h) {
        passedSet->replace(h, passed[size_t(h)]);
        failedSet->replace(h, failed[size_t(h)]);
        top = std::max(top, passed[size_t(h)] + failed[size_t(h)]);
    }
    // Whole boards only, and few enough ticks for their labels to fit.
    int step = 1;
    while (top / step > 4)
        step *= 2;
    const int rounded = (top + step - 1) / step * step;
    countAxis->setRange(0, rounded);
    countAxis->setTickCount(rounded / step + 1);
}
