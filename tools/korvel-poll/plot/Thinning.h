#pragma once
// A tag's series brought down to the width of its panel: for every pixel
// column only the lowest and the highest value read in it (in the order
// they came), so a picture of a day of one-second reads is as small as one
// of a minute and still shows every spike. The line is broken where reads
// failed and where the log has a hole (the tool was not running), and the
// columns of the failed reads are kept to be marked.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "korvel-poll/plot/TrendLog.h"

struct ColumnPoint {
    int column;
    double value;
};

struct ThinSeries {
    std::vector<std::vector<ColumnPoint>> segments;  // each a connected line
    std::vector<int> failedColumns;                  // ascending, each once
    double low = 0;   // the lowest and highest value read; both NaN when
    double high = 0;  // no read gave a number
    size_t reads = 0;
    size_t failures = 0;
};

// Time firstMs is column 0, lastMs column columns - 1. A step series (bits)
// also keeps the value each column ends on, where its next step starts.
ThinSeries Thin(const TrendSeries& series, int64_t firstMs, int64_t lastMs, int columns);
