#pragma once
// What the line server needs to know about Modbus RTU frames: the CRC, and
// how long a frame is from its first bytes, so the slave can tell where a
// request ends and the relay where a reply ends without waiting for silence.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../FrameBytes.h"

using Bytes = std::vector<uint8_t>;

// Full length of the frame that starts with these bytes; 0 while too few
// bytes have come to tell, or for a function whose frames only silence ends.
size_t RequestLength(const Bytes& head);
size_t ReplyLength(const Bytes& head);

// The items a whole read or write request touches, first..last; false for
// a frame of another function or too short to tell.
bool RequestItems(const Bytes& frame, uint32_t& first, uint32_t& last);

// Removes from the front of pending every frame that is complete by
// lengthOf, oldest first.
std::vector<Bytes> TakeWholeFrames(Bytes& pending, size_t (*lengthOf)(const Bytes&));
