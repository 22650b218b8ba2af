// The polling thread: while it runs it emits a tick every 500 ms, on which the window checks that
// the probe is still attached.
#pragma once

#include <QThread>
#include <atomic>

class USBConnectThread : public QThread
{
    Q_OBJECT
public:
    explicit USBConnectThread(QObject *parent = nullptr);

    // Asks the loop to end after its current sleep; does not wait. Callable from any thread.
    void stop();

signals:
    void usbConnectTickSignal();

protected:
    void run() override;

private:
    // Only ends a loop, so relaxed ordering is enough.
    std::atomic<bool> stopFlag;
};
