#include "korvel-poll/plot/TrendSvg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "korvel-poll/console/TextUtil.h"
#include "korvel-poll/plot/LogReader.h"
#include "korvel-poll/plot/RoundTicks.h"

namespace {

// The picture's geometry, in pixels.
constexpr int kLeft = 72;  // room for the scale's numbers
constexpr int kRight = 16;
constexpr int kWidth = kLeft + kTrendColumns + kRight;
constexpr int kTop = 44;       // the caption
constexpr int kTitle = 18;     // a panel's name above its frame
constexpr int kPanel = 72;     // a panel's frame, when there are several
constexpr int kLonePanel = 200;
constexpr int kSpacing = 12;   // between panels
constexpr int kAxis = 50;      // the time labels under the last panel, and the legend
constexpr int kInset = 5;      // between a frame and the highest or lowest value
constexpr int kFailTick = 7;
constexpr int kMostTicks = 8;
constexpr double kValueTickGap = 20;  // at least, between round values on the scale
constexpr int kMostValueTicks = 6;    // on a tall scale, which would have room for many more
constexpr double kLabelGap = 13;      // between a round value's label and an end's

const char kStyle[] =
    "text{font:11px sans-serif;fill:#222}.caption{font-size:13px;font-weight:bold}.name{font-weight:bold}"
    ".range,.scale,.time,.time-zone,.legend text{fill:#555}.scale{text-anchor:end}.time{text-anchor:middle}"
    ".right{text-anchor:end}.frame{fill:none;stroke:#aaa}.grid{stroke:#e6e6e6}"
    ".line{fill:none;stroke:#1f5fa8;stroke-width:1.2;stroke-linejoin:round}.fail{stroke:#d62728;stroke-width:1.5}";

// Tick spacings a reader counts in, shortest first.
constexpr int64_t kTickSteps[] = {
    1000,     2000,     5000,      10000,     15000,     30000,     60000,     120000,   300000,
    600000,   900000,   1800000,   3600000,   7200000,   10800000,  21600000,  43200000, 86400000,
    172800000, 604800000, 2592000000LL,
};

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string Pixel(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string pixel = text;
    if (pixel.size() > 2 && pixel.compare(pixel.size() - 2, 2, ".0") == 0) pixel.resize(pixel.size() - 2);
    return pixel;
}

// The values a panel's height spans: what was read, a bit from 0 to 1, a
// value that never moved in the middle.
struct Scale {
    double low;
    double high;
};

Scale ScaleOf(const TrendPanel& panel) {
    if (panel.steps) return {0, 1};
    if (std::isnan(panel.series.low)) return {0, 1};
    if (panel.series.high > panel.series.low) return {panel.series.low, panel.series.high};
    return {panel.series.low - 1, panel.series.high + 1};
}

// A lone panel takes the height of a few: its scale has room for more
// round values.
int PanelHeight(size_t panels) {
    return panels == 1 ? kLonePanel : kPanel;
}

class PanelPen {
public:
    PanelPen(int top, int height, Scale scale) : m_top(top), m_inner(height - 2 * kInset), m_scale(scale) {}
    double Y(double value) const {
        return m_top + kInset + m_inner - (value - m_scale.low) / (m_scale.high - m_scale.low) * m_inner;
    }
    int Inner() const { return m_inner; }
    static int X(int column) { return kLeft + column; }

private:
    int m_top;
    int m_inner;
    Scale m_scale;
};

// A value that never moved is labelled alone, where its line is.
bool NeverMoved(const TrendPanel& panel) {
    return !panel.steps && !std::isnan(panel.series.low) && panel.series.low == panel.series.high;
}

// Round values between the scale's ends, highest first, those whose label
// would crowd an end's left out. Bits have only their two ends, and a
// panel without values or with one value only needs no more.
std::vector<double> RoundValues(const TrendPanel& panel, const Scale& scale, const PanelPen& pen) {
    std::vector<double> values;
    if (panel.steps || !(panel.series.high > panel.series.low)) return values;
    const double gap = std::max(kValueTickGap, static_cast<double>(pen.Inner()) / kMostValueTicks);
    const std::vector<double> ticks = RoundTicks(scale.low, scale.high, pen.Inner(), gap);
    for (auto tick = ticks.rbegin(); tick != ticks.rend(); ++tick) {
        const double y = pen.Y(*tick);
        if (y - pen.Y(scale.high) >= kLabelGap && pen.Y(scale.low) - y >= kLabelGap) values.push_back(*tick);
    }
    return values;
}

// The scale's ends and the round values between them, top to bottom.
std::vector<double> ScaleLabels(const TrendPanel& panel, const Scale& scale, const std::vector<double>& round) {
    if (NeverMoved(panel)) return {panel.series.low};
    std::vector<double> labels = {scale.high};
    labels.insert(labels.end(), round.begin(), round.end());
    labels.push_back(scale.low);
    return labels;
}

std::string ValueGridLines(const std::vector<double>& round, const PanelPen& pen) {
    std::string d;
    for (double value : round) {
        d += "M" + std::to_string(kLeft) + " " + Pixel(pen.Y(value)) + "h" + std::to_string(kTrendColumns);
    }
    return d.empty() ? "" : "<path class=\"grid\" d=\"" + d + "\"/>\n";
}

// A segment as a path: straight lines between the points, or steps that
// hold each value until the next.
std::string SegmentPath(const std::vector<ColumnPoint>& segment, const PanelPen& pen, bool steps) {
    std::string d = "M" + std::to_string(PanelPen::X(segment[0].column)) + " " + Pixel(pen.Y(segment[0].value));
    if (segment.size() == 1) return d + "h1";
    for (size_t i = 1; i < segment.size(); ++i) {
        const std::string x = std::to_string(PanelPen::X(segment[i].column));
        const std::string y = Pixel(pen.Y(segment[i].value));
        if (!steps) {
            d += (i == 1 ? "L" : " ") + x + " " + y;
            continue;
        }
        if (segment[i].column != segment[i - 1].column) d += "H" + x;
        if (segment[i].value != segment[i - 1].value) d += "V" + y;
    }
    return d;
}

std::string FailureMarks(const std::vector<int>& columns, int bottom) {
    std::string d;
    for (int column : columns) {
        d += "M" + std::to_string(PanelPen::X(column)) + " " + std::to_string(bottom) + "v-" +
             std::to_string(kFailTick);
    }
    return d.empty() ? "" : "<path class=\"fail\" d=\"" + d + "\"/>\n";
}

struct Ticks {
    int64_t stepMs;
    std::vector<int64_t> times;
};

Ticks TicksOf(int64_t firstMs, int64_t lastMs) {
    Ticks ticks{kTickSteps[0], {}};
    for (int64_t step : kTickSteps) {
        ticks.stepMs = step;
        if ((lastMs - firstMs) / step < kMostTicks) break;
    }
    const int64_t start = (firstMs + ticks.stepMs - 1) / ticks.stepMs * ticks.stepMs;
    for (int64_t t = start; t <= lastMs; t += ticks.stepMs) ticks.times.push_back(t);
    return ticks;
}

int ColumnOf(int64_t ms, int64_t firstMs, int64_t lastMs) {
    return lastMs > firstMs ? static_cast<int>((ms - firstMs) * (kTrendColumns - 1) / (lastMs - firstMs)) : 0;
}

// "08:30:01", "08:30", or "05-17 08:30" over days, cut from TimeText's
// "2024-05-17 08:30:01".
std::string TickLabel(int64_t ms, const Ticks& ticks, int64_t spanMs) {
    const std::string text = TimeText(ms);
    if (spanMs >= 2 * 86400000LL) return text.substr(5, 11);
    return ticks.stepMs < 60000 ? text.substr(11, 8) : text.substr(11, 5);
}

std::string TimeGridLines(const Ticks& ticks, const TrendPicture& picture, int frameTop, int height) {
    std::string d;
    for (int64_t t : ticks.times) {
        d += "M" + std::to_string(PanelPen::X(ColumnOf(t, picture.firstMs, picture.lastMs))) + " " +
             std::to_string(frameTop) + "v" + std::to_string(height);
    }
    return d.empty() ? "" : "<path class=\"grid\" d=\"" + d + "\"/>\n";
}

std::string RangeText(const TrendPanel& panel) {
    const ThinSeries& s = panel.series;
    std::string text = std::isnan(s.low) ? "no values" : "min " + Number(s.low) + "  max " + Number(s.high);
    text += "  |  " + Counted(s.reads, "read");
    if (s.failures > 0) text += ", " + std::to_string(s.failures) + " failed";
    return text;
}

std::string PanelSvg(const TrendPanel& panel, const TrendPicture& picture, const Ticks& ticks, int top) {
    const int frameTop = top + kTitle;
    const int height = PanelHeight(picture.panels.size());
    const Scale scale = ScaleOf(panel);
    const PanelPen pen(frameTop, height, scale);
    const std::vector<double> round = RoundValues(panel, scale, pen);
    std::string svg = "<text class=\"name\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(frameTop - 5) +
                      "\">" + EscapeXml(panel.title) + "</text>\n";
    svg += "<text class=\"range right\" x=\"" + std::to_string(kLeft + kTrendColumns) + "\" y=\"" +
           std::to_string(frameTop - 5) + "\">" + EscapeXml(RangeText(panel)) + "</text>\n";
    svg += TimeGridLines(ticks, picture, frameTop, height) + ValueGridLines(round, pen);
    svg += "<rect class=\"frame\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(frameTop) +
           "\" width=\"" + std::to_string(kTrendColumns) + "\" height=\"" + std::to_string(height) + "\"/>\n";
    for (double value : ScaleLabels(panel, scale, round)) {
        svg += "<text class=\"scale\" x=\"" + std::to_string(kLeft - 6) + "\" y=\"" + Pixel(pen.Y(value) + 4) +
               "\">" + Number(value) + "</text>\n";
    }
    for (const std::vector<ColumnPoint>& segment : panel.series.segments) {
        svg += "<path class=\"line\" d=\"" + SegmentPath(segment, pen, panel.steps) + "\"/>\n";
    }
    return svg + FailureMarks(panel.series.failedColumns, frameTop + height);
}

std::string TimeLabels(const Ticks& ticks, const TrendPicture& picture, int y) {
    std::string svg;
    for (int64_t t : ticks.times) {
        svg += "<text class=\"time\" x=\"" + std::to_string(PanelPen::X(ColumnOf(t, picture.firstMs, picture.lastMs))) +
               "\" y=\"" + std::to_string(y) + "\">" + TickLabel(t, ticks, picture.lastMs - picture.firstMs) +
               "</text>\n";
    }
    return svg;
}

// What the marks on an axis and the breaks in a line mean: a sample of
// each, drawn as in the panels, and its words.
std::string Legend(int y) {
    std::string svg = "<g class=\"legend\">\n";
    svg += "<path class=\"fail\" d=\"M" + std::to_string(kLeft + 4) + " " + std::to_string(y + 1) + "v-" +
           std::to_string(kFailTick) + "\"/>\n";
    svg += "<text x=\"" + std::to_string(kLeft + 12) + "\" y=\"" + std::to_string(y) + "\">failed reads</text>\n";
    svg += "<path class=\"line\" d=\"M" + std::to_string(kLeft + 110) + " " + std::to_string(y - 4) + "h14m10 0h14\"/>\n";
    svg += "<text x=\"" + std::to_string(kLeft + 154) + "\" y=\"" + std::to_string(y) +
           "\">a gap without marks: no records</text>\n";
    return svg + "</g>\n";
}

// Under the time labels at the axis's end, as an axis's title goes.
std::string TimeZone(int y) {
    return "<text class=\"time-zone right\" x=\"" + std::to_string(kLeft + kTrendColumns) + "\" y=\"" +
           std::to_string(y) + "\">time in UTC</text>\n";
}

std::string CaptionText(const TrendPicture& picture) {
    const std::string first = TimeText(picture.firstMs);
    const std::string last = TimeText(picture.lastMs);
    const std::string end = first.compare(0, 10, last, 0, 10) == 0 ? last.substr(11) : last;
    return picture.caption + ": " + first + " to " + end + " UTC, " + TrendCounts(picture);
}

}  // namespace

