#pragma once
// What the master knows of the reply a request will get, so that the line can
// end the reply the moment it is complete instead of waiting for silence.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// Where the reply stands in bytes[0..count), as far as they tell: a whole
// frame at [at, at + length), the awaited reply (or its exception) or one
// that cannot be it (another station, function or length, each whole by its
// own header and passing its CRC); else missing, the fewest bytes that must
// still arrive before a whole frame does. The reply starts at the first
// station byte followed by the function code, or by the function code with
// the exception bit when a valid exception frame follows; bytes in front of
// it are noise. The awaited reply's CRC is not checked: a reply the line
// corrupted is still the device's own answer.
struct ReplyLocation {
    uint32_t missing;
    size_t at;
    size_t length;
    bool awaited;
};
ReplyLocation LocateReply(const ReplyShape& shape, const uint8_t* bytes, size_t count);
// LocateReply's missing alone.
uint32_t ReplyBytesMissing(const ReplyShape& shape, const uint8_t* bytes, size_t count);
// Whether two requests are answered by replies that nothing but their data
// tells apart: the same station, function and lengths.
bool SameShape(const ReplyShape& one, const ReplyShape& other);

// Whether bytes[0..length) end with their CRC.
bool IsWholeFrame(const uint8_t* bytes, size_t length);

// The station and function of each whole frame with a good CRC among bytes,
// as a master of these requests is answered, in the order they came.
struct FrameHead {
    uint8_t station;
    uint8_t function;  // with the exception bit of an exception reply
};
std::vector<FrameHead> WholeFrames(const uint8_t* bytes, size_t count);

// The trace event for bytes a late reply brought, dropped unread: "Late:
// station 17 function 3, 11 bytes discarded", naming the first whole frame
// among them, else their first two bytes.
std::string LateReplyEvent(const uint8_t* bytes, size_t count);

}  // namespace modbus
