// Runs one SWD task at a time in the thread this object lives in (the window's worker thread), so
// the window stays responsive; progress and the result come back as queued signals.
#pragma once

#include "swd/swdprogrammer.h"

#include <QMetaType>
#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

Q_DECLARE_METATYPE(SwdResult)

class SwdWorker : public QObject
{
    Q_OBJECT
public:
    using Task = std::function<SwdResult(const SwdProgress &progress)>;

    SwdWorker();
    // Queues `task`; callable from any thread. Whatever it uses must outlive it.
    void start(Task task);

signals:
    void progress(const QString &phase, int percent);
    void finished(const SwdResult &result);

private:
    Q_INVOKABLE void runNext();

    std::mutex m_mutex;
    std::deque<Task> m_tasks; // queued by start(), taken by runNext() in the worker's thread
};
