#pragma once
// A line whose devices sit behind a TCP connection: a serial device server
// passing RTU frames through, or a Modbus TCP gateway. The driver objects of
// the line share the connection as they would share a serial port.
// Requests reach the line as RTU frames, replies leave it as RTU frames; a
// Modbus TCP line wraps and unwraps them. On RTU over TCP the reply-placing
// engine of every RTU line decides which bytes answer which request; on
// Modbus TCP the transaction does, with the engine's deadline and bounds.
//
// The connection is made off the callers' path (NetworkConnection.h). One
// that the peer closes or resets while a request is out, or on which a send
// fails, leaves the line lost, as a serial line's lost port is. One that the
// peer closed while no request was out, or that idled longer than the line
// allows, is made again before the next request under the line's own
// turn, and nothing fails for it if the box takes the new connection
// within the request's response time-out. So does a connection on which no
// station answered anything for 10 s once some station had answered since
// the line was opened; while none answers after that, the wait before the
// next such drop doubles, up to 5 minutes.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "line/Line.h"
#include "line/LinkReconnect.h"
#include "line/ReplyPlacer.h"
#include "line/TurnLock.h"
#include "modbus/MbapTransactions.h"
#include "network/NetworkConnection.h"
#include "network/NetworkSocket.h"
#include "network/TcpByteSource.h"
#include "settings/NetworkEndpoint.h"

// The trace event of bytes that waited on a connection before a request
// and were dropped: "Discarded: COM5, 3 bytes waiting before a request".
inline std::string WaitingDiscardedEvent(const std::string& port, size_t bytes) {
    return "Discarded: " + port + ", " + std::to_string(bytes) + " bytes waiting before a request";
}

class CNetworkLine : public CLine {
public:
    using EventSink = std::function<void(const std::string& text)>;
    using Clock = std::function<int64_t()>;  // microseconds from any origin

    // ownThread false makes connects on the asking thread (tests).
    CNetworkLine(std::unique_ptr<INetworkSocket> socket, EventSink traceEvent, Clock nowUs, bool ownThread = true);
    ~CNetworkLine() override;

    struct Target {
        modbus::Transport transport;
        modbus::NetworkEndpoint endpoint;
        uint32_t connectTimeoutMs;
        line::ReconnectTiming reopen;  // until an exchange brings its own
        modbus::TransactionCheck transactionCheck = modbus::TransactionCheck::kAuto;
        uint32_t idleCloseMs = 0;     // 0: the connection is kept however long it idles
        uint32_t connectDelayMs = 0;  // the pause after a connection is made before its first request
    };
    // Publishes the line under index, then waits for its first connection at
    // most connectTimeoutMs, outside every lock other lines need. A
    // connection that cannot be made leaves the line published and lost.
    // Returns ERROR_ACCESS_DENIED while a line is published under index,
    // else 0.
    uint32_t Open(int32_t index, const Target& target);
    // A token of this line, no system handle: it stays the same across the
    // connections the line makes.
    HANDLE Handle() const override { return m_token; }
    // The device server's serial format times the silence before a request
    // on RTU over TCP; the box applies it on its own port.
    uint32_t Configure(const line::LineFormat& format) override;
    // Never waits: while the connection is lost, starts an attempt when one
    // is due and reports the line unavailable.
    bool Available(const LineUse& use, ILineObserver* observer) override;

    ExchangeResult ExchangeFramed(std::string& data, int32_t& length, const LineUse& use,
                                  const modbus::ReplyShape& reply, IExchangeObserver* observer = nullptr) override;

private:
    enum class MbapEnd;
    struct MbapAwaited;

    static constexpr uint32_t kNoStationAnswered = 10060;  // WSAETIMEDOUT
    // Replies behind a device server or gateway come at the pace of its
    // serial port; this allows each byte 2 ms, 4800 baud and faster.
    static constexpr uint32_t kMsPerReplyByte = 2;

