// The connection's state before each request of a network line. Boxes
// close connections that idle: one the peer closed or reset while no
// request was out is made again at once, waited for under the line's own
// turn alone up to the request's response time-out, and the request goes
// out on the new one; so is one that idled longer than idle_close_ms,
// before the box's own timer could end it under a request. The line may wait long before a request
// (a late reply listened out, request_gap_ms), and a box's timer can end
// the connection meanwhile: that close is found before the request goes
// out, and the request goes out on a new connection too. A new
// connection's first request waits connect_delay_ms, for boxes that take a
// moment before they listen.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "network/NetworkLine.h"

namespace {

// A connection used this recently was not closed for idling: a line polled
// back to back pays no look at it.
constexpr int64_t kIdleLookUs = 50000;

std::string SecondsText(int64_t us) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(us) / 1e6);
    return seconds;
}

std::string EndedWhileIdle(uint32_t code) {
    return std::string(code == INetworkSocket::kPeerClosed ? "closed" : "reset") + " by the peer while idle";
}

}  // namespace

// A connection idle too long is closed whatever the peer did meanwhile.
bool CNetworkLine::ReadyConnection(uint32_t waitMs) {
    const int64_t idleUs = m_nowUs() - std::max(m_lastRequestUs, m_connectedAtUs.load());
    if (m_target.idleCloseMs > 0 && idleUs >= int64_t{m_target.idleCloseMs} * 1000) {
        if (!Reconnect("idle for " + SecondsText(idleUs) + " s", waitMs)) return false;
    } else if (const uint32_t code = idleUs >= kIdleLookUs ? m_source.PeerEnded() : 0) {
        if (!Reconnect(EndedWhileIdle(code), waitMs)) return false;
    }
    KeepConnectDelay();
    m_lastRequestUs = m_nowUs();
    return true;
}

// A pause that long is looked behind as an idle connection is.
bool CNetworkLine::KeepRequestGap(uint32_t gapMs) {
    if (gapMs == 0) return true;
    Sleep(gapMs);
    m_endedBeforeRequest = m_source.PeerEnded();
    return m_endedBeforeRequest == 0;
}

// Once per request: a new connection that ends again before the request
// goes out is lost.
bool CNetworkLine::RemadeBeforeRequest(bool again, uint32_t waitMs) {
    const uint32_t code = std::exchange(m_endedBeforeRequest, 0);
    if (code == 0) return false;
    if (again) {
        Lose(code);
        return false;
    }
    return Reconnect(EndedWhileIdle(code), waitMs);
}

// The same box answers on the new connection: nothing read before is lost.
// Made as every connection is, it starts with the splits to learn again.
bool CNetworkLine::Reconnect(const std::string& why, uint32_t waitMs) {
    ForgetConnection();
    if (const uint32_t code = m_connection.Remake(waitMs)) {
        Lose(code);
        return false;
    }
    m_traceEvent("Reconnected: " + PortName() + ", " + why);
    return true;
}

// What comes meanwhile is kept for the exchange, which judges it as bytes
// waiting before a request.
void CNetworkLine::KeepConnectDelay() {
    if (!m_connectDelayDue.exchange(false) || m_target.connectDelayMs == 0) return;
    m_source.HoldUntilUs(m_connectedAtUs + int64_t{m_target.connectDelayMs} * 1000);
}
