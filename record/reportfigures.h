// How the production report shapes its aggregate rows into figures: duration distributions
// (exact ranks of a value -> count map), groups, tallies and the hourly buckets; also the
// report's bounds, its filter on one run and the counts' yield (declared in productionreport.h).
#pragma once

#include "productionreport.h"

#include <QMap>

namespace reportfigures {

double oneDecimal(double v);
qint64 rankValue(const QMap<qint64, qint64> &counts, qint64 total, double p);
qint64 countOf(const QMap<qint64, qint64> &counts);
void fillDurations(ReportDurations &d, const QMap<qint64, qint64> &counts);
QVector<ReportGroup> groups(const QMap<QString, ReportCount> &counts,
                            const QMap<QString, QMap<qint64, qint64>> &durations);
void count(Tally &t, const QString &status, qint64 n);
QDateTime hourOf(const QString &key);
void fillBuckets(ProductionReport &r, const QMap<QDateTime, ReportCount> &hours);

} // namespace reportfigures
