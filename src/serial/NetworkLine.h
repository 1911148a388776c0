#pragma once
// A line whose devices sit behind a TCP connection: a serial device server
// passing RTU frames through, or a Modbus TCP gateway. The driver objects of
// the line share the connection as they would share a serial port, and the
// exchange they use ends a reply by its shape, whatever TCP segments
// carried it. Requests reach the line as RTU frames, replies leave it as
// RTU frames; a Modbus TCP line wraps and unwraps them.
//
// The connection is made at Open. One that cannot be made, that the peer
// closes or resets, on which a send fails, or on which no station answered
// anything for 10 s of requests leaves the line lost, as a serial line's
// lost port is: exchanges fail at once without traffic while the line tries
// again on the same schedule, and one trace line each says when it was lost
// and when it was back.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "modbus/LinkReconnect.h"
#include "modbus/NetworkEndpoint.h"
#include "serial/Line.h"
#include "serial/NetworkSocket.h"
#include "serial/TurnLock.h"

class CNetworkLine : public CLine {
public:
    using EventSink = std::function<void(const std::string& text)>;
    using Clock = std::function<uint64_t()>;  // milliseconds from any origin

    CNetworkLine(std::unique_ptr<INetworkSocket> socket, EventSink traceEvent, Clock nowMs);
    ~CNetworkLine() override;

    struct Target {
        modbus::Transport transport;
        modbus::NetworkEndpoint endpoint;
        uint32_t connectTimeoutMs;
        modbus::ReconnectTiming reopen;  // until an exchange brings its own
    };
    // Connects to target and publishes the line under index. A connection
    // that cannot be made leaves the line published and lost. Returns
    // ERROR_ACCESS_DENIED while a line is published under index, else 0.
    uint32_t Open(int32_t index, const Target& target);
    // A token of this line, no system handle: it stays the same across the
    // connections the line makes.
    HANDLE Handle() const override { return m_token; }
    // Baud rate and parity belong to the device server's own port.
    uint32_t Configure(const serial::LineFormat&) override { return 0; }
    // While the connection is lost, connects again when an attempt is due.
    // The line traces its losses and returns itself, as it does at Open.
    bool Available(const LineUse& use, ILineObserver* observer) override;

    ExchangeResult ExchangeFramed(std::string& data, int32_t& length, const LineUse& use, const ReplyNeed& need,
                                  uint32_t longestReply, IExchangeObserver* observer = nullptr) override;

private:
    enum class ReplyEnd;
    struct Reading;

    // A connection on which no request got any reply for this long is dead,
    // and lost as one that timed out.
    static constexpr uint64_t kDeadAfterMs = 10000;
    static constexpr uint32_t kNoStationAnswered = 10060;  // WSAETIMEDOUT

    void CloseCarrier() override;
    // Connection steps (NetworkLine.cpp); the caller holds m_exchangeLock
    // or is opening the line.
    uint32_t Connect();
    // Whether the line is connected, trying again when the schedule says so.
    bool Connected();
    void Lose(uint32_t code);
    void CountSilence(bool answered, uint64_t sentAtMs);
    // Exchange steps (NetworkExchange.cpp); the caller holds m_exchangeLock.
    bool DiscardWaiting(const LineUse& use, IExchangeObserver* observer);
    uint32_t ReadUntilQuiet(std::string& into, uint32_t firstWaitMs, uint32_t longestMs);
    ReplyEnd ReadRtuReply(Reading& reading, std::string& data);
    ReplyEnd ReadMbapReply(Reading& reading, std::string& data);
    ReplyEnd ReadSome(Reading& reading, std::string& into, size_t count);
    void DiscardLateFrame(const std::string& frame, size_t frameLength, IExchangeObserver* observer);
    ExchangeResult Finish(ReplyEnd end, const Reading& reading, std::string& data, int32_t& length);

    std::unique_ptr<INetworkSocket> m_socket;
    const EventSink m_traceEvent;
    const Clock m_nowMs;
    const HANDLE m_token;
    Target m_target{};
    CTurnLock m_exchangeLock;
    modbus::CLinkReconnect m_reconnect;
    modbus::ReconnectTiming m_reopen{};  // the latest a user asked for
    uint16_t m_transaction = 0;
    // As on a serial line: until when an unanswered request's reply may
    // still come (0: none is awaited).
    uint64_t m_lateReplyUntilMs = 0;
    // Since when no request got any reply; 0 while they do.
    uint64_t m_silentSinceMs = 0;
    // What a read brought beyond what the reply took so far.
    std::string m_received;
    // Whether a Modbus TCP line lost track of where its frames begin, after
    // a header that was none or a frame cut short: what waits is dropped.
    bool m_framesInDoubt = false;
};
