#include "line/LineTiming.h"

#include <algorithm>

namespace line {
namespace {

// An RTU character: start bit, 8 data bits, parity or a second stop bit,
// stop bit.
constexpr uint64_t kBitsPerCharacter = 11;
constexpr uint64_t kSilenceTenthsOfCharacters = 35;
// Above 19200 baud the silence before a request is fixed: 3.5 characters
// would be shorter than many devices can tell apart from a pause inside a
// frame.
constexpr uint32_t kFixedSilenceAboveBaud = 19200;
constexpr uint64_t kFixedSilenceUs = 1750;
// A reply ends on a gap of at least 10 ms: on a busy system the bytes of one
// frame reach the port in bursts with gaps of several milliseconds, and a
// shorter gap would cut such frames short.
constexpr uint32_t kShortestGapMs = 10;
constexpr uint32_t kAssumedBaud = 9600;  // for a port that cannot tell its rate

uint32_t CeilDivide(uint64_t numerator, uint64_t denominator) {
    return static_cast<uint32_t>((numerator + denominator - 1) / denominator);
}

uint64_t SilenceUs(const LineFormat& format, uint64_t rate, uint32_t settingUs) {
    if (settingUs > 0) return settingUs;
    const uint64_t characters = CeilDivide(kSilenceTenthsOfCharacters * CharacterBits(format) * 1000000, 10 * rate);
    return rate > kFixedSilenceAboveBaud ? std::max(characters, kFixedSilenceUs) : characters;
}

}  // namespace

LineTiming SerialTiming(const LineFormat& format, uint32_t silenceSettingUs) {
    const uint64_t rate = format.baud > 0 ? format.baud : kAssumedBaud;
    const uint32_t silenceMs = CeilDivide(kSilenceTenthsOfCharacters * kBitsPerCharacter * 1000, 10 * rate);
    const uint64_t quietUs = SilenceUs(format, rate, silenceSettingUs);
    return {quietUs, std::max(CeilDivide(quietUs, 1000), 1u), std::max(silenceMs, kShortestGapMs),
            CeilDivide(kBitsPerCharacter * 1000, rate), CeilDivide(uint64_t{CharacterBits(format)} * 1000000, rate)};
}

}  // namespace line
