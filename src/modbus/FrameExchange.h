#pragma once
// The line as the protocol code sees it: one request out, whatever came back
// in. The driver provides it; the protocol code never asks what line it is.
#include <cstdint>
#include <string>

#include "modbus/ReplyShape.h"

namespace modbus {

enum class LineResult {
    kReplied,  // bytes came back; whether they are the reply is the caller's check
    kNoReply,  // nothing came back within the response time-out
    kFailed,   // the request could not be sent, or a read failed
};

class IFrameExchange {
public:
    // Sends data[0..length) and leaves the reply bytes in data and their number
    // in length. A line that uses the description of the reply ends it the
    // moment it is complete instead of waiting for the line to fall quiet.
    virtual LineResult ExchangeReply(std::string& data, int32_t& length, const ReplyShape& reply) = 0;
    // Hook for tracing frames; label is "Read Send", "Read Receive",
    // "Write Send" or "Write Receive".
    virtual void TraceFrame(const char* label, const uint8_t* bytes, int32_t count) = 0;

protected:
    ~IFrameExchange() = default;
};

}  // namespace modbus
