#pragma once
// What a listened line came to: per station the requests, replies,
// unanswered requests, exceptions by code, CRC errors and unsolicited
// replies, the answer times and the poll interval (the time between
// requests to the station); for the line its bytes, frames, noise and the
// longest silence. A master that asks a station faster than it answers
// shows as a poll interval below the answer time, and unanswered requests.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "korvel-poll/monitor/ExchangePairing.h"
#include "korvel-poll/monitor/Percentile.h"

namespace monitor {

struct ListenedStation {
    uint32_t requests = 0;
    uint32_t replies = 0;  // exceptions among them
    uint32_t noReplies = 0;
    uint32_t crcErrors = 0;
    uint32_t unsolicited = 0;
    std::map<uint8_t, uint32_t> exceptions;  // by code
    TimeSamples answerUs;
    TimeSamples intervalUs;
    std::optional<int64_t> lastRequestUs;
};

struct ListenedLine {
    uint64_t bytes = 0;
    uint64_t frames = 0;
    uint64_t noiseBytes = 0;
    uint64_t noisePieces = 0;
    int64_t longestSilenceUs = 0;
    std::optional<int64_t> lastEndUs;
};

class ListenFigures {
public:
    // Every piece the cutter gave, in order.
    void AddCut(const CutFrame& cut);
    void AddExchange(const Exchange& exchange);

    const std::map<int, ListenedStation>& Stations() const { return m_stations; }
    const ListenedLine& Line() const { return m_line; }
    // The station table: headings first, then a row per station.
    std::vector<std::vector<std::string>> StationRows() const;
    // "line: 10240 bytes, 412 frames, 7 bytes of noise in 2 pieces, longest silence 1002.4 ms"
    std::string LineSummary() const;

private:
    std::map<int, ListenedStation> m_stations;
    ListenedLine m_line;
};

// Microseconds as milliseconds with one decimal: "12.3".
std::string MillisecondsText(int64_t us);

}  // namespace monitor
