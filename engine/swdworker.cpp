#include "swdworker.h"

SwdWorker::SwdWorker()
{
    qRegisterMetaType<SwdResult>();
}

void SwdWorker::start(Task task)
{
    QMetaObject::invokeMethod(
        this,
        [this, task]() {
            const SwdResult result =
                task([this](const QString &phase, int percent) { emit progress(phase, percent); });
            emit finished(result);
        },
        Qt::QueuedConnection);
}
