#include "network/TcpByteSource.h"

#include <algorithm>

namespace {

constexpr size_t kReceiveChunk = 1024;
// Receives without waiting before a close shows: a peer's last bytes come
// before its close.
constexpr int kReceivesBeforeClose = 8;

uint32_t MsUntil(int64_t nowUs, int64_t thenUs) {
    return thenUs <= nowUs ? 0 : static_cast<uint32_t>((thenUs - nowUs + 999) / 1000);
}

}  // namespace

uint32_t CTcpByteSource::Receive(uint32_t waitMs) {
    if (m_failure != 0) return m_failure;
    m_failure = m_socket.Receive(m_held, kReceiveChunk, waitMs);
    return m_failure;
}

// Takes what is held first; waits for the first byte until totalMs, for
// each further one up to gapMs.
uint32_t CTcpByteSource::Read(std::string& into, uint32_t count, uint32_t gapMs, uint32_t totalMs, uint32_t& got) {
    got = 0;
    const int64_t endUs = m_nowUs() + int64_t{totalMs} * 1000;
    for (;;) {
        const size_t taken = std::min<size_t>(count - got, m_held.size());
        into.append(m_held, 0, taken);
        m_held.erase(0, taken);
        got += static_cast<uint32_t>(taken);
        if (got == count) return 0;
        const uint32_t leftMs = MsUntil(m_nowUs(), endUs);
        const uint32_t waitMs = got > 0 ? std::min(gapMs, leftMs) : leftMs;
        if (waitMs == 0) return 0;
        const size_t before = m_held.size();
        if (uint32_t code = Receive(waitMs)) return code;
        if (m_held.size() == before) return 0;
    }
}

// A failed connection counts as waiting: the read that follows reports it.
bool CTcpByteSource::BytesWaiting() {
    if (m_held.empty()) Receive(0);
    return !m_held.empty() || m_failure != 0;
}

void CTcpByteSource::WaitUntilUs(int64_t then) {
    const uint32_t waitMs = MsUntil(m_nowUs(), then);
    if (waitMs > 0 && m_held.empty()) Receive(waitMs);
}

uint32_t CTcpByteSource::PeerEnded() {
    for (int receive = 0; receive < kReceivesBeforeClose && m_failure == 0; ++receive) {
        const size_t before = m_held.size();
        Receive(0);
        if (m_held.size() == before) break;
    }
    return TakeFailure();
}

void CTcpByteSource::HoldUntilUs(int64_t then) {
    for (uint32_t waitMs = MsUntil(m_nowUs(), then); waitMs > 0 && m_failure == 0;
         waitMs = MsUntil(m_nowUs(), then)) {
        Receive(waitMs);
    }
}

uint32_t CTcpByteSource::TakeFailure() {
    const uint32_t failure = m_failure;
    m_failure = 0;
    return failure;
}

void CTcpByteSource::Clear() {
    m_held.clear();
    m_failure = 0;
}
