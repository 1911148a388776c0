#include "korvel-poll/plot/TrendSvg.h"

#include <cmath>
#include <cstdio>

#include "korvel-poll/plot/LogReader.h"

namespace {

// The picture's geometry, in pixels.
constexpr int kLeft = 72;  // room for the scale's numbers
constexpr int kRight = 16;
constexpr int kWidth = kLeft + kTrendColumns + kRight;
constexpr int kTop = 44;       // the caption
constexpr int kTitle = 18;     // a panel's name above its frame
constexpr int kPanel = 72;     // a panel's frame
constexpr int kSpacing = 12;   // between panels
constexpr int kPitch = kTitle + kPanel + kSpacing;
constexpr int kAxis = 28;      // the time labels under the last panel
constexpr int kInset = 5;      // between a frame and the highest or lowest value
constexpr int kFailTick = 7;
constexpr int kMostTicks = 8;

const char kStyle[] =
    "text{font:11px sans-serif;fill:#222}.caption{font-size:13px;font-weight:bold}.name{font-weight:bold}"
    ".range,.scale,.time{fill:#555}.scale{text-anchor:end}.time{text-anchor:middle}.right{text-anchor:end}"
    ".frame{fill:none;stroke:#aaa}.grid{stroke:#e6e6e6}.line{fill:none;stroke:#1f5fa8;stroke-width:1.2;"
    "stroke-linejoin:round}.fail{stroke:#d62728;stroke-width:1.5}";

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

// The scale's ends; a value that never moved is labelled alone, where its
// line is.
std::vector<double> ScaleLabels(const TrendPanel& panel, const Scale& scale) {
    const ThinSeries& s = panel.series;
    if (!panel.steps && !std::isnan(s.low) && s.low == s.high) return {s.low};
    return {scale.high, scale.low};
}

class PanelPen {
public:
    PanelPen(int top, Scale scale) : m_top(top), m_scale(scale) {}
    double Y(double value) const {
        const double inner = kPanel - 2 * kInset;
        return m_top + kInset + inner - (value - m_scale.low) / (m_scale.high - m_scale.low) * inner;
    }
    static int X(int column) { return kLeft + column; }

private:
    int m_top;
    Scale m_scale;
};

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

std::string GridLines(const Ticks& ticks, const TrendPicture& picture, int frameTop) {
    std::string d;
    for (int64_t t : ticks.times) {
        d += "M" + std::to_string(PanelPen::X(ColumnOf(t, picture.firstMs, picture.lastMs))) + " " +
             std::to_string(frameTop) + "v" + std::to_string(kPanel);
    }
    return d.empty() ? "" : "<path class=\"grid\" d=\"" + d + "\"/>\n";
}

std::string RangeText(const TrendPanel& panel) {
    const ThinSeries& s = panel.series;
    std::string text = std::isnan(s.low) ? "no values" : "min " + Number(s.low) + "  max " + Number(s.high);
    text += "  |  " + std::to_string(s.reads) + " reads";
    if (s.failures > 0) text += ", " + std::to_string(s.failures) + " failed";
    return text;
}

std::string PanelSvg(const TrendPanel& panel, const TrendPicture& picture, const Ticks& ticks, int top) {
    const int frameTop = top + kTitle;
    const Scale scale = ScaleOf(panel);
    const PanelPen pen(frameTop, scale);
    std::string svg = "<text class=\"name\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(frameTop - 5) +
                      "\">" + EscapeXml(panel.title) + "</text>\n";
    svg += "<text class=\"range right\" x=\"" + std::to_string(kLeft + kTrendColumns) + "\" y=\"" +
           std::to_string(frameTop - 5) + "\">" + EscapeXml(RangeText(panel)) + "</text>\n";
    svg += GridLines(ticks, picture, frameTop);
    svg += "<rect class=\"frame\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(frameTop) +
           "\" width=\"" + std::to_string(kTrendColumns) + "\" height=\"" + std::to_string(kPanel) + "\"/>\n";
    for (double value : ScaleLabels(panel, scale)) {
        svg += "<text class=\"scale\" x=\"" + std::to_string(kLeft - 6) + "\" y=\"" + Pixel(pen.Y(value) + 4) +
               "\">" + Number(value) + "</text>\n";
    }
    for (const std::vector<ColumnPoint>& segment : panel.series.segments) {
        svg += "<path class=\"line\" d=\"" + SegmentPath(segment, pen, panel.steps) + "\"/>\n";
    }
    return svg + FailureMarks(panel.series.failedColumns, frameTop + kPanel);
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

std::string CaptionText(const TrendPicture& picture) {
    const std::string first = TimeText(picture.firstMs);
    const std::string last = TimeText(picture.lastMs);
    const std::string end = first.compare(0, 10, last, 0, 10) == 0 ? last.substr(11) : last;
    return picture.caption + ": " + first + " to " + end + " UTC, " + std::to_string(picture.panels.size()) +
           (picture.panels.size() == 1 ? " tag, " : " tags, ") + std::to_string(picture.records) + " records";
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

std::string TrendSvg(const TrendPicture& picture) {
    const int height = kTop + static_cast<int>(picture.panels.size()) * kPitch + kAxis;
    const Ticks ticks = TicksOf(picture.firstMs, picture.lastMs);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
                      "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
                      std::to_string(height) + "\">\n<style>" + kStyle + "</style>\n" +
                      "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    svg += "<text class=\"caption\" x=\"" + std::to_string(kLeft) + "\" y=\"22\">" + EscapeXml(CaptionText(picture)) +
           "</text>\n";
    for (size_t i = 0; i < picture.panels.size(); ++i) {
        const int top = kTop + static_cast<int>(i) * kPitch;
        svg += "<g class=\"panel\">\n" + PanelSvg(picture.panels[i], picture, ticks, top) + "</g>\n";
    }
    const int axisTop = kTop + static_cast<int>(picture.panels.size()) * kPitch - kSpacing;
    return svg + TimeLabels(ticks, picture, axisTop + 14) + "</svg>\n";
}
