// Runs one programming job at a time in the worker thread, on the copy the queued signal made.
#pragma once

#include <QObject>

class Download;

class Worker : public QObject
{
    Q_OBJECT
public slots:
    void doWork(Download &download);

signals:
    void resultReady(int result);
};
