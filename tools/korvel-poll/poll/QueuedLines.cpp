#include "korvel-poll/poll/QueuedLines.h"

QueuedLines::QueuedLines(std::ostream& out, size_t bound)
    : m_out(out), m_bound(bound), m_thread(&QueuedLines::Run, this) {}

void QueuedLines::Add(std::string line) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_lines.size() >= m_bound) {
            ++m_dropped;
            return;
        }
        m_lines.push_back(std::move(line));
    }
    m_queued.notify_one();
}

void QueuedLines::Finish() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finishing = true;
    }
    m_queued.notify_one();
    m_thread.join();
}

uint64_t QueuedLines::Written() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
}

uint64_t QueuedLines::Dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

// A line leaves the queue only once it is written, so that the bound holds
// it while the stream is stalled on it.
void QueuedLines::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [this] { return !m_lines.empty() || m_finishing; });
        if (m_lines.empty()) return;
        const std::string& line = m_lines.front();
        lock.unlock();
        m_out << line << std::endl;
        lock.lock();
        m_lines.pop_front();
        ++m_written;
    }
}
