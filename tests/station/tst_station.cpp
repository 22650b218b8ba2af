// The station: its arguments, its model's reading of the gang's events, and a line of eight
// virtual probes whose boards come and go at random moments while one probe is unplugged mid-run.
#include "app/station/stationjob.h"
#include "app/station/stationmodel.h"
#include "app/station/stationwindow.h"

#include "job/jobfile.h"
#include "record/recorddb.h"
#include "virtualprobe/virtualprobe.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <map>

namespace {

constexpr int kProbes = 8;
constexpr int kBoardsEach = 2;
constexpr int kUnplugged = 3; // unplugged in the middle of its first board

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

QString scratchPath(const QString &name)
{
    return scratch().filePath(name);
}

QByteArray pattern(int length)
{
    QByteArray out(length, '\0');
    for (int i = 0; i < length; ++i)
        out[i] = char((i * 7 + i / 251) & 0xFF);
    return out;
}

} // namespace

class StationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void arguments_data();
    void arguments();
    void jobInWords_data();
    void jobInWords();
    void modelFollowsTheGang_data();
    void modelFollowsTheGang();
    void eightProbesEachBoardOnceAndAnUnplugFailsOnlyItself();
};

void StationTest::initTestCase()
{
    QVERIFY(scratch().isValid());
    // One probe more than the line's, plugged in while the line runs.
    vprobe::VirtualProbe::setCount(kProbes + 1);
    for (int k = 0; k <= kProbes; ++k) {
        vprobe::VirtualProbe &p = vprobe::VirtualProbe::probe(k);
        p.reset();
        p.setChipAttached(k == kUnplugged); // only the probe to be unplugged holds a board at first
    }
    vprobe::VirtualProbe::probe(kProbes).setPresent(false);
    vprobe::VirtualProbe::probe(kUnplugged).unplugAfterReports(30);
}

void StationTest::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("record");
    QTest::addColumn<bool>("noRecord");
    QTest::addColumn<bool>("autoStart");
    QTest::addColumn<QString>("error");
    const int no = int(StationArguments::NotAsked), yes = int(StationArguments::Station),
              bad = int(StationArguments::Bad);
    QTest::newRow("window") << QStringList{"Quorvel"} << no << ""
                            << "" << false << false << "";
    QTest::newRow("job") << QStringList{"Quorvel", "--station", "a.json"} << yes << "a.json"
                         << "" << false << false << "";
    QTest::newRow("record") << QStringList{"Quorvel", "--station", "a.json", "--record", "r.db"}
                            << yes << "a.json"
                            << "r.db" << false << false << "";
    QTest::newRow("no record") << QStringList{"Quorvel", "--no-record", "--station", "a.json"}
                               << yes << "a.json"
                               << "" << true << false << "";
    QTest::newRow("line at once") << QStringList{"Quorvel", "--auto", "--station", "a.json"} << yes
                                  << "a.json"
                                  << "" << false << true << "";
    QTest::newRow("no job") << QStringList{"Quorvel", "--station"} << bad << ""
                            << "" << false << false << "--station需要一个值";
    QTest::newRow("option as job")
        << QStringList{"Quorvel", "--station", "--record", "r.db"} << bad << ""
        << "" << false << false << "--station需要一个值";
    QTest::newRow("unknown") << QStringList{"Quorvel", "--station", "a.json", "-x"} << bad
                             << "a.json"
                             << "" << false << false << "未知参数：-x";
    QTest::newRow("both records") << QStringList{"Quorvel",  "--station", "a.json",
                                                 "--record", "r.db",      "--no-record"}
                                  << bad << "a.json"
                                  << "r.db" << true << false << "--record和--no-record不能同时使用";
}

void StationTest::arguments()
{
    QFETCH(QStringList, args);
    StationJob job;
    QString error;
    QTEST(int(stationFromArguments(args, job, error)), "outcome");
    QTEST(job.path, "path");
    QTEST(job.record, "record");
    QTEST(job.noRecord, "noRecord");
    QTEST(job.autoStart, "autoStart");
    QTEST(error, "error");
}

