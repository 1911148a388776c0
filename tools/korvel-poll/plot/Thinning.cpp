#include "korvel-poll/plot/Thinning.h"

#include <algorithm>
#include <cmath>

namespace {

// A pause between two reads of a tag this many times longer than usual is
// a hole in the log (the tool was stopped, the log appended to later), not
// a slow line: the line is not drawn across it.
constexpr int64_t kHoleFactor = 10;

// The usual time between two reads of the tag: the median, which a few
// slow cycles do not move. 0 when there are too few reads to tell.
int64_t UsualInterval(const std::vector<TrendSample>& samples) {
    if (samples.size() < 3) return 0;
    std::vector<int64_t> intervals;
    intervals.reserve(samples.size() - 1);
    for (size_t i = 1; i < samples.size(); ++i) intervals.push_back(samples[i].timeMs - samples[i - 1].timeMs);
    const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>(intervals.size() / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    return *middle;
}

// The values read within one pixel column.
struct Column {
    int column = -1;
    double low = 0;
    double high = 0;
    bool lowFirst = true;  // the lowest came before the highest
    double last = 0;
};

class Thinner {
public:
    Thinner(ThinSeries& out, bool steps) : m_out(out), m_steps(steps) { m_out.segments.emplace_back(); }

    void Add(int column, double value) {
        if (column != m_column.column) {
            Flush();
            m_column = {column, value, value, true, value};
            return;
        }
        if (value < m_column.low) {
            m_column.low = value;
            m_column.lowFirst = false;
        }
        if (value > m_column.high) {
            m_column.high = value;
            m_column.lowFirst = true;
        }
        m_column.last = value;
    }

    void Break() {
        Flush();
        if (!m_out.segments.back().empty()) m_out.segments.emplace_back();
    }

    void Finish() {
        Break();
        m_out.segments.pop_back();
        for (std::vector<ColumnPoint>& segment : m_out.segments) DropFlatRuns(segment);
    }

private:
    void Flush() {
        if (m_column.column < 0) return;
        std::vector<ColumnPoint>& segment = m_out.segments.back();
        const double first = m_column.lowFirst ? m_column.low : m_column.high;
        const double second = m_column.lowFirst ? m_column.high : m_column.low;
        segment.push_back({m_column.column, first});
        if (second != first) segment.push_back({m_column.column, second});
        // A step holds the column's last value until its next step.
        if (m_steps && m_column.last != segment.back().value) segment.push_back({m_column.column, m_column.last});
        m_column = Column{};
    }

    // A point between two of the same value adds nothing to a line or a
    // step drawn through them.
    static void DropFlatRuns(std::vector<ColumnPoint>& segment) {
        std::vector<ColumnPoint> kept;
        for (size_t i = 0; i < segment.size(); ++i) {
            const bool inside = i > 0 && i + 1 < segment.size() && segment[i - 1].value == segment[i].value &&
                                segment[i + 1].value == segment[i].value;
            if (!inside) kept.push_back(segment[i]);
        }
        segment.swap(kept);
    }

    ThinSeries& m_out;
    bool m_steps;
    Column m_column;
};

}  // namespace

ThinSeries Thin(const TrendSeries& series, int64_t firstMs, int64_t lastMs, int columns) {
    ThinSeries out;
    out.low = out.high = NAN;
    const int64_t span = lastMs - firstMs;
    auto columnOf = [&](int64_t ms) {
        return span <= 0 ? 0 : static_cast<int>((ms - firstMs) * (columns - 1) / span);
    };
    const int64_t usual = UsualInterval(series.samples);
    const int64_t hole = usual * kHoleFactor;
    std::vector<bool> failed(static_cast<size_t>(columns), false);
    Thinner thinner(out, series.bit);
    bool drawnBefore = false;   // a value was drawn before this sample
    bool missedSince = false;   // a read since it gave nothing to draw
    int64_t lastDrawnMs = 0;
    int lastDrawnColumn = -1;
    for (const TrendSample& sample : series.samples) {
        const int column = columnOf(sample.timeMs);
        if (!sample.read) {
            ++out.failures;
            failed[static_cast<size_t>(column)] = true;
        } else {
            ++out.reads;
        }
        if (!sample.read || !std::isfinite(sample.value)) {
            missedSince = true;
            continue;
        }
        const bool hollow = hole > 0 && sample.timeMs - lastDrawnMs > hole;
        if (drawnBefore && ((missedSince && column != lastDrawnColumn) || hollow)) thinner.Break();
        thinner.Add(column, sample.value);
        out.low = std::isnan(out.low) ? sample.value : std::min(out.low, sample.value);
        out.high = std::isnan(out.high) ? sample.value : std::max(out.high, sample.value);
        drawnBefore = true;
        missedSince = false;
        lastDrawnMs = sample.timeMs;
        lastDrawnColumn = column;
    }
    thinner.Finish();
    for (int c = 0; c < columns; ++c) {
        if (failed[static_cast<size_t>(c)]) out.failedColumns.push_back(c);
    }
    return out;
}
