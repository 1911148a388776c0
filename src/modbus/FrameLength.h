#pragma once
// How long a frame says it is by its first bytes: as the request a master
// sends (its function, and the byte count of a write of many items) and as
// the reply a station sends back (its byte count, or its function). Whoever
// places frames in a byte stream asks here: the line that awaits a reply,
// and a listener that cuts a line's traffic into frames.
#include <cstddef>
#include <cstdint>

namespace modbus {

struct OwnLength {
    bool known;     // the function is one whose frames tell their length
    size_t length;  // the whole frame, CRC included; 0 while the bytes that tell it have not come
};

// Functions 1 to 6, 15 and 16; any other function is not known. Too few
// bytes to tell the function yet count as known with length 0.
OwnLength RequestLength(const uint8_t* frame, size_t available);
// Those functions and any exception reply.
OwnLength ReplyLength(const uint8_t* frame, size_t available);

}  // namespace modbus
