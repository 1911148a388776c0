#pragma once
// A log's records gathered by tag: each tag (a station, an address and a
// type) gets the series of its reads in the order of the log, and the log
// its first and last time, the axis every panel shares.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "korvel-poll/plot/LogReader.h"

struct TrendSample {
    int64_t timeMs;
    double value;  // NaN for a failed read
    bool read;
};

struct TrendSeries {
    int station = 0;
    std::string address;
    std::string type;
    bool bit = false;  // drawn as steps
    std::vector<TrendSample> samples;
};

class TrendLog {
public:
    void Add(const LogRecord& record);

    // In the order their tags first appear in the log.
    const std::vector<TrendSeries>& Series() const { return m_series; }
    size_t Records() const { return m_records; }
    int64_t FirstMs() const { return m_firstMs; }
    int64_t LastMs() const { return m_lastMs; }

private:
    size_t FindOrAdd(const LogRecord& record);

    std::vector<TrendSeries> m_series;
    std::unordered_map<std::string, size_t> m_index;
    size_t m_next = 0;  // where the next record most likely belongs: a log goes round its tags
    std::string m_key;
    size_t m_records = 0;
    int64_t m_firstMs = 0;
    int64_t m_lastMs = 0;
};
