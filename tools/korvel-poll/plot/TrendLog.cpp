#include "korvel-poll/plot/TrendLog.h"

#include <algorithm>
#include <cmath>

namespace {

bool IsTagOf(const TrendSeries& series, const LogRecord& record) {
    return series.station == record.station && series.address == record.address && series.type == record.type;
}

}  // namespace

void TrendLog::Add(const LogRecord& record) {
    TrendSeries& series = m_series[FindOrAdd(record)];
    series.samples.push_back({record.timeMs, record.read ? record.value : NAN, record.read});
    m_firstMs = m_records == 0 ? record.timeMs : std::min(m_firstMs, record.timeMs);
    m_lastMs = m_records == 0 ? record.timeMs : std::max(m_lastMs, record.timeMs);
    ++m_records;
}

// The tags come round in the same order every cycle, so the one after the
// last record's is tried before the map.
size_t TrendLog::FindOrAdd(const LogRecord& record) {
    size_t index = m_next < m_series.size() && IsTagOf(m_series[m_next], record) ? m_next : m_series.size();
    if (index == m_series.size()) {
        m_key = std::to_string(record.station) + '\n' + record.address + '\n' + record.type;
        const auto found = m_index.find(m_key);
        if (found != m_index.end()) {
            index = found->second;
        } else {
            m_index.emplace(m_key, index);
            TrendSeries series;
            series.station = record.station;
            series.address = record.address;
            series.type = record.type;
            series.bit = record.type == "bit";
            m_series.push_back(std::move(series));
        }
    }
    m_next = (index + 1) % m_series.size();
    return index;
}