std::string EscapeXml(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string TrendCounts(const TrendPicture& picture) {
    return Counted(picture.panels.size(), "tag") + ", " + Counted(picture.records, "record");
}

std::string TrendSvg(const TrendPicture& picture) {
    const int pitch = kTitle + PanelHeight(picture.panels.size()) + kSpacing;
    const int height = kTop + static_cast<int>(picture.panels.size()) * pitch + kAxis;
    const Ticks ticks = TicksOf(picture.firstMs, picture.lastMs);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
                      "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
                      std::to_string(height) + "\">\n<style>" + kStyle + "</style>\n" +
                      "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    svg += "<text class=\"caption\" x=\"" + std::to_string(kLeft) + "\" y=\"22\">" + EscapeXml(CaptionText(picture)) +
           "</text>\n";
    for (size_t i = 0; i < picture.panels.size(); ++i) {
        const int top = kTop + static_cast<int>(i) * pitch;
        svg += "<g class=\"panel\">\n" + PanelSvg(picture.panels[i], picture, ticks, top) + "</g>\n";
    }
    const int axisTop = kTop + static_cast<int>(picture.panels.size()) * pitch - kSpacing;
    return svg + TimeLabels(ticks, picture, axisTop + 14) + Legend(axisTop + 38) + TimeZone(axisTop + 38) + "</svg>\n";
}
