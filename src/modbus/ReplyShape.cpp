#include "modbus/ReplyShape.h"

#include <algorithm>

#include "modbus/Crc.h"
#include "modbus/FrameLength.h"
#include "modbus/Frames.h"

namespace modbus {
namespace {

constexpr uint8_t kExceptionBit = 0x80;
constexpr size_t kCrcLength = 2;
constexpr uint8_t kLargestByteCount = 255;
// Station, function and byte count stand before a read response's data.
constexpr size_t kReadHeaderLength = 3;

uint32_t Missing(size_t end, size_t count) {
    return end > count ? static_cast<uint32_t>(end - count) : 0;
}

bool HasValidCrc(const uint8_t* frame, size_t length) {
    const size_t checked = length - kCrcLength;
    const uint16_t sent = static_cast<uint16_t>(frame[checked] | frame[checked + 1] << 8);
    return ComputeCrc(frame, checked) == sent;
}

bool IsExceptionFrame(const ReplyShape& shape, const uint8_t* frame) {
    return HasValidCrc(frame, shape.exceptionLength);
}

// Whether a whole frame that is not the awaited reply stands at at: one of
// another station or function, or one whose length does not fit the request,
// each whole by its own header and passing its CRC. Nothing the device may
// still send can make it the reply, so waiting on would only cost time.
bool IsWholeOtherFrame(const ReplyShape& shape, const uint8_t* bytes, size_t at, size_t count) {
    const size_t length = ReplyLength(bytes + at, count - at).length;
    if (length == 0 || at + length > count || !HasValidCrc(bytes + at, length)) return false;
    const bool awaited = bytes[at] == shape.station &&
                         ((bytes[at + 1] == shape.function && length == shape.length) ||
                          (bytes[at + 1] == (shape.function | kExceptionBit) && length == shape.exceptionLength));
    return !awaited;
}

}  // namespace

bool IsWholeFrame(const uint8_t* bytes, size_t length) {
    return length > kCrcLength && HasValidCrc(bytes, length);
}

// A frame found is skipped whole: what its data holds is not searched.
std::vector<FrameHead> WholeFrames(const uint8_t* bytes, size_t count) {
    std::vector<FrameHead> frames;
    for (size_t at = 0; at < count;) {
        const size_t length = ReplyLength(bytes + at, count - at).length;
        if (length > 0 && at + length <= count && HasValidCrc(bytes + at, length)) {
            frames.push_back({bytes[at], bytes[at + 1]});
            at += length;
        } else {
            ++at;
        }
    }
    return frames;
}

std::string LateReplyEvent(const uint8_t* bytes, size_t count) {
    size_t at = 0;
    while (at < count) {
        const size_t length = ReplyLength(bytes + at, count - at).length;
        if (length > 0 && at + length <= count && HasValidCrc(bytes + at, length)) break;
        ++at;
    }
    if (at == count) at = 0;
    const auto byteAt = [&](size_t index) { return index < count ? std::to_string(bytes[index]) : std::string("-"); };
    return "Late: station " + byteAt(at) + " function " + byteAt(at + 1) + ", " + std::to_string(count) +
           " bytes discarded";
}

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
// the reply may still follow, so the search goes on behind it. So does the
// search behind the awaited station and function when the byte count there
// gives a whole frame of another length: a wrong reply, judged at once.
ReplyLocation LocateReply(const ReplyShape& shape, const uint8_t* bytes, size_t count) {
    const uint32_t shortest = std::min(shape.length, shape.exceptionLength);
    for (size_t at = 0; at < count; ++at) {
        if (IsWholeOtherFrame(shape, bytes, at, count)) {
            return {0, at, ReplyLength(bytes + at, count - at).length, false};
        }
        if (bytes[at] != shape.station) continue;
        if (at + 1 == count) return {Missing(at + shortest, count), at, 0, false};
        if (bytes[at + 1] == shape.function) {
            const uint32_t missing = Missing(at + shape.length, count);
            return {missing, at, missing == 0 ? shape.length : 0, missing == 0};
        }
        if (bytes[at + 1] != (shape.function | kExceptionBit)) continue;
        if (count < at + shape.exceptionLength) return {Missing(at + shape.exceptionLength, count), at, 0, false};
        if (IsExceptionFrame(shape, bytes + at)) return {0, at, shape.exceptionLength, true};
    }
    return {shortest, count, 0, false};
}

uint32_t ReplyBytesMissing(const ReplyShape& shape, const uint8_t* bytes, size_t count) {
    return LocateReply(shape, bytes, count).missing;
}

bool SameShape(const ReplyShape& one, const ReplyShape& other) {
    return one.station == other.station && one.function == other.function && one.length == other.length &&
           one.exceptionLength == other.exceptionLength;
}

}  // namespace modbus
