// Tick source of the connection polling; the check itself runs on the GUI thread.
#include "usbconnectthread.h"

#include <QDebug>

USBConnectThread::USBConnectThread(QObject *parent)
    : QThread(parent)
{
    qDebug().noquote() << tr("USBConnectThread");
    stopFlag.store(false, std::memory_order_relaxed);
}

void USBConnectThread::stop()
{
    qDebug() << "stop";
    // A stop() while nothing runs would linger and end the next run at once.
    if (!isRunning())
        return;
    stopFlag.store(true, std::memory_order_relaxed);
}

void USBConnectThread::run()
{
    qDebug().noquote() << tr("run");
    // The flag is cleared when the loop ends, not when it begins: a stop() that lands between
    // start() and the first line of run() would otherwise be lost and wait() would never return.
    while (!stopFlag.load(std::memory_order_relaxed)) {
        qDebug().noquote() << tr("tick");
        emit usbConnectTickSignal();
        msleep(500);
    }
    stopFlag.store(false, std::memory_order_relaxed);
}
