// The production-record dialog: totals of the current job and of today beside today's yield per
// hour, the last runs, CSV and report export, and where the record lives.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QtGlobal>

namespace QtCharts {
class QChart;
class QChartView;
} // namespace QtCharts
class QLabel;
class QPushButton;
class QTableWidget;
class RecordDb;

class RecordDlg : public QDialog
{
    Q_OBJECT
public:
    static constexpr int lastRuns = 20;

    explicit RecordDlg(QWidget *parent = nullptr);

    // Shows the record at `location` (db null or closed: its error instead of figures).
    void load(RecordDb *db, const QString &location, const QByteArray &currentJobDigest);

    QLabel *locationLabel;
    QLabel *jobLabel;
    QLabel *todayLabel;
    QTableWidget *runTable;
    QtCharts::QChartView *todayChart;
    QPushButton *exportButton;
    QPushButton *reportButton;
    QPushButton *newerButton; // the table's pages of lastRuns runs
    QPushButton *olderButton;
    QPushButton *changeButton;
    QPushButton *closeButton;

signals:
    // The user chose another record location; the window opens it and calls load() again.
    void locationChosen(const QString &location);

private:
    void exportCsv();
    void exportReport();
    void showToday();
    void showPage(qint64 index); // 0: the newest runs
    void showChart(QtCharts::QChart *chart);
    void askLocation();

    RecordDb *record = nullptr;
    QString where;
    qint64 page = 0;
};