    void CloseCarrier() override;
    void Lose(uint32_t code);
    // What a new connection owes nothing of.
    void ForgetConnection();
    // Runs on the thread that made a connection.
    void OnConnected();
    // Connection steps before a request (network/ConnectionUse.cpp); the
    // caller holds m_exchangeLock. False when the line is lost meanwhile.
    // A connection made again is waited for waitMs at most.
    bool ReadyConnection(uint32_t waitMs);
    bool Reconnect(const std::string& why, uint32_t waitMs);
    void KeepConnectDelay();
    // The gap before a request; false when the connection ended meanwhile.
    bool KeepRequestGap(uint32_t gapMs);
    // Whether the connection ended before the request went out and a new
    // one was made for it; again: the request had a new one already.
    bool RemadeBeforeRequest(bool again, uint32_t waitMs);
    void CountSilence(bool answered, int64_t sentAtUs);
    // Exchange steps; the caller holds m_exchangeLock.
    ExchangeResult ExchangeRtu(std::string& data, int32_t& length, const LineUse& use,
                               const modbus::ReplyShape& reply, IExchangeObserver* observer);
    ExchangeResult ExchangeMbap(std::string& data, int32_t& length, const LineUse& use,
                                const modbus::ReplyShape& reply, IExchangeObserver* observer);
    bool SettleBeforeMbapRequest(const LineUse& use, IExchangeObserver* observer);
    bool DiscardWaiting(uint32_t firstWindowMs, uint32_t longestMs, IExchangeObserver* observer);
    MbapEnd ReadMbapReply(const MbapAwaited& awaited, int64_t deadlineUs, IExchangeObserver* observer,
                          std::string& data);
    MbapEnd TakeOwnFrame(const MbapAwaited& awaited, std::string& data);
    bool LearnTransactions(const std::string& frame, size_t frameLength, const MbapAwaited& awaited);
    MbapEnd CheckQuietBehind(const MbapAwaited& awaited, int64_t deadlineUs, MbapEnd end);
    void NoteMbapEnd(MbapEnd end, const LineUse& use, const modbus::ReplyShape& reply, int64_t sentAtUs);
    void DiscardLateFrame(const std::string& frame, size_t frameLength, IExchangeObserver* observer);
    ExchangeResult FinishMbap(MbapEnd end, std::string& data, int32_t& length);

    std::unique_ptr<INetworkSocket> m_socket;
    const EventSink m_traceEvent;
    const Clock m_nowUs;
    const HANDLE m_token;
    Target m_target{};
    line::LineFormat m_format{9600, 8, 0, 0};
    CTurnLock m_exchangeLock;
    CTcpByteSource m_source;
    CNetworkConnection m_connection;
    // Guarded by m_exchangeLock.
    line::CReplyPlacer m_placer;
    uint16_t m_transaction = 0;
    modbus::CTransactionRule m_transactions;
    // Where the connection's rule cannot tell requests apart: whether the
    // last request got no reply, so that its own may still come before the
    // next goes out, and until when a reply may still come for one.
    bool m_listenOutUnanswered = false;
    int64_t m_owedUntilUs = 0;
    // When the last request went out.
    int64_t m_lastRequestUs = 0;
    // The failure of a connection that ended before the request went out.
    uint32_t m_endedBeforeRequest = 0;
    // Set on the thread that made the connection: when, and whether its
    // first request is still to keep the connect delay.
    std::atomic<int64_t> m_connectedAtUs{0};
    std::atomic<bool> m_connectDelayDue{false};
    // Since when no request got any reply; 0 while they do.
    int64_t m_silentSinceUs = 0;
    // Whether any station answered since the line was opened, and how long
    // the line may stay without any answer before its connection is dropped.
    bool m_answeredSinceOpen = false;
    uint64_t m_deadAfterMs;
    // Whether a Modbus TCP line lost track of where its frames begin, after
    // a header that was none or a frame cut short: what waits is dropped.
    bool m_framesInDoubt = false;
};