void StationTest::jobInWords_data()
{
    QTest::addColumn<bool>("swd");
    QTest::addColumn<int>("erase");
    QTest::addColumn<bool>("readback");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QStringList>("words"); // path, device, files, options
    QTest::newRow("dedicated") << false << int(job::FullErase) << false << ""
                               << QStringList{"专用探针", "QB48V", "app.bin @ 0x00001000, boot.hex",
                                              "整片擦除 · 烧写 · 校验 · 滚码 0x1D000 · 序列号台账"};
    QTest::newRow("swd, pack device")
        << true << int(job::AutoErase) << true << "QS64"
        << QStringList{"CMSIS-DAP/SWD", "QS64", "app.bin @ 0x00001000, boot.hex",
                       "自动擦除 · 烧写 · 校验（读回） · 滚码 0x1D000 · 序列号台账"};
    QTest::newRow("swd, default device")
        << true << int(job::SectorErase) << false << ""
        << QStringList{"CMSIS-DAP/SWD", "默认器件", "app.bin @ 0x00001000, boot.hex",
                       "扇区擦除 · 烧写 · 校验 · 滚码 0x1D000 · 序列号台账"};
}

void StationTest::jobInWords()
{
    QFETCH(bool, swd);
    QFETCH(int, erase);
    QFETCH(bool, readback);
    QFETCH(QString, device);
    QFETCH(QStringList, words);
    job::JobSetup setup;
    setup.via = swd ? job::ViaSwd : job::ViaVendor;
    setup.eraseMode = erase;
    setup.verifyReadback = readback;
    setup.targetDevice = device;
    job::JobFile bin;
    bin.path = "/some/where/app.bin";
    bin.hasAddress = true;
    bin.address = 0x1000;
    job::JobFile hex;
    hex.path = "boot.hex";
    setup.files << bin << hex;
    setup.rollingAddress = 0x1D000;
    setup.serialLedger = true;
    const StationJobText t = describeStationJob("/jobs/line.json", setup);
    QCOMPARE(t.name, QString("line.json"));
    QCOMPARE((QStringList{t.path, t.device, t.files.join(", "), t.options}), words);
}

void StationTest::modelFollowsTheGang_data()
{
    // Events on gang probe 1 of two ("B"); each row: events, then B's state, boards, passed,
    // last result and whether the board is still in the fixture.
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("boards");
    QTest::addColumn<int>("passed");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("remove");
    QTest::newRow("armed") << ""
                           << "等待" << 0 << 0 << "" << false;
    QTest::newRow("running") << "connect program"
                             << "烧录中" << 0 << 0 << "" << false;
    QTest::newRow("passed, board in") << "program pass removal"
                                      << "通过" << 1 << 1 << "ok" << true;
    QTest::newRow("passed, board out") << "program pass removal waiting"
                                       << "通过" << 1 << 1 << "ok" << false;
    QTest::newRow("next board") << "program pass removal waiting connect"
                                << "烧录中" << 1 << 1 << "ok" << false;
    QTest::newRow("failed") << "program pass removal waiting program fail"
                            << "失败" << 2 << 1 << "bad" << false;
    QTest::newRow("probe lost, no board") << "program pass removal lost"
                                          << "失败" << 1 << 1 << "ok" << false;
    QTest::newRow("interrupted") << "program stop"
                                 << "空闲" << 0 << 0 << "stopped" << false;
    QTest::newRow("run over") << "program pass removal end"
                              << "通过" << 1 << 1 << "ok" << false;
}

