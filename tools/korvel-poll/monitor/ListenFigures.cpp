// Counting a listened line's exchanges per station and its bytes.
#include "korvel-poll/monitor/ListenFigures.h"

#include <algorithm>
#include <cstdio>

#include "korvel-poll/monitor/Percentile.h"
#include "modbus/ReplyVerdict.h"

namespace monitor {
namespace {

const std::vector<std::string> kHeadings = {"station",    "requests",    "replies",   "no-reply",
                                            "crc-errors", "exceptions",  "unsolicited", "median-ms",
                                            "p95-ms",     "interval-ms"};

std::string ExceptionCounts(const std::map<uint8_t, uint32_t>& exceptions) {
    std::string text;
    for (const auto& [code, count] : exceptions) {
        text += (text.empty() ? "" : ",") + modbus::ExceptionCode(code) + ":" + std::to_string(count);
    }
    return text.empty() ? "0" : text;
}

std::string PercentileText(const TimeSamples& us, double fraction) {
    return us.Empty() ? "-" : MillisecondsText(static_cast<int64_t>(us.At(fraction)));
}

uint8_t ExceptionCodeOf(const Exchange& exchange) {
    return exchange.reply.size() > 2 ? static_cast<uint8_t>(exchange.reply[2]) : 0;
}

}  // namespace

std::string MillisecondsText(int64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(us) / 1000.0);
    return text;
}

void ListenFigures::AddCut(const CutFrame& cut) {
    m_line.bytes += cut.bytes.size();
    if (cut.kind == CutKind::kNoise) {
        m_line.noiseBytes += cut.bytes.size();
        ++m_line.noisePieces;
    } else {
        ++m_line.frames;
    }
    if (m_line.lastEndUs) m_line.longestSilenceUs = std::max(m_line.longestSilenceUs, cut.startUs - *m_line.lastEndUs);
    m_line.lastEndUs = cut.endUs;
}

void ListenFigures::AddExchange(const Exchange& exchange) {
    if (exchange.outcome == Outcome::kNoise) return;
    ListenedStation& station = m_stations[exchange.Station()];
    if (!exchange.request.empty()) {
        ++station.requests;
        if (station.lastRequestUs) {
            station.intervalUs.Add(static_cast<uint64_t>(exchange.startUs - *station.lastRequestUs));
        }
        station.lastRequestUs = exchange.startUs;
    }
    switch (exchange.outcome) {
    case Outcome::kException: ++station.exceptions[ExceptionCodeOf(exchange)]; [[fallthrough]];
    case Outcome::kReply:
        ++station.replies;
        station.answerUs.Add(static_cast<uint64_t>(std::max<int64_t>(*exchange.AnswerUs(), 0)));
        return;
    case Outcome::kNoReply: ++station.noReplies; return;
    case Outcome::kCrcError: ++station.crcErrors; return;
    case Outcome::kUnsolicited: ++station.unsolicited; return;
    default: return;
    }
}

std::vector<std::vector<std::string>> ListenFigures::StationRows() const {
    std::vector<std::vector<std::string>> rows = {kHeadings};
    for (const auto& [number, station] : m_stations) {
        rows.push_back({std::to_string(number), std::to_string(station.requests), std::to_string(station.replies),
                        std::to_string(station.noReplies), std::to_string(station.crcErrors),
                        ExceptionCounts(station.exceptions), std::to_string(station.unsolicited),
                        PercentileText(station.answerUs, 0.5), PercentileText(station.answerUs, 0.95),
                        PercentileText(station.intervalUs, 0.5)});
    }
    return rows;
}

std::string ListenFigures::LineSummary() const {
    return "line: " + std::to_string(m_line.bytes) + " bytes, " + std::to_string(m_line.frames) + " frames, " +
           std::to_string(m_line.noiseBytes) + " bytes of noise in " + std::to_string(m_line.noisePieces) +
           " pieces, longest silence " + MillisecondsText(m_line.longestSilenceUs) + " ms";
}

}  // namespace monitor
