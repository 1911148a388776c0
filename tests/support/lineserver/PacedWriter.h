#pragma once
// Writes bytes into a pty at the pace of a serial line: each character takes
// ten bit times and reaches the far end when its last bit would have. Parts
// queue up in order; a part may ask for a pause of silence before it. Bytes
// are lost while nobody holds the far end open, as on a real line.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "RtuFrames.h"

using Clock = std::chrono::steady_clock;

// Whether some process holds the slave side of the pty whose master this is.
bool IsFarEndOpen(int master);

struct PacedPart {
    std::chrono::milliseconds pauseBefore{0};
    Bytes bytes;
};

class PacedWriter {
public:
    PacedWriter(int fd, Clock::duration characterTime);
    ~PacedWriter();
    PacedWriter(const PacedWriter&) = delete;
    PacedWriter& operator=(const PacedWriter&) = delete;

    void Send(PacedPart part);
    // Whether nothing waits to be sent.
    bool Idle();
    // When the last byte sent so far reached the far end.
    Clock::time_point LastByteAt();
    // Whoever listens to the wire hears each byte as it reaches the far end,
    // whether or not the far end is open.
    using Tap = std::function<void(const uint8_t*, size_t)>;
    void SetTap(Tap tap);

private:
    void Run();
    // False when the writer is stopping.
    bool WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point when);
    void Transmit(std::unique_lock<std::mutex>& lock, const PacedPart& part);
    void WriteOut(const uint8_t* data, size_t count);

    const int m_fd;
    const Clock::duration m_characterTime;
    Clock::time_point m_lineFreeAt;
    std::deque<PacedPart> m_queue;
    Tap m_tap;
    bool m_stopping = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
};
