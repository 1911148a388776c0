#include "RtuFrames.h"

namespace {

// A frame is fixedLength bytes long, plus the byte count at countIndex where
// the function carries one (countIndex 0: none).
struct FrameShape {
    uint8_t function;
    size_t fixedLength;
    size_t countIndex;
};

const FrameShape kRequestShapes[] = {
    {1, 8, 0}, {2, 8, 0}, {3, 8, 0}, {4, 8, 0}, {5, 8, 0}, {6, 8, 0},
    {15, 9, 6}, {16, 9, 6}, {17, 4, 0}, {22, 10, 0}, {23, 13, 10},
};

const FrameShape kReplyShapes[] = {
    {1, 5, 2}, {2, 5, 2}, {3, 5, 2}, {4, 5, 2}, {5, 8, 0}, {6, 8, 0},
    {15, 8, 0}, {16, 8, 0}, {17, 5, 2}, {22, 10, 0}, {23, 5, 2},
};

constexpr uint8_t kExceptionBit = 0x80;
constexpr size_t kExceptionLength = 5;

template <size_t N>
size_t LengthByShape(const FrameShape (&shapes)[N], const Bytes& head) {
    if (head.size() < 2) return 0;
    for (const FrameShape& shape : shapes) {
        if (shape.function != head[1]) continue;
        if (shape.countIndex == 0) return shape.fixedLength;
        return head.size() > shape.countIndex ? shape.fixedLength + head[shape.countIndex] : 0;
    }
    return 0;
}

}  // namespace

size_t RequestLength(const Bytes& head) {
    return LengthByShape(kRequestShapes, head);
}

size_t ReplyLength(const Bytes& head) {
    if (head.size() >= 2 && (head[1] & kExceptionBit)) return kExceptionLength;
    return LengthByShape(kReplyShapes, head);
}

bool RequestItems(const Bytes& frame, uint32_t& first, uint32_t& last) {
    constexpr uint8_t kWriteSingleCoil = 5;
    constexpr uint8_t kWriteSingleRegister = 6;
    constexpr uint8_t kWriteMultipleCoils = 15;
    constexpr uint8_t kWriteMultipleRegisters = 16;
    if (frame.size() < 8) return false;
    const uint8_t function = frame[1];
    const bool single = function == kWriteSingleCoil || function == kWriteSingleRegister;
    const bool ranged = (function >= 1 && function <= 4) || function == kWriteMultipleCoils ||
                        function == kWriteMultipleRegisters;
    if (!single && !ranged) return false;
    first = uint32_t{frame[2]} << 8 | frame[3];
    const uint32_t quantity = single ? 1 : uint32_t{frame[4]} << 8 | frame[5];
    last = first + (quantity > 0 ? quantity - 1 : 0);
    return true;
}

std::vector<Bytes> TakeWholeFrames(Bytes& pending, size_t (*lengthOf)(const Bytes&)) {
    std::vector<Bytes> frames;
    for (size_t length = lengthOf(pending); length > 0 && pending.size() >= length; length = lengthOf(pending)) {
        auto end = pending.begin() + static_cast<std::ptrdiff_t>(length);
        frames.emplace_back(pending.begin(), end);
        pending.erase(pending.begin(), end);
    }
    return frames;
}
