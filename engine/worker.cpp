// The worker thread's entry point for a programming run.
#include "worker.h"

#include "download.h"

#include <QDebug>

void Worker::doWork(Download &download)
{
    qDebug().noquote() << tr("doWork");
    download.runProgramming();
    emit resultReady(download.result);
}
