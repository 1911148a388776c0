#pragma once
// What the master knows of the reply a request will get, so that the line can
// end the reply the moment it is complete instead of waiting for silence.
#include <cstddef>
#include <cstdint>
#include <string>

namespace modbus {

struct ReplyShape {
    uint8_t station;
    uint8_t function;
    uint32_t length;           // the whole normal reply, in bytes
    uint32_t exceptionLength;  // the whole exception reply
};

// A read of quantity items, answered with the byte count such a read needs.
ReplyShape ReadReplyShape(uint8_t station, uint8_t function, uint16_t quantity);
// A write, answered with the echo of the request's first six bytes.
ReplyShape WriteReplyShape(const std::string& request);

// The fewest bytes that must still arrive before bytes[0..count) holds the
// whole reply; 0 once it does. The reply starts at the first station byte
// followed by the function code, or by the function code with the exception
// bit when a valid exception frame follows; bytes in front of it are noise.
uint32_t ReplyBytesMissing(const ReplyShape& shape, const uint8_t* bytes, size_t count);

// Whether bytes[0..count) hold a frame of the awaited station and function
// at the awaited length, or its exception, whatever its CRC: a reply the
// line corrupted is still the device's own answer. False for bytes that
// ReplyBytesMissing found complete only as a frame that cannot be the reply.
bool HoldsAwaitedFrame(const ReplyShape& shape, const uint8_t* bytes, size_t count);

// The trace event for bytes a late reply brought, dropped unread: "Late:
// station 17 function 3, 11 bytes discarded", naming the first whole frame
// among them, else their first two bytes.
std::string LateReplyEvent(const uint8_t* bytes, size_t count);

}  // namespace modbus
