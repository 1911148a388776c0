#pragma once
#include <cstdint>
#include <string>

#include "tags/FrameExchange.h"

namespace modbus {

// One exchange of buffer[0..length) on the line: the request traced when it
// goes onto the line, the reply when the exchange is over.
// Returns the exchange's result; buffer and length then hold the reply.
LineResult TracedExchange(IFrameExchange& line, std::string& buffer, int32_t& length, const ReplyShape& reply,
                   const char* sendLabel, const char* receiveLabel);

}  // namespace modbus
