// Opening a network line, losing its connection and dropping a connection
// on which nothing answers any more.
#include "network/NetworkLine.h"

#include <algorithm>
#include <atomic>

namespace {

// The first drop of a connection on which no station answers, and the
// longest wait between two such drops.
constexpr uint64_t kDeadAfterMs = 10000;
constexpr uint64_t kLongestDeadAfterMs = 300000;

// Tokens are never a multiple of four, as system handles are, so that no
// record's stale handle can name a network line.
HANDLE NextToken() {
    static std::atomic<uintptr_t> count{0};
    return reinterpret_cast<HANDLE>((++count << 2) | 3);
}

}  // namespace

// A connection made is a new line for the caches' learned splits: the box
// behind it may have been replaced. The stations' health is kept: a station
// demoted before stays demoted.
CNetworkLine::CNetworkLine(std::unique_ptr<INetworkSocket> socket, EventSink traceEvent, Clock nowUs,
                           bool ownThread)
    : m_socket(std::move(socket)), m_traceEvent(std::move(traceEvent)), m_nowUs(std::move(nowUs)),
      m_token(NextToken()), m_source(*m_socket, m_nowUs),
      m_connection(*m_socket, ownThread, m_traceEvent, m_nowUs,
                   [this] {
                       NewFormatGeneration();
                       OnConnected();
                   }),
      m_deadAfterMs(kDeadAfterMs) {}

CNetworkLine::~CNetworkLine() {
    Close();
}

uint32_t CNetworkLine::Open(int32_t index, const Target& target) {
    const uint32_t code = OpenPublished(index, [&]() -> uint32_t {
        m_target = target;
        ForgetConnection();
        m_placer.Forget();
        m_answeredSinceOpen = false;
        m_deadAfterMs = kDeadAfterMs;
        NewFormatGeneration();
        return 0;
    });
    if (code != 0) return code;
    m_connection.Open({PortName(), target.endpoint.host, target.endpoint.port, target.connectTimeoutMs},
                      target.reopen);
    return 0;
}

uint32_t CNetworkLine::Configure(const line::LineFormat& format) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    m_format = format;
    return 0;
}

bool CNetworkLine::Available(const LineUse& use, ILineObserver*) {
    return m_connection.Ensure(use.reopen);
}

// Nothing read before a loss answers anything after it.
void CNetworkLine::Lose(uint32_t code) {
    m_connection.Lose(code);
    ForgetConnection();
    m_silentSinceUs = 0;
    NewLossGeneration();
}

// A new connection may answer by another transaction rule, and owes
// nothing of the old one's stream. The placer's record of owed replies
// stays: a device server's serial side outlives the connection, and a late
// reply owed there comes over the next one.
void CNetworkLine::ForgetConnection() {
    m_source.Clear();
    m_framesInDoubt = false;
    m_transactions.Reset(m_target.transactionCheck);
    m_listenOutUnanswered = false;
    m_owedUntilUs = 0;
}

void CNetworkLine::OnConnected() {
    m_connectedAtUs = m_nowUs();
    m_connectDelayDue = true;
}

// A request without any reply starts the count; once no request got one
// for the time allowed, the connection is taken for dead: a gateway that
// rebooted can leave the old connection open without anything behind it.
// A line on which nothing answered yet, such as one being scanned for its
// stations, is not dropped for it.
void CNetworkLine::CountSilence(bool answered, int64_t sentAtUs) {
    if (answered) {
        m_silentSinceUs = 0;
        m_answeredSinceOpen = true;
        m_deadAfterMs = kDeadAfterMs;
    } else if (!m_answeredSinceOpen) {
        return;
    } else if (m_silentSinceUs == 0) {
        m_silentSinceUs = sentAtUs;
    } else if (static_cast<uint64_t>(m_nowUs() - m_silentSinceUs) / 1000 >= m_deadAfterMs) {
        Lose(kNoStationAnswered);
        m_deadAfterMs = std::min(m_deadAfterMs * 2, kLongestDeadAfterMs);
    }
}

void CNetworkLine::CloseCarrier() {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    m_connection.Close();
}
