#pragma once
// What korvel-poll --watch adds to a poll cycle: one frame of the view, the
// tags' rows made, laid out and rendered as virtual terminal sequences,
// timed for the benchmark's tags and set beside the driver's cycle.
#include <cstdio>
#include <vector>

#include "Figures.h"
#include "TagSet.h"

namespace bench {

// Milliseconds per frame of the tags, each with a full trend, on a screen
// tall enough to show every row.
double MeasureWatchFrameMs(const std::vector<BenchTag>& tags);
// One line: the frame's time and its share of the driver's median cycle at
// 115200 baud, when the driver was measured there.
void PrintWatchFrame(std::FILE* out, size_t tags, double frameMs, const std::vector<Figures>& all);

}  // namespace bench