void StationTest::modelFollowsTheGang()
{
    QFETCH(QString, events);
    StationModel m;
    QVERIFY(m.listed({{"A", "HID"}, {"B", "HID"}, {"C", "HID"}}));
    QVERIFY(!m.listed({{"A", "HID"}, {"B", "HID"}, {"C", "HID"}}));
    m.runStarted({"B", "A"}, true); // gang index 0 is B
    const QDateTime at(QDate(2026, 12, 9), QTime(10, 30));
    for (const QString &e : events.split(' ', Qt::SkipEmptyParts)) {
        GangProgress p;
        GangResult r;
        if (e == "connect" || e == "program" || e == "removal" || e == "waiting") {
            p.phase = e == "connect" ? GangProgress::Phase::Connect
                : e == "program"     ? GangProgress::Phase::Program
                : e == "removal"     ? GangProgress::Phase::Removal
                                     : GangProgress::Phase::Waiting;
            m.progress(p);
        } else if (e == "end") {
            m.runEnded();
        } else {
            r.status = e == "pass" ? GangStatus::Passed
                : e == "stop"      ? GangStatus::Interrupted
                                   : GangStatus::Failed;
            const QString text = e == "pass" ? "ok"
                : e == "fail"                ? "bad"
                : e == "lost"                ? "gone"
                                             : "stopped";
            m.boardEnded(0, r, text, QString(), at, e != "lost");
        }
    }
    const StationProbe &b = m.probes()[1];
    QCOMPARE(b.name, QString("B"));
    QTEST(StationModel::stateText(b.state), "state");
    QTEST(b.boards, "boards");
    QTEST(b.passed, "passed");
    QTEST(b.lastResult, "result");
    QTEST(b.removeBoard, "remove");
    QCOMPARE(m.passedByHour()[10], b.passed);
    QCOMPARE(m.failedByHour()[10], b.boards - b.passed);
    QCOMPARE(m.probes()[2].inRun, false);
    QCOMPARE(m.probes()[2].state, StationProbe::State::Idle);
}

