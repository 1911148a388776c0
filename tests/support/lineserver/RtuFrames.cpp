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

std::vector<Bytes> TakeWholeFrames(Bytes& pending, size_t (*lengthOf)(const Bytes&)) {
    std::vector<Bytes> frames;
    for (size_t length = lengthOf(pending); length > 0 && pending.size() >= length; length = lengthOf(pending)) {
        auto end = pending.begin() + static_cast<std::ptrdiff_t>(length);
        frames.emplace_back(pending.begin(), end);
        pending.erase(pending.begin(), end);
    }
    return frames;
}
