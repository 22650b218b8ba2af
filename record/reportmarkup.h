// The pieces of the report page's markup shared by its tables and charts: escaping, numbers,
// figures tagged with their JSON key, and the page's translation context.
#pragma once

#include "productionreport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

namespace reportmarkup {

class ReportText
{
    Q_DECLARE_TR_FUNCTIONS(ProductionReport)
};

QString esc(const QString &s);
QString num(double v);
QString hex8(quint32 v);
QString fig(const QString &key, const QString &shown);
QString yieldFig(const QString &key, const ReportCount &c);
QString msFig(const QString &key, qint64 ms);
QString localTime(const QDateTime &utc);

// How the page names a failure cause: its result code on the path it came from.
QString causeLabel(const ReportCause &c);
// The page's three charts as inline SVG.
QString seriesChart(const ProductionReport &r);
QString paretoChart(const ProductionReport &r);
QString histogram(const ReportDurations &d);

} // namespace reportmarkup