void StationTest::eightProbesEachBoardOnceAndAnUnplugFailsOnlyItself()
{
    QFile image(scratchPath("app.bin"));
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write(pattern(30000));
    image.close();
    job::JobSetup setup;
    job::JobFile file;
    file.path = scratchPath("app.bin");
    file.hasAddress = true;
    setup.files << file;
    setup.rollingAddress = 0x1D000;
    setup.rollingValue = 0x1000;
    setup.rollingStep = 1;
    setup.serialLedger = true;
    QString error;
    QVERIFY2(job::writeJobFile(scratchPath("line.json"), setup, error), qPrintable(error));

    StationJob job;
    job.path = scratchPath("line.json");
    job.record = scratchPath("line.sqlite");
    StationWindow w(job);
    w.show();
    QVERIFY(w.jobReadable());
    QCOMPARE(int(w.model().probes().size()), kProbes);
    QCOMPARE(
        w.findChild<QLabel *>("jobLabel")->text(),
        QString("工程：line.json    方式：专用探针    器件：QB48V\n文件：app.bin @ 0x00000000\n"
                "选项：整片擦除 · 烧写 · 校验 · 滚码 0x1D000 · 序列号台账"));

    // The operator: a board into each empty fixture at a random moment, taken out a random moment
    // after its result, the next one in after the probe has seen it gone.
    std::vector<int> attached(kProbes, 0); // boards put in
    std::vector<bool> in(kProbes, false);
    in[kUnplugged] = true;
    attached[kUnplugged] = 1;
    auto *rng = QRandomGenerator::global();
    auto later = [&](int k, bool put) {
        QTimer::singleShot(int(rng->bounded(put ? 300 : 100)), &w,
                           [&, k, put] { vprobe::VirtualProbe::probe(k).setChipAttached(put); });
    };
    std::vector<bool> pending(kProbes, false);
    connect(&w, &StationWindow::modelChanged, &w, [&] {
        for (int k = 0; k < kProbes; ++k) {
            const StationProbe &p = w.model().probes()[size_t(k)];
            if (k == kUnplugged || pending[size_t(k)] || !p.inRun)
                continue;
            if (!in[size_t(k)] && p.boards == attached[size_t(k)] && !p.removeBoard
                && attached[size_t(k)] < kBoardsEach) {
                in[size_t(k)] = true;
                ++attached[size_t(k)];
                later(k, true);
            } else if (in[size_t(k)] && p.removeBoard && p.boards == attached[size_t(k)]) {
                in[size_t(k)] = false;
                later(k, false);
            }
        }
    });
    QTest::mouseClick(w.findChild<QPushButton *>("autoButton"), Qt::LeftButton);
    auto doneAll = [&] {
        for (int k = 0; k < kProbes; ++k) {
            const StationProbe &p = w.model().probes()[size_t(k)];
            if (k != kUnplugged && (p.boards < kBoardsEach || p.removeBoard))
                return false;
        }
        return w.model().probes()[kUnplugged].state == StationProbe::State::Failed;
    };
    // A probe plugged in while the line runs gets its tile, to join the next start.
    QTRY_VERIFY_WITH_TIMEOUT(w.model().probes()[kUnplugged].inRun, 20000);
    vprobe::VirtualProbe::probe(kProbes).setPresent(true);
    QTRY_COMPARE_WITH_TIMEOUT(int(w.model().probes().size()), kProbes + 1, 20000);
    auto *added = w.findChild<QWidget *>(QString("stationTile%1").arg(kProbes));
    QVERIFY(added);
    QCOMPARE(added->findChild<QLabel *>("nameLabel")->text(), QString("QVP00000009"));
    QCOMPARE(added->findChild<QLabel *>("stateLabel")->text(), QString("空闲"));
    QCOMPARE(added->findChild<QLabel *>("phaseLabel")->text(), QString("开始后加入"));
    QTRY_VERIFY_WITH_TIMEOUT(doneAll(), 120000);
    // Gone from the bus: shown on its tile at the next look.
    QTRY_VERIFY_WITH_TIMEOUT(!w.model().probes()[kUnplugged].present, 20000);
    auto *unplugged = w.findChild<QWidget *>(QString("stationTile%1").arg(kUnplugged));
    QCOMPARE(unplugged->findChild<QLabel *>("stateLabel")->text(), QString("失败"));
    QCOMPARE(unplugged->findChild<QLabel *>("phaseLabel")->text(), QString("烧录器已拔出"));
    QTest::mouseClick(w.findChild<QPushButton *>("stopButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.findChild<QPushButton *>("startAllButton")->isEnabled(), 20000);

    // The tiles and the record tell the same: two passed boards on every other probe, the
    // unplugged probe's one failed board, each with its own ledger value.
    std::map<QString, QStringList> rows;
    QSet<quint32> serials;
    RecordDb db;
    QVERIFY(db.open(job.record));
    for (const RecordedRun &r : db.runs()) {
        rows[r.record.probeSerial] << r.status;
        // The board it was running failed, shown with the ledger value it voided.
        if (r.record.probeSerial == QString::asprintf("QVP%08d", kUnplugged + 1)) {
            QCOMPARE(r.message, QString("烧写错误！"));
            QCOMPARE(unplugged->findChild<QLabel *>("resultLabel")->text(),
                     QString::asprintf("烧写错误！  0x%08X", r.record.serial));
        }
        serials.insert(r.record.serial);
    }
    QCOMPARE(int(serials.size()), (kProbes - 1) * kBoardsEach + 1);
    for (int k = 0; k < kProbes; ++k) {
        const StationProbe &p = w.model().probes()[size_t(k)];
        const QString serial = QString::asprintf("QVP%08d", k + 1);
        QCOMPARE(p.name, serial);
        QCOMPARE(p.transport, QString("HID"));
        const QStringList expected =
            k == kUnplugged ? QStringList{"failed"} : QStringList{"passed", "passed"};
        QCOMPARE(rows[serial], expected);
        QCOMPARE(p.boards, int(expected.size()));
        QCOMPARE(p.passed, k == kUnplugged ? 0 : kBoardsEach);
        auto *tile = w.findChild<QWidget *>(QString("stationTile%1").arg(k));
        QCOMPARE(tile->findChild<QLabel *>("countsLabel")->text(),
                 k == kUnplugged ? QString("已烧1块  良率0%") : QString("已烧2块  良率100%"));
    }
    QCOMPARE(w.model().passedToday(), (kProbes - 1) * kBoardsEach);
    QCOMPARE(w.model().failedToday(), 1);
    QCOMPARE(w.findChild<QLabel *>("yieldLabel")->text(), QString("今日 14/15  良率93%"));
}

QTEST_MAIN(StationTest)
#include "tst_station.moc"
