#include "LineTap.h"

#include <unistd.h>

#include "PacedWriter.h"

LineTap::LineTap(std::chrono::milliseconds piece) : m_piece(piece) {}

std::unique_ptr<LineTap> LineTap::Open(const std::string& winePrefix, std::chrono::milliseconds piece,
                                       std::string& error) {
    std::unique_ptr<LineTap> tap(new LineTap(piece));
    if (!tap->m_pty.Open(error)) return nullptr;
    tap->m_link = ComLink::Claim(winePrefix, tap->m_pty.SlavePath(), error);
    if (!tap->m_link) return nullptr;
    if (piece.count() > 0) tap->m_handOver = std::thread(&LineTap::HandOverPieces, tap.get());
    return tap;
}

LineTap::~LineTap() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_handOver.joinable()) m_handOver.join();
}

bool LineTap::Held() const {
    return IsFarEndOpen(m_pty.Master());
}

void LineTap::Hear(const uint8_t* data, size_t count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_piece.count() == 0) return WriteOut(Bytes(data, data + count));
    m_heard.insert(m_heard.end(), data, data + count);
}

// As an adapter's timer does: whatever came since the last piece, at once.
void LineTap::HandOverPieces() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, m_piece, [this] { return m_stopping; })) {
        if (m_heard.empty()) continue;
        WriteOut(m_heard);
        m_heard.clear();
    }
}

// Bytes nobody holds the port open for are lost, as on a real line.
void LineTap::WriteOut(const Bytes& bytes) {
    if (!Held()) return;
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(m_pty.Master(), bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}
