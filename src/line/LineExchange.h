#pragma once
// What one exchange on a line is asked for and what it reports, whatever
// carries the line's frames: a driver object's settings for its requests,
// the observers that trace what happens on the line, and the outcome.
#include <cstdint>
#include <string>

#include "line/LinkReconnect.h"

namespace line {
// Whether requests come back on the line before their replies, as from an
// RS-485 adapter whose receiver stays on while it sends: learned from the
// line, or set. In the order of the settings file's names.
enum class EchoMode : uint8_t { kAuto, kOn, kOff };
}  // namespace line

// What a driver object's own settings ask of each exchange.
struct LineUse {
    int32_t rtsControl;              // 1 and 2 key RTS by hand around the request
    uint32_t responseTimeout;        // milliseconds
    uint32_t requestGapMs;           // extra silence before a framed exchange's request
    uint32_t silenceUs;              // the silence before a framed request; 0: the line format's own
    line::ReconnectTiming reopen;    // how often a lost port or connection is tried again
    uint32_t lateReplyMaxMs;         // how long an unanswered request's reply may still come; 0: 10 response time-outs
    // What a Modbus TCP request carries as its unit id, for the station the
    // request is for; -1: the station's address.
    int32_t unitId = -1;
    line::EchoMode echo = line::EchoMode::kAuto;
};

// What the line reports about its port or connection, once each time: port
// is the line's name, such as COM3.
class ILineObserver {
public:
    // A call on the port failed with code, which says the port is gone.
    virtual void OnPortLost(const std::string& port, uint32_t code) = 0;
    virtual void OnPortReopened(const std::string& port, uint64_t lostForMs) = 0;

protected:
    ~ILineObserver() = default;
};

// What a framed exchange reports while it runs, so that the frame trace
// shows each thing where it happens.
class IExchangeObserver : public ILineObserver {
public:
    // The request goes onto the line now: the line is the caller's, its
    // silence and the request gap are over.
    virtual void OnSend(const std::string& request, int32_t length) = 0;
    // Bytes an unanswered request's reply brought too late were read off the
    // line and dropped, before anything else was sent.
    virtual void OnLateDiscarded(const std::string& bytes) = 0;
    // Bytes that answered nothing asked were read off the line before a
    // request and dropped.
    virtual void OnWaitingDiscarded(const std::string&) {}
    // The line was found to send each request back before its reply; told
    // once until the line is closed or its format changes.
    virtual void OnEchoFound() {}
    // Whole frames that answered nothing the driver asked came, count of
    // them since the last time this was told; told once a minute at most.
    virtual void OnForeignFrames(uint32_t) {}

protected:
    ~IExchangeObserver() = default;
};

enum class ExchangeResult {
    kReplied,     // the reply placed as the request's answer, exactly its frame
    kSendFailed,  // no port, or the request could not be written
    kNoReply,     // nothing came within the response time-out
    kWaitFailed,  // the wait for a port event failed or timed out
    kReadFailed,  // a read failed; what came before it stays in the buffer
    kPortLost,    // the port failed as a device that is gone does: nothing is counted for the station
    kUnplaced,    // bytes came, but none the line can place as the answer: a broken reply, asked again
};
