// The gang's record writer: a FIFO of work run in order on one thread and one connection.
#include "recordwriter.h"

RecordWriter::RecordWriter()
    : thread([this] { loop(); })
{ }

RecordWriter::~RecordWriter()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    thread.join();
}

void RecordWriter::post(Work work)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(work));
        ++posted;
    }
    wake.notify_one();
}

void RecordWriter::call(const Work &work)
{
    quint64 ticket;
    {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(work);
        ticket = ++posted;
    }
    wake.notify_one();
    std::unique_lock<std::mutex> lock(mutex);
    done.wait(lock, [&] { return finished >= ticket; });
}

void RecordWriter::drain()
{
    std::unique_lock<std::mutex> lock(mutex);
    const quint64 ticket = posted;
    done.wait(lock, [&] { return finished >= ticket; });
}

void RecordWriter::loop()
{
    // Qt SQL connections belong to the thread that opened them: this one.
    RecordDb db;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return stopping || !queue.empty(); });
        if (queue.empty())
            break; // stopping, and nothing left to write
        Work work = std::move(queue.front());
        queue.pop_front();
        lock.unlock();
        work(db);
        lock.lock();
        ++finished;
        done.notify_all();
    }
}
