// The production-record dialog: figures read from the record each time it is loaded.
#include "recorddlg.h"

#include "productionreport.h"
#include "recorddb.h"
#include "recordreport.h"
#include "resulttext.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {

QString statusText(const QString &status)
{
    if (status == QLatin1String("passed"))
        return RecordDlg::tr("成功");
    if (status == QLatin1String("failed"))
        return RecordDlg::tr("失败");
    if (status == QLatin1String("interrupted"))
        return RecordDlg::tr("中断");
    return RecordDlg::tr("进行中");
}

QString tallyText(const QString &label, const RunCounts &c)
{
    const Tally t{int(c.passed), int(c.failed), int(c.running)};
    return RecordDlg::tr("%1：通过 %2  失败 %3  良率 %4")
        .arg(label, QString::number(t.passed), QString::number(t.failed), t.yieldText());
}

} // namespace

RecordDlg::RecordDlg(QWidget *parent)
    : QDialog(parent)
    , locationLabel(new QLabel(this))
    , jobLabel(new QLabel(this))
    , todayLabel(new QLabel(this))
    , runTable(new QTableWidget(0, 5, this))
    , todayChart(new QChartView(this))
    , exportButton(new QPushButton(tr("导出CSV…"), this))
    , reportButton(new QPushButton(tr("导出报告…"), this))
    , newerButton(new QPushButton(tr("较新"), this))
    , olderButton(new QPushButton(tr("较早"), this))
    , changeButton(new QPushButton(tr("更改…"), this))
    , closeButton(new QPushButton(tr("关闭"), this))
{
    setWindowTitle(tr("生产记录"));
    locationLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    locationLabel->setWordWrap(true);
    runTable->setHorizontalHeaderLabels(
        {tr("开始时间"), tr("烧录器"), tr("滚码"), tr("结果"), tr("消息")});
    runTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    runTable->verticalHeader()->setVisible(false);
    runTable->horizontalHeader()->setStretchLastSection(true);
    runTable->setColumnWidth(0, 150);

    todayChart->setRenderHint(QPainter::Antialiasing);
    todayChart->setMinimumSize(320, 170);
    todayChart->setToolTip(tr("今日每小时良率"));

    auto *totals = new QVBoxLayout;
    totals->addWidget(jobLabel);
    totals->addWidget(todayLabel);
    totals->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addLayout(totals, 1);
    top->addWidget(todayChart);
    auto *pages = new QHBoxLayout;
    pages->addStretch(1);
    pages->addWidget(newerButton);
    pages->addWidget(olderButton);
    auto *where = new QHBoxLayout;
    where->addWidget(locationLabel, 1);
    where->addWidget(changeButton);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(exportButton);
    buttons->addWidget(reportButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(runTable, 1);
    layout->addLayout(pages);
    layout->addLayout(where);
    layout->addLayout(buttons);
    resize(760, 520);

    connect(exportButton, &QPushButton::clicked, this, &RecordDlg::exportCsv);
    connect(newerButton, &QPushButton::clicked, this, [this] { showPage(page - 1); });
    connect(olderButton, &QPushButton::clicked, this, [this] { showPage(page + 1); });
    connect(reportButton, &QPushButton::clicked, this, &RecordDlg::exportReport);
    connect(changeButton, &QPushButton::clicked, this, &RecordDlg::askLocation);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

void RecordDlg::load(RecordDb *db, const QString &location, const QByteArray &currentJobDigest)
{
    record = db && db->isOpen() ? db : nullptr;
    where = location;
    locationLabel->setText(tr("数据库：%1").arg(RecordDb::displayLocation(location)));
    runTable->setRowCount(0);
    exportButton->setEnabled(record != nullptr);
    reportButton->setEnabled(record != nullptr);
    newerButton->setEnabled(false);
    olderButton->setEnabled(false);
    if (!record) {
        jobLabel->setText(tr("生产记录无法打开：%1").arg(db ? db->lastError() : QString()));
        todayLabel->clear();
        showChart(new QChart);
        return;
    }
    record->markInterrupted();
    // Counted by the database: opening costs the same on ten runs and on a million.
    RunCounts job, today;
    const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
    // A job never saved has an empty digest, and its runs are the ones recorded with none.
    record->countRuns(QDateTime(), currentJobDigest.isNull() ? QByteArray("") : currentJobDigest,
                      &job);
    record->countRuns(midnight, QByteArray(), &today);
    jobLabel->setText(tallyText(tr("当前工程"), job));
    todayLabel->setText(tallyText(tr("今日"), today));
    showToday();
    showPage(0);
}

void RecordDlg::showPage(qint64 index)
{
    if (!record || index < 0)
        return;
    page = index;
    // One run more than the page shows tells whether an older page exists, without counting.
    QVector<RecordedRun> rows = record->newestRuns(page * lastRuns, lastRuns + 1);
    const bool older = rows.size() > lastRuns;
    if (older)
        rows.removeLast();
    runTable->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        const RecordedRun &r = rows.at(row); // newest on top
        const QStringList cells = {
            r.record.startedUtc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            r.record.probeSerial,
            r.record.hasSerial ? QString::number(r.record.serial, 16).toUpper() : QString(),
            statusText(r.status), recordedResultText(r.status, r.result, r.record.via, r.message)};
        for (int col = 0; col < cells.size(); ++col)
            runTable->setItem(row, col, new QTableWidgetItem(cells.at(col)));
        // What the recorder wrote, in its own language, stays at hand for audit.
        runTable->item(row, 4)->setToolTip(r.message);
    }
    newerButton->setEnabled(page > 0);
    olderButton->setEnabled(older);
}

void RecordDlg::showToday()
{
    ReportFilter today;
    today.since = reportBound(QStringLiteral("today"), false, QDateTime::currentDateTimeUtc());
    today.until = reportBound(QStringLiteral("today"), true, QDateTime::currentDateTimeUtc());
    ProductionReport report;
    QString error;
    auto *chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setTitle(tr("今日每小时良率"));
    if (computeReport(*record, today, &report, &error)) {
        auto *yield = new QBarSet(tr("良率"));
        yield->setColor(QColor(0x3a, 0x9b, 0x5c));
        for (const ReportBucket &b : report.buckets)
            *yield << std::max(0.0, b.count.yield());
        auto *series = new QBarSeries;
        series->append(yield);
        series->setBarWidth(0.8);
        chart->addSeries(series);
        // Bar i stands at i: the hour of the day, labelled every six hours.
        auto *x = new QValueAxis;
        x->setRange(-0.5, report.buckets.size() - 0.5);
        x->setTickType(QValueAxis::TicksDynamic);
        x->setTickAnchor(0);
        x->setTickInterval(6);
        x->setLabelFormat(QStringLiteral("%d"));
        x->setGridLineVisible(false);
        auto *y = new QValueAxis;
        y->setRange(0, 100);
        y->setTickCount(3);
        y->setLabelFormat(QStringLiteral("%d%"));
        chart->addAxis(x, Qt::AlignBottom);
        chart->addAxis(y, Qt::AlignLeft);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    showChart(chart);
}

void RecordDlg::showChart(QChart *chart)
{
    // The view releases the chart it held without deleting it (its own default one included).
    QChart *previous = todayChart->chart();
    todayChart->setChart(chart);
    delete previous;
}

void RecordDlg::exportCsv()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("导出CSV"), QStringLiteral("record.csv"), tr("CSV文件 (*.csv)"));
    if (path.isEmpty() || !record)
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QMessageBox::information(this, tr("警告"), tr("导出失败：%1").arg(file.errorString()));
        return;
    }
    auto put = [&file](const QByteArray &bytes) { return file.write(bytes) == bytes.size(); };
    // The byte-order mark lets spreadsheet programs read the Chinese texts as UTF-8.
    bool written = put("\xEF\xBB\xBF" + RecordReport::csvHeader().toUtf8());
    qint64 count = 0;
    CsvRowWriter rows;
    QByteArray line;
    line.reserve(1024); // kept across rows: resize(0) frees no reserved buffer
    const bool read = written && record->forEachRun(QDateTime(), [&](const RecordedRun &r) {
        ++count;
        line.resize(0);
        rows.append(line, r);
        return written = put(line);
    });
    if (written && !read) {
        file.cancelWriting();
        QMessageBox::information(this, tr("警告"), tr("导出失败：%1").arg(record->lastError()));
        return;
    }
    if (!written || !file.commit()) {
        QMessageBox::information(this, tr("警告"), tr("导出失败：%1").arg(file.errorString()));
        return;
    }
    QMessageBox::information(this, tr("信息"), tr("已导出%1条记录").arg(count));
}

void RecordDlg::exportReport()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("导出报告"), QStringLiteral("report.html"), tr("网页 (*.html)"));
    if (path.isEmpty() || !record)
        return;
    ProductionReport report;
    QString error;
    if (!computeReport(*record, ReportFilter(), &report, &error)) {
        QMessageBox::information(this, tr("警告"), tr("导出失败：%1").arg(error));
        return;
    }
    const QByteArray bytes = report.html();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()
        || !file.commit()) {
        QMessageBox::information(this, tr("警告"), tr("导出失败：%1").arg(file.errorString()));
        return;
    }
    QMessageBox::information(this, tr("信息"), tr("报告已导出：%1").arg(path));
}

void RecordDlg::askLocation()
{
    bool ok = false;
    const QString location =
        QInputDialog::getText(this, tr("生产记录位置"),
                              tr("SQLite文件路径，或 postgresql://用户@主机:端口/数据库"),
                              QLineEdit::Normal, RecordDb::displayLocation(where), &ok)
            .trimmed();
    // Given back unchanged, the masked text stands for the location as it was.
    if (ok && !location.isEmpty() && location != where
        && location != RecordDb::displayLocation(where))
        emit locationChosen(location);
}
