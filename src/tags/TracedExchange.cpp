#include "tags/TracedExchange.h"

#include <algorithm>

namespace modbus {
namespace {

// The trace sees only bytes that are really in the buffer, whatever length
// the exchange reported.
void Trace(IFrameExchange& line, const char* label, const std::string& buffer, int32_t length) {
    const int32_t size = static_cast<int32_t>(std::min<size_t>(buffer.size(), INT32_MAX));
    line.TraceFrame(label, reinterpret_cast<const uint8_t*>(buffer.data()), std::clamp(length, 0, size));
}

}  // namespace

LineResult TracedExchange(IFrameExchange& line, std::string& buffer, int32_t& length, const ReplyShape& reply,
                   const char* sendLabel, const char* receiveLabel) {
    const LineResult result = line.ExchangeReply(buffer, length, reply, sendLabel);
    Trace(line, receiveLabel, buffer, length);
    return result;
}

}  // namespace modbus
