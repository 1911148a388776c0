#include "network/NetworkConnection.h"

#include <algorithm>

CNetworkConnection::CNetworkConnection(INetworkSocket& socket, bool ownThread, EventSink traceEvent, Clock nowUs,
                                       std::function<void()> onConnected)
    : m_socket(socket), m_ownThread(ownThread), m_traceEvent(std::move(traceEvent)), m_nowUs(std::move(nowUs)),
      m_onConnected(std::move(onConnected)) {}

CNetworkConnection::~CNetworkConnection() {
    Close();
}

namespace {

// What an attempt may take beyond its connect's own time-out to report.
constexpr uint32_t kReportMarginMs = 100;
constexpr uint32_t kNotInTime = 10060;  // WSAETIMEDOUT

}  // namespace

// A connection that cannot be made within its time-out leaves the line lost,
// trying again by itself.
void CNetworkConnection::Open(const Target& target, const line::ReconnectTiming& reopen) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_target = target;
    m_reopen = reopen;
    m_reconnect = line::CLinkReconnect();
    m_closed = false;
    guard.unlock();
    StartAttempt();
    guard.lock();
    m_attemptEnded.wait_for(guard, std::chrono::milliseconds(target.connectTimeoutMs + kReportMarginMs),
                            [this] { return !m_attempting; });
}

// A finished attempt's thread is joined as soon as it is seen finished, so
// that its handle goes with it. The thread set m_attempting under the lock
// as its last step: the join waits for its return alone.
bool CNetworkConnection::Ensure(const line::ReconnectTiming& reopen) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_attempting && m_thread.joinable()) m_thread.join();
        if (m_up) return true;
        m_reopen = reopen;
        if (m_closed || m_attempting || !m_reconnect.AttemptDue(NowMs())) return m_up;
    }
    StartAttempt();
    return m_up;
}

// Only an up connection is made again: no attempt thread runs meanwhile.
uint32_t CNetworkConnection::Remake(uint32_t waitMs) {
    m_socket.Close();
    m_up = false;
    StartAttempt();
    std::unique_lock<std::mutex> guard(m_lock);
    m_attemptEnded.wait_for(guard, std::chrono::milliseconds(std::min(m_target.connectTimeoutMs, waitMs)),
                            [this] { return !m_attempting; });
    return m_up ? 0 : kNotInTime;
}

// An attempt under way owns the socket.
void CNetworkConnection::Lose(uint32_t code) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_attempting) m_socket.Close();
    m_up = false;
    if (m_reconnect.MarkLost(NowMs(), m_reopen)) m_traceEvent(line::LinkLostEvent(m_target.name, code));
}

// A finished attempt's thread is joined before the next starts; only one
// runs at a time.
void CNetworkConnection::StartAttempt() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_attempting) return;
        m_attempting = true;
    }
    if (!m_ownThread) return Attempt();
    if (m_thread.joinable()) m_thread.join();
    m_thread = std::thread(&CNetworkConnection::Attempt, this);
}

// The first attempt that fails makes the connection lost; later ones follow
// the schedule. A connection made after a loss is traced with how long the
// loss lasted.
void CNetworkConnection::Attempt() {
    const uint32_t code = m_socket.Connect(m_target.host, m_target.port, m_target.connectTimeoutMs);
    if (code == 0) m_onConnected();
    std::lock_guard<std::mutex> guard(m_lock);
    const uint64_t now = NowMs();
    if (code != 0) {
        if (!m_reconnect.IsLost()) {
            m_reconnect.MarkLost(now, m_reopen);
            m_traceEvent(line::LinkLostEvent(m_target.name, code));
        } else {
            m_reconnect.AttemptFailed(now, m_reopen);
        }
    } else if (m_reconnect.IsLost()) {
        m_traceEvent(line::LinkReopenedEvent(m_target.name, m_reconnect.Restored(now)));
    }
    m_up = code == 0;
    m_attempting = false;
    m_attemptEnded.notify_all();
}

// A closed line is no longer lost: nothing connects it again.
void CNetworkConnection::Close() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closed = true;
    }
    if (m_thread.joinable()) m_thread.join();
    m_socket.Close();
    std::lock_guard<std::mutex> guard(m_lock);
    m_up = false;
    m_reconnect = line::CLinkReconnect();
}
