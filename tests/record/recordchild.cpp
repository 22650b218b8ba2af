// Child process of the record tests: allocates serials next to its siblings, or records runs
// until its parent kills it.
//   recordchild allocate LOCATION COUNT   one run per serial; prints each value
//   recordchild runs LOCATION             runs for ever; prints "done ID passed|failed"
//   recordchild hang LOCATION             begins one run with a serial, prints its id, waits
#include "recorddb.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QThread>
#include <cstdio>

namespace {

const SerialSeries series{0x0800F000, 0x1000, 3};

RunRecord sampleRun()
{
    RunRecord r;
    r.toolVersion = "test";
    r.probeSerial = QStringLiteral("P%1").arg(QCoreApplication::applicationPid());
    r.jobDigest = "00";
    r.files = {{"app.bin", 0, 4096, 0x12345678}};
    return r;
}

int allocate(RecordDb &db, int count)
{
    for (int i = 0; i < count; ++i) {
        const qint64 id = db.beginRun(sampleRun());
        quint32 value = 0;
        if (id < 0 || !db.allocateSerial(series, id, &value) || !db.finishRun(id, true, 0, "ok")) {
            std::fprintf(stderr, "%s\n", qPrintable(db.lastError()));
            return 1;
        }
        std::printf("%u\n", value);
    }
    return 0;
}

int runForever(RecordDb &db)
{
    QRandomGenerator random(quint32(QCoreApplication::applicationPid()));
    for (;;) {
        const qint64 id = db.beginRun(sampleRun());
        quint32 value = 0;
        if (id < 0 || !db.allocateSerial(series, id, &value))
            return 1;
        QThread::usleep(random.bounded(2000));
        const bool passed = random.bounded(4) != 0;
        if (!db.finishRun(id, passed, passed ? 0 : 8, passed ? "ok" : "program error"))
            return 1;
        std::printf("done %lld %s\n", id, passed ? "passed" : "failed");
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    RecordDb db;
    if (!db.open(args.at(2))) {
        std::fprintf(stderr, "%s\n", qPrintable(db.lastError()));
        return 1;
    }
    if (args.at(1) == "allocate" && args.size() == 4)
        return allocate(db, args.at(3).toInt());
    if (args.at(1) == "runs")
        return runForever(db);
    if (args.at(1) == "hang") {
        const qint64 id = db.beginRun(sampleRun());
        quint32 value = 0;
        if (id < 0 || !db.allocateSerial(series, id, &value))
            return 1;
        std::printf("%lld\n", id);
        std::fflush(stdout);
        QThread::sleep(600);
    }
    return 2;
}
