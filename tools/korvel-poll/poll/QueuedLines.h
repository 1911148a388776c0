#pragma once
// Lines handed from the polling thread to a thread of their own that writes
// them to a stream, each flushed as it is written. The queue between them
// is bounded: while the stream keeps up nothing is lost, and when it stalls
// (a slow disk, a pipe nobody reads) the poll goes on, and the lines beyond
// the bound are dropped and counted rather than the line held.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

class QueuedLines {
public:
    // bound: the lines that may be queued, the one being written among them.
    QueuedLines(std::ostream& out, size_t bound);
    QueuedLines(const QueuedLines&) = delete;
    QueuedLines& operator=(const QueuedLines&) = delete;
    ~QueuedLines() { Finish(); }

    // Queues a line, or drops it when the queue is full; never waits for
    // the stream.
    void Add(std::string line);
    // Every line queued written, and the thread ended.
    void Finish();
    uint64_t Written() const;
    uint64_t Dropped() const;

private:
    void Run();

    std::ostream& m_out;
    const size_t m_bound;
    mutable std::mutex m_mutex;
    std::condition_variable m_queued;
    std::deque<std::string> m_lines;
    bool m_finishing = false;
    uint64_t m_written = 0;
    uint64_t m_dropped = 0;
    std::thread m_thread;  // last: it starts once the rest is ready
};
