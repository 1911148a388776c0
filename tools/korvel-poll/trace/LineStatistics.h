#pragma once
// --stats: what a run's exchanges came to on each station, counted from the
// frame trace the driver wrote meanwhile. A request is its Send line; the
// Receive line after it holds its answer, judged by its bytes. Retries,
// demotions and the settings file's complaints come from the driver's event
// lines, and so do the late replies the driver dropped, counted for the
// station they came from. A port lost and reopened is counted for the port,
// and so are the frames on it that nobody asked for; a port that echoes its
// requests is named.
// Lines of other forms are passed over.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "korvel-poll/trace/TraceRecord.h"
#include "korvel-poll/monitor/Percentile.h"

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

struct PortFigures {
    uint32_t losses = 0;
    uint32_t reopens = 0;
    bool echoes = false;
    uint64_t foreignFrames = 0;
};

class LineStatistics {
public:
    void Add(const TraceRecord& record);
    const std::map<int, StationFigures>& Stations() const { return m_stations; }
    const std::map<std::string, PortFigures>& Ports() const { return m_ports; }
    // "<file> line <n>: <reason>", in the order the driver wrote them.
    const std::vector<std::string>& SettingsProblems() const { return m_settingsProblems; }
    // A row per station, a line per port that was lost, echoes or carried
    // foreign frames, then the settings file's complaints.
    std::string Report() const;

private:
    void AddAnswer(const TraceRecord& receive);

    std::map<int, StationFigures> m_stations;
    std::map<std::string, PortFigures> m_ports;
    std::vector<std::string> m_settingsProblems;
    TraceRecord m_request;  // the last Send, until its Receive
    bool m_awaitingAnswer = false;
};
