// The station over SWD: eight virtual CMSIS-DAP probes on a line, boards attached at random
// moments, one probe unplugged while it programs; tiles and record agree.
#include "app/station/stationwindow.h"

#include "cmsisdap/cmsisdapprobe.h"
#include "job/jobfile.h"
#include "record/recorddb.h"
#include "virtualprobe/virtualprobe.h"

#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <map>

using vprobe::CmsisDapProbe;

namespace {

constexpr int kProbes = 8;
constexpr int kUnplugged = 5;

} // namespace

class StationSwdTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void eightProbesEachBoardOnceAndAnUnplugFailsOnlyItself();

private:
    QTemporaryDir dir;
};

void StationSwdTest::initTestCase()
{
    QVERIFY(dir.isValid());
    vprobe::VirtualProbe::setCount(kProbes);
    for (int k = 0; k < kProbes; ++k) {
        CmsisDapProbe &p = CmsisDapProbe::instance(k);
        p.reset();
        p.setEnabled(true);
        p.device().setTargetAttached(false);
    }
}

void StationSwdTest::eightProbesEachBoardOnceAndAnUnplugFailsOnlyItself()
{
    QFile image(dir.filePath("app.bin"));
    QVERIFY(image.open(QIODevice::WriteOnly));
    QByteArray bytes(12000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 13 + 5);
    image.write(bytes);
    image.close();
    job::JobSetup setup;
    job::JobFile file;
    file.path = dir.filePath("app.bin");
    file.hasAddress = true;
    setup.files << file;
    setup.via = job::ViaSwd;
    setup.eraseMode = job::AutoErase;
    setup.rollingAddress = 0x1D000;
    setup.rollingValue = 0x2000;
    setup.rollingStep = 4;
    setup.serialLedger = true;
    QString error;
    QVERIFY2(job::writeJobFile(dir.filePath("swd.json"), setup, error), qPrintable(error));

    StationJob job;
    job.path = dir.filePath("swd.json");
    job.record = dir.filePath("swd.sqlite");
    StationWindow w(job);
    w.show();
    QCOMPARE(int(w.model().probes().size()), kProbes);

    // Each board goes in at a random moment once its probe is armed; the probe to be unplugged
    // loses its link a few reports into its board's run.
    std::vector<bool> in(kProbes, false);
    bool pulled = false;
    auto *rng = QRandomGenerator::global();
    connect(&w, &StationWindow::modelChanged, &w, [&] {
        for (int k = 0; k < kProbes; ++k) {
            const StationProbe &p = w.model().probes()[size_t(k)];
            if (p.inRun && !in[size_t(k)] && p.state == StationProbe::State::Waiting) {
                in[size_t(k)] = true;
                QTimer::singleShot(int(rng->bounded(400)), &w, [k] {
                    CmsisDapProbe::instance(k).device().setTargetAttached(true);
                });
            }
            if (k == kUnplugged && !pulled && p.state == StationProbe::State::Programming) {
                pulled = true;
                CmsisDapProbe::instance(k).unplugAfterReports(40);
            }
        }
    });
    QTest::mouseClick(w.findChild<QPushButton *>("autoButton"), Qt::LeftButton);
    auto done = [&] {
        for (int k = 0; k < kProbes; ++k) {
            const StationProbe &p = w.model().probes()[size_t(k)];
            const auto want =
                k == kUnplugged ? StationProbe::State::Failed : StationProbe::State::Passed;
            if (p.state != want || p.boards != 1 || p.passed != (k == kUnplugged ? 0 : 1))
                return false;
        }
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(done(), 120000);
    QTest::mouseClick(w.findChild<QPushButton *>("stopButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.findChild<QPushButton *>("startAllButton")->isEnabled(), 30000);

    std::map<QString, QStringList> rows;
    QSet<quint32> serials;
    RecordDb db;
    QVERIFY(db.open(job.record));
    for (const RecordedRun &r : db.runs()) {
        QCOMPARE(r.record.via, QString("swd"));
        rows[r.record.probeSerial] << r.status;
        serials.insert(r.record.serial);
    }
    QCOMPARE(int(serials.size()), kProbes);
    for (quint32 s : serials)
        QVERIFY(s >= 0x2000 && s < 0x2000 + 4 * kProbes && (s - 0x2000) % 4 == 0);
    for (int k = 0; k < kProbes; ++k) {
        const StationProbe &p = w.model().probes()[size_t(k)];
        QCOMPARE(p.transport, QString("CMSIS-DAP v1 (HID)"));
        QCOMPARE(rows[p.name], QStringList{k == kUnplugged ? "failed" : "passed"});
        auto *tile = w.findChild<QWidget *>(QString("stationTile%1").arg(k));
        QCOMPARE(tile->findChild<QLabel *>("stateLabel")->text(),
                 QString(k == kUnplugged ? "失败" : "通过"));
        const QString result = tile->findChild<QLabel *>("resultLabel")->text();
        QVERIFY2(result.startsWith(k == kUnplugged ? "SWD错误" : "烧写成功！  0x0000"),
                 qPrintable(result));
    }
    QCOMPARE(w.findChild<QLabel *>("yieldLabel")->text(), QString("今日 7/8  良率88%"));
}

QTEST_MAIN(StationSwdTest)
#include "tst_station_swd.moc"
