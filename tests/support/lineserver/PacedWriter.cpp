#include "PacedWriter.h"

#include <poll.h>
#include <unistd.h>

bool IsFarEndOpen(int master) {
    pollfd state{master, 0, 0};
    return poll(&state, 1, 0) >= 0 && !(state.revents & POLLHUP);
}

PacedWriter::PacedWriter(int fd, Clock::duration characterTime)
    : m_fd(fd), m_characterTime(characterTime), m_lineFreeAt(Clock::now()), m_thread(&PacedWriter::Run, this) {}

PacedWriter::~PacedWriter() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void PacedWriter::Send(PacedPart part) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(part));
    }
    m_wake.notify_all();
}

bool PacedWriter::Idle() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.empty();
}

Clock::time_point PacedWriter::LastByteAt() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lineFreeAt;
}

void PacedWriter::SetTap(Tap tap) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tap = std::move(tap);
}

void PacedWriter::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping) return;
        PacedPart part = std::move(m_queue.front());
        m_queue.pop_front();
        Transmit(lock, part);
    }
}

bool PacedWriter::WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point when) {
    return !m_wake.wait_until(lock, when, [this] { return m_stopping; });
}

// Byte k of the part arrives at start + (k+1) character times. A late wake-up
// writes every byte that is due at once, so the average pace stays right.
void PacedWriter::Transmit(std::unique_lock<std::mutex>& lock, const PacedPart& part) {
    Clock::time_point start = std::max(Clock::now(), m_lineFreeAt) + part.pauseBefore;
    size_t sent = 0;
    while (sent < part.bytes.size()) {
        if (!WaitUntil(lock, start + m_characterTime * (sent + 1))) return;
        auto elapsed = Clock::now() - start;
        size_t due = std::min(part.bytes.size(), static_cast<size_t>(elapsed / m_characterTime));
        WriteOut(part.bytes.data() + sent, due - sent);
        sent = due;
    }
    m_lineFreeAt = start + m_characterTime * part.bytes.size();
    if (part.bytes.empty()) WaitUntil(lock, start);
}

// Bytes nobody can take (the far end is closed, or its queue is full) are
// lost, as on a real line.
void PacedWriter::WriteOut(const uint8_t* data, size_t count) {
    if (m_tap && count > 0) m_tap(data, count);
    if (!IsFarEndOpen(m_fd)) return;
    while (count > 0) {
        ssize_t n = write(m_fd, data, count);
        if (n <= 0) return;
        data += n;
        count -= static_cast<size_t>(n);
    }
}
