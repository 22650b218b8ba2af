// One record connection on a thread of its own, shared by a gang's probes: a slow database (another
// station holding the write lock) delays the record, never a probe's run.
#pragma once

#include "recorddb.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class RecordWriter
{
public:
    using Work = std::function<void(RecordDb &db)>;

    // Work gets the writer's one connection, closed until a work opens it; it stays open for the
    // works after it, so a gang opens its record once however many boards it runs.
    RecordWriter();
    // Finishes every posted work first.
    ~RecordWriter();
    RecordWriter(const RecordWriter &) = delete;
    RecordWriter &operator=(const RecordWriter &) = delete;

    // Queued behind earlier work; returns at once.
    void post(Work work);
    // Queued behind earlier work; returns when it has run.
    void call(const Work &work);
    // Returns when every work posted so far has run.
    void drain();

private:
    void loop();

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    std::deque<Work> queue;
    quint64 posted = 0;
    quint64 finished = 0;
    bool stopping = false;
    std::thread thread;
};
