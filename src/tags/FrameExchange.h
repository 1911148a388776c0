#pragma once
// The line as the protocol code sees it: one request out, whatever came back
// in, the settings of each station, the line's record of the stations that
// stopped answering, a clock and a wait. The driver provides it; the
// protocol code never asks what line it is.
#include <cstdint>
#include <string>

#include "modbus/ReplyShape.h"
#include "settings/StationSettings.h"

namespace modbus {

enum class LineResult {
    kReplied,  // bytes came back; whether they are the reply is the caller's check
    kUnplaced, // bytes came back that the line cannot place: a reply, but perhaps a late one
    kNoReply,  // nothing came back within the response time-out
    kFailed,   // the request could not be sent, or a read failed
};

// Whether a request to a station may go out now.
enum class Admission {
    kSend,
    kProbe,   // the station is demoted and its period has passed: this request tries it
    kRefuse,  // the station is demoted: nothing is sent
};

// What counting one request's reply changed in the station's record.
enum class HealthChange { kNone, kDemoted, kRestored };

class IFrameExchange {
public:
    // Sends data[0..length) and leaves the reply bytes in data and their number
    // in length. A line that uses the description of the reply ends it the
    // moment it is complete instead of waiting for the line to fall quiet.
    // The request is traced under sendLabel the moment it goes onto the line.
    virtual LineResult ExchangeReply(std::string& data, int32_t& length, const ReplyShape& reply,
                                     const char* sendLabel) = 0;
    // Hook for tracing frames; label is "Read Send", "Read Receive",
    // "Write Send" or "Write Receive".
    virtual void TraceFrame(const char* label, const uint8_t* bytes, int32_t count) = 0;
    // Hook for tracing what the protocol decided about the line: retries,
    // demotions, probes, restorations and learned block boundaries.
    virtual void TraceEvent(const std::string& text) = 0;
    virtual StationSettings SettingsOf(uint32_t station) = 0;
    // The station's record is kept by the line, for every user of it alike.
    virtual Admission Admit(uint32_t station) = 0;
    // Counts a request that got a reply of any kind, or none at all.
    virtual HealthChange CountReply(uint32_t station, bool replied, const StationSettings& settings) = 0;
    // Milliseconds from any fixed origin: when the protocol learned what it
    // tries again later.
    virtual uint64_t NowMs() = 0;
    // Waits before a request goes to a device again that said it is busy.
    // Nothing of the line is held meanwhile: others may use it.
    virtual void Pause(uint32_t ms) = 0;

protected:
    ~IFrameExchange() = default;
};

}  // namespace modbus
