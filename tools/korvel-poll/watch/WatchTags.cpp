#include "korvel-poll/watch/WatchTags.h"

#include <cmath>
#include <cstdlib>

namespace {

// A value as the trend draws it; NaN for text that is no number.
double TrendValue(const std::string& value) {
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    return !value.empty() && *end == '\0' ? number : NAN;
}

}  // namespace

WatchTags::WatchTags(std::vector<WatchTagName> tags) {
    for (WatchTagName& name : tags) {
        m_tags.emplace_back();
        m_tags.back().name = std::move(name);
    }
}

void WatchTags::Record(size_t index, const WatchReading& reading, uint64_t nowMs) {
    TagState& tag = m_tags[index];
    tag.status = reading.status;
    tag.lastFailed = !reading.read;
    tag.changed = false;
    if (!reading.read) {
        ++tag.failures;
        AddToTrend(tag, NAN);
        return;
    }
    // The first value is where the watch begins, not a change; a value that
    // comes back after failed reads has changed only if it differs.
    if (tag.everRead && reading.value != tag.lastValue) {
        tag.changed = true;
        tag.changedAtMs = nowMs;
        ++tag.changes;
    }
    tag.everRead = true;
    tag.lastValue = reading.value;
    AddToTrend(tag, TrendValue(reading.value));
}

void WatchTags::AddToTrend(TagState& tag, double value) {
    if (!tag.name.numeric) return;
    if (tag.trend.size() == kTrendLength) tag.trend.erase(tag.trend.begin());
    tag.trend.push_back(value);
}

std::vector<WatchRow> WatchTags::Rows(uint64_t nowMs) const {
    std::vector<WatchRow> rows;
    rows.reserve(m_tags.size());
    for (const TagState& tag : m_tags) {
        WatchRow row;
        row.tag = &tag.name;
        row.value = tag.everRead && !tag.lastFailed ? tag.lastValue : "-";
        row.status = tag.status;
        row.failed = tag.lastFailed;
        row.changed = tag.changed;
        if (tag.changedAtMs) row.heldMs = nowMs >= *tag.changedAtMs ? nowMs - *tag.changedAtMs : 0;
        row.changes = tag.changes;
        row.failures = tag.failures;
        row.trend = tag.name.numeric ? &tag.trend : nullptr;
        rows.push_back(row);
    }
    return rows;
}
