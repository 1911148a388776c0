#include "modbus/ReplyShape.h"

#include <algorithm>

#include "modbus/Crc.h"
#include "modbus/Frames.h"

namespace modbus {
namespace {

constexpr uint8_t kExceptionBit = 0x80;
constexpr size_t kCrcLength = 2;
constexpr uint8_t kLargestByteCount = 255;

uint32_t Missing(size_t end, size_t count) {
    return end > count ? static_cast<uint32_t>(end - count) : 0;
}

bool IsExceptionFrame(const ReplyShape& shape, const uint8_t* frame) {
    const size_t checked = shape.exceptionLength - kCrcLength;
    const uint16_t sent = static_cast<uint16_t>(frame[checked] | frame[checked + 1] << 8);
    return ComputeCrc(frame, checked) == sent;
}

}  // namespace

// A byte count beyond one byte cannot come back; the frame's own byte count
// then stops short of it, and the reply ends on silence.
ReplyShape ReadReplyShape(uint8_t station, uint8_t function, uint16_t quantity) {
    const uint32_t byteCount = std::min<uint32_t>(ExpectedByteCount(function, quantity), kLargestByteCount);
    return {station, function, static_cast<uint32_t>(ReadResponseLength(static_cast<uint8_t>(byteCount))),
            static_cast<uint32_t>(ExceptionResponseLength())};
}

ReplyShape WriteReplyShape(const std::string& request) {
    const uint8_t station = request.size() > 0 ? static_cast<uint8_t>(request[0]) : 0;
    const uint8_t function = request.size() > 1 ? static_cast<uint8_t>(request[1]) : 0;
    return {station, function, static_cast<uint32_t>(WriteAcknowledgementLength()),
            static_cast<uint32_t>(ExceptionResponseLength())};
}

// An exception pair whose CRC fails is noise that happens to look like one:
// the reply may still follow, so the search goes on behind it.
uint32_t ReplyBytesMissing(const ReplyShape& shape, const uint8_t* bytes, size_t count) {
    const uint32_t shortest = std::min(shape.length, shape.exceptionLength);
    for (size_t at = 0; at < count; ++at) {
        if (bytes[at] != shape.station) continue;
        if (at + 1 == count) return Missing(at + shortest, count);
        if (bytes[at + 1] == shape.function) return Missing(at + shape.length, count);
        if (bytes[at + 1] != (shape.function | kExceptionBit)) continue;
        if (count < at + shape.exceptionLength) return Missing(at + shape.exceptionLength, count);
        if (IsExceptionFrame(shape, bytes + at)) return 0;
    }
    return shortest;
}

}  // namespace modbus
