// Carries progress from the worker thread's job copy to the window.
#pragma once

#include <QObject>

class HandleBar : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void progressBarSet(int value);
};

// Records made outside a window (tools, tests) may carry no bar.
inline void reportProgress(HandleBar *bar, int value)
{
    if (bar)
        emit bar->progressBarSet(value);
}
