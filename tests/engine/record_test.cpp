// The job record's copy semantics and the worker hand-over: a run works on a queued copy that
// shares the image buffers, ChipRecord and HandleBar with the window's record.
#include "probe/linkfixture.h"
#include "worker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <memory>
#include <mutex>

namespace {

std::mutex debugMutex;
QStringList debugLines;
QVector<QThread *> debugThreads; // the thread that wrote each line

void collect(QtMsgType, const QMessageLogContext &, const QString &text)
{
    std::lock_guard<std::mutex> lock(debugMutex);
    debugLines << text;
    debugThreads << QThread::currentThread();
}

QCoreApplication &application()
{
    static int argc = 1;
    static char name[] = "engine_record_test";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Stands in for the window: the same signal, delivered queued to the worker's thread.
class JobSender : public QObject
{
    Q_OBJECT
signals:
    void downloadOperate(Download &download);
};

} // namespace

using Record = LinkTest;

TEST_F(Record, DestroyedCopyLeavesSharedObjectsIntact)
{
    addImage(0x0, 0x100);
    d.fileName[0] = "app.bin";
    auto copy = std::make_unique<Download>(d);
    // What the copy writes through its image buffer, chip record and progress bar reaches the
    // window's; its own fields do not.
    copy->imageData[0][0x10] = 0xA5;
    copy->chip->deviceId = 0x1234;
    emit copy->handleBar->progressBarSet(3);
    copy->fileName[0] = "other.bin";
    copy.reset();

    EXPECT_EQ(d.fileName[0], "app.bin");
    EXPECT_EQ(d.imageData[0][0x10], 0xA5);
    EXPECT_EQ(d.imageData[0][0x11], 0x77); // the pattern byte beside it is untouched
    EXPECT_EQ(chip.deviceId, 0x1234u);
    d.imageData[0][0x0FF] = 0x42; // still a live buffer (ASan would object otherwise)
    emit bar.progressBarSet(7);
    EXPECT_EQ(progress, (std::vector<int>{3, 7}));
}

TEST_F(Record, WorkerRunsOnAQueuedCopy)
{
    QCoreApplication &app = application();
    registerDownloadMetaType();
    ASSERT_EQ(d.toggleConnection(), 1);
    addImage(0x0, 0x80);
    d.eraseMode = 0;
    d.programEnabled = 1;
    d.result = 77;
    d.timestamp = 1234;

    QThread thread;
    Worker *worker = new Worker;
    worker->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    JobSender sender;
    QObject::connect(&sender, &JobSender::downloadOperate, worker, &Worker::doWork);
    std::vector<int> results;
    QEventLoop loop;
    QObject::connect(worker, &Worker::resultReady, &loop, [&](int r) {
        results.push_back(r);
        loop.quit();
    });
    thread.start();

    debugLines.clear();
    debugThreads.clear();
    qInstallMessageHandler(collect);
    emit sender.downloadOperate(d);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit); // a failure, not a hang
    loop.exec();
    thread.quit();
    thread.wait();
    qInstallMessageHandler(nullptr);

    EXPECT_EQ(results, std::vector<int>{0});
    // The run's only log line, then its copy destroyed once the slot returned, both on the
    // worker's thread.
    EXPECT_EQ(debugLines.join('|').toStdString(), "doWork|~Download");
    EXPECT_EQ(debugThreads, (QVector<QThread *>{&thread, &thread}));
    EXPECT_EQ(d.result, 77);
    EXPECT_EQ(d.timestamp, 1234u);
    EXPECT_EQ(chip.deviceId, probe().chip().deviceId);
    EXPECT_EQ(probe().readFlash(0x0, 0x80), image(0));
    (void)app;
}

#include "record_test.moc"
