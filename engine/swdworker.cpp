#include "swdworker.h"

SwdWorker::SwdWorker()
{
    qRegisterMetaType<SwdResult>();
}

void SwdWorker::start(Task task)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    // Invoked by name: the task waits in the queue above, not in a functor Qt allocates.
    QMetaObject::invokeMethod(this, "runNext", Qt::QueuedConnection);
}

void SwdWorker::runNext()
{
    Task task;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_tasks.empty())
            return;
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
    }
    const SwdResult result =
        task([this](const QString &phase, int percent) { emit progress(phase, percent); });
    emit finished(result);
}
