#pragma once
// The TCP connection of a network line, made off the callers' path: name
// resolution and the connect run on a thread of the connection's own, so
// that no host call waits for a box that neither accepts nor refuses.
// Whether the connection is up is readable at any moment without a lock.
// While it is lost, an attempt starts when the reconnect schedule says one
// is due and a user asks for the line; reads and writes fail at once
// meanwhile. One trace line each says when the connection was lost and when
// it was back.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "line/LinkReconnect.h"
#include "network/NetworkSocket.h"

class CNetworkConnection {
public:
    using EventSink = std::function<void(const std::string& text)>;
    using Clock = std::function<int64_t()>;  // microseconds from any origin

    struct Target {
        std::string name;  // the line's, for the trace: COM50
        std::string host;
        uint16_t port;
        uint32_t connectTimeoutMs;
    };

    // ownThread false makes each attempt on the asking thread, for tests
    // that drive the connection on a clock of their own. onConnected runs
    // on the attempt's thread whenever a connection is made.
    CNetworkConnection(INetworkSocket& socket, bool ownThread, EventSink traceEvent, Clock nowUs,
                       std::function<void()> onConnected);
    ~CNetworkConnection();
    CNetworkConnection(const CNetworkConnection&) = delete;
    CNetworkConnection& operator=(const CNetworkConnection&) = delete;

    // Starts the first attempt and waits for it, at most its time-out.
    void Open(const Target& target, const line::ReconnectTiming& reopen);
    bool Up() const { return m_up; }
    // Starts an attempt when the connection is lost and one is due; returns
    // whether the connection is up.
    bool Ensure(const line::ReconnectTiming& reopen);
    // Closes the connection and makes it again, for a connection the peer
    // ended while idle: on the attempt's thread, the caller waiting for it
    // waitMs at most (its request's response time-out), so that a box
    // reached over a slow network loses no request and one that does not
    // answer the connect holds a host call no longer than its own bound.
    // The caller holds the line's turn. Returns 0, or the code the caller
    // reports with Lose while the attempt goes on.
    uint32_t Remake(uint32_t waitMs);
    // The connection failed with code: it is closed and lost. The caller
    // holds the line's turn, so no exchange uses the socket meanwhile.
    void Lose(uint32_t code);
    // Waits for an attempt under way and closes the connection for good.
    void Close();

private:
    void StartAttempt();
    void Attempt();
    uint64_t NowMs() const { return static_cast<uint64_t>(m_nowUs() / 1000); }

    INetworkSocket& m_socket;
    const bool m_ownThread;
    const EventSink m_traceEvent;
    const Clock m_nowUs;
    const std::function<void()> m_onConnected;
    Target m_target;
    std::atomic<bool> m_up{false};
    // Guarded by m_lock.
    std::mutex m_lock;
    std::condition_variable m_attemptEnded;
    line::CLinkReconnect m_reconnect;
    line::ReconnectTiming m_reopen{};
    bool m_attempting = false;
    bool m_closed = true;
    std::thread m_thread;
};
