// Opening a network line, losing its connection and making it again.
#include "serial/NetworkLine.h"

#include <atomic>
#include <cstdio>

namespace {

// Tokens are never a multiple of four, as system handles are, so that no
// record's stale handle can name a network line.
HANDLE NextToken() {
    static std::atomic<uintptr_t> count{0};
    return reinterpret_cast<HANDLE>((++count << 2) | 3);
}

std::string SecondsText(uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000);
    return text;
}

}  // namespace

CNetworkLine::CNetworkLine(std::unique_ptr<INetworkSocket> socket, EventSink traceEvent, Clock nowMs)
    : m_socket(std::move(socket)), m_traceEvent(std::move(traceEvent)), m_nowMs(std::move(nowMs)),
      m_token(NextToken()) {}

CNetworkLine::~CNetworkLine() {
    Close();
}

uint32_t CNetworkLine::Open(int32_t index, const Target& target) {
    return OpenPublished(index, [&]() -> uint32_t {
        m_target = target;
        m_name = "COM" + std::to_string(index + 1);
        m_health.Forget();
        if (uint32_t code = Connect()) {
            const uint64_t now = m_nowMs();
            m_schedule.Lost(now);
            m_schedule.Failed(now);
            m_traceEvent(LostEvent(code));
        }
        return 0;
    });
}

// The same lines a serial line writes for its port: the code says why.
std::string CNetworkLine::LostEvent(uint32_t code) const {
    return "Lost: " + m_name + ", error " + std::to_string(code);
}

// What the line knew of its stations and of replies still to come belongs
// to the connection it came from.
uint32_t CNetworkLine::Connect() {
    m_health.Forget();
    m_lateReplyUntilMs = 0;
    m_lateReplyPossible = false;
    m_silentSinceMs = 0;
    m_received.clear();
    m_framesInDoubt = false;
    return m_socket->Connect(m_target.endpoint.host, m_target.endpoint.port, m_target.connectTimeoutMs);
}

bool CNetworkLine::Connected() {
    if (m_socket->IsOpen()) return true;
    const uint64_t now = m_nowMs();
    if (!m_schedule.Due(now)) return false;
    if (Connect() != 0) {
        m_schedule.Failed(now);
        return false;
    }
    m_traceEvent("Reopened: " + m_name + " after " + SecondsText(m_schedule.LostForMs(m_nowMs())));
    return true;
}

void CNetworkLine::Lose(uint32_t code) {
    m_socket->Close();
    m_received.clear();
    m_schedule.Lost(m_nowMs());
    m_traceEvent(LostEvent(code));
}

// A request without any reply starts the count; once no request got one
// for kDeadAfterMs, the connection is taken for dead: a gateway that
// rebooted can leave the old connection open without anything behind it.
void CNetworkLine::CountSilence(bool answered, uint64_t sentAtMs) {
    if (answered) {
        m_silentSinceMs = 0;
    } else if (m_silentSinceMs == 0) {
        m_silentSinceMs = sentAtMs;
    } else if (m_nowMs() - m_silentSinceMs >= kDeadAfterMs) {
        Lose(kNoStationAnswered);
    }
}

void CNetworkLine::CloseCarrier() {
    std::lock_guard<std::mutex> turn(m_exchangeLock);
    m_socket->Close();
}
