#pragma once
// --stats: what a run's exchanges came to on each station, counted from the
// frame trace the driver wrote meanwhile. A request is its Send line; the
// Receive line after it holds its answer, judged by its bytes. Retries,
// demotions and the settings file's complaints come from the driver's event
// lines, and so do the late replies the driver dropped, counted for the
// station they came from. A network line's connections lost and made again
// are counted for the line. Lines of other forms are passed over.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "korvel-poll/TraceRecord.h"

struct StationFigures {
    uint32_t requests = 0;
    uint32_t replies = 0;
    uint32_t noReplies = 0;
    uint32_t broken = 0;
    std::map<uint8_t, uint32_t> exceptions;  // by code
    uint32_t retries = 0;
    uint32_t demotions = 0;
    uint32_t lateReplies = 0;  // dropped after their request had got no reply
    std::vector<uint64_t> responseMs;  // from sending to the whole reply or exception
};

class LineStatistics {
public:
    void Add(const TraceRecord& record);
    const std::map<int, StationFigures>& Stations() const { return m_stations; }
    // "<file> line <n>: <reason>", in the order the driver wrote them.
    const std::vector<std::string>& SettingsProblems() const { return m_settingsProblems; }
    uint32_t Disconnects() const { return m_disconnects; }
    uint32_t Connects() const { return m_connects; }
    // A row per station, the line's connections, then the settings file's
    // complaints.
    std::string Report() const;

private:
    void AddAnswer(const TraceRecord& receive);

    std::map<int, StationFigures> m_stations;
    std::vector<std::string> m_settingsProblems;
    TraceRecord m_request;  // the last Send, until its Receive
    bool m_awaitingAnswer = false;
    uint32_t m_disconnects = 0;
    uint32_t m_connects = 0;
};

// The smallest value that at least the fraction of values does not exceed
// (nearest rank): the median at 0.5. 0 for no values.
uint64_t Percentile(std::vector<uint64_t> values, double fraction);
