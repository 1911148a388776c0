#pragma once
// The trend picture as one SVG file that any browser opens: a panel per tag,
// stacked, all on one time axis in UTC; each with its name, its scale from
// the lowest to the highest value read with round values between, the line
// of its values (steps for bits), and a red mark on its axis for every
// column where a read failed. A legend under the axis says what the marks
// and the breaks in a line mean.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "korvel-poll/plot/Thinning.h"

// The pixel columns of every panel's time axis, to thin the series to.
constexpr int kTrendColumns = 900;

struct TrendPanel {
    std::string title;  // the tag: its name, station, address and type
    ThinSeries series;  // thinned to kTrendColumns
    bool steps = false;
};

struct TrendPicture {
    std::string caption;  // where the values come from, e.g. the log's name
    int64_t firstMs = 0;
    int64_t lastMs = 0;
    size_t records = 0;
    std::vector<TrendPanel> panels;
};

std::string TrendSvg(const TrendPicture& picture);
// "1 tag, 120 records".
std::string TrendCounts(const TrendPicture& picture);
// "&", "<", ">" and quotes as SVG text takes them.
std::string EscapeXml(const std::string& text);
