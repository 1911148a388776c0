#pragma once
// The timing of a line that carries RTU frames, computed once per exchange
// from its format: the silence due before a request, the gap that ends a
// reply, and the time one character of a reply is given. A device server's
// serial side has the same timing as a port of the same format.
#include <cstdint>

#include "line/LineFormat.h"

namespace line {

struct LineTiming {
    uint64_t quietUs;      // the silence due before a request
    uint32_t quietMs;      // the same, rounded up, for reads that wait it out
    uint32_t gapMs;        // the silence that ends a reply
    uint32_t characterMs;  // one character of a reply, rounded up
    uint64_t characterUs;  // one character of the line's format
};

// 3.5 characters of the line's own format, or the fixed silence above
// 19200 baud, unless silenceSettingUs names a silence of its own.
LineTiming SerialTiming(const LineFormat& format, uint32_t silenceSettingUs);

}  // namespace line
