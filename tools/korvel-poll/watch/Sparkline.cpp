#include "korvel-poll/watch/Sparkline.h"

#include <algorithm>
#include <cmath>

namespace {

// U+2581..U+2588 in UTF-8, lowest first.
const char* const kLevels[] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};
constexpr size_t kLevelCount = sizeof kLevels / sizeof kLevels[0];
constexpr size_t kMiddle = kLevelCount / 2 - 1;

struct Span {
    double low;
    double high;
};

Span SpanOf(std::vector<double>::const_iterator first, std::vector<double>::const_iterator last) {
    Span span{INFINITY, -INFINITY};
    for (auto it = first; it != last; ++it) {
        if (!std::isfinite(*it)) continue;
        span.low = std::min(span.low, *it);
        span.high = std::max(span.high, *it);
    }
    return span;
}

size_t Level(double value, const Span& span, bool bit) {
    if (bit) return value != 0 ? kLevelCount - 1 : 0;
    if (!(span.high > span.low)) return kMiddle;
    const double scaled = (value - span.low) / (span.high - span.low) * (kLevelCount - 1);
    return static_cast<size_t>(std::lround(scaled));
}

}  // namespace

std::string Sparkline(const std::vector<double>& values, size_t width, bool bit) {
    const size_t shown = std::min(width, values.size());
    const auto first = values.end() - static_cast<std::ptrdiff_t>(shown);
    const Span span = SpanOf(first, values.end());
    std::string line(width - shown, ' ');
    for (auto it = first; it != values.end(); ++it) line += std::isfinite(*it) ? kLevels[Level(*it, span, bit)] : " ";
    return line;
}
