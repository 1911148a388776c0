// Opening a network line, losing its connection and making it again.
#include "serial/NetworkLine.h"

#include <atomic>

namespace {

// Tokens are never a multiple of four, as system handles are, so that no
// record's stale handle can name a network line.
HANDLE NextToken() {
    static std::atomic<uintptr_t> count{0};
    return reinterpret_cast<HANDLE>((++count << 2) | 3);
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
        m_reopen = target.reopen;
        m_reconnect = modbus::CLinkReconnect();
        NewFormatGeneration();
        if (uint32_t code = Connect()) Lose(code);
        return 0;
    });
}

bool CNetworkLine::Available(const LineUse& use, ILineObserver*) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    m_reopen = use.reopen;
    return Connected();
}

// What the line knew of its stations and of replies still to come belongs
// to the connection it came from.
uint32_t CNetworkLine::Connect() {
    m_health.Forget();
    m_lateReplyUntilMs = 0;
    m_silentSinceMs = 0;
    m_received.clear();
    m_framesInDoubt = false;
    return m_socket->Connect(m_target.endpoint.host, m_target.endpoint.port, m_target.connectTimeoutMs);
}

bool CNetworkLine::Connected() {
    if (m_socket->IsOpen()) return true;
    const uint64_t now = m_nowMs();
    if (!m_reconnect.AttemptDue(now)) return false;
    if (Connect() != 0) {
        m_reconnect.AttemptFailed(now, m_reopen);
        return false;
    }
    m_traceEvent(modbus::LinkReopenedEvent(PortName(), m_reconnect.Restored(m_nowMs())));
    return true;
}

// The same lines a serial line writes for its port: the code says why.
void CNetworkLine::Lose(uint32_t code) {
    m_socket->Close();
    m_received.clear();
    if (m_reconnect.MarkLost(m_nowMs(), m_reopen)) m_traceEvent(modbus::LinkLostEvent(PortName(), code));
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

// A closed line is no longer lost: nothing connects it again.
void CNetworkLine::CloseCarrier() {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    m_socket->Close();
    m_reconnect = modbus::CLinkReconnect();
}
