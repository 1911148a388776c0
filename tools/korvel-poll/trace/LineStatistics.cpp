#include "korvel-poll/trace/LineStatistics.h"

#include "korvel-poll/console/TextUtil.h"
#include "modbus/ReplyVerdict.h"

using modbus::ExceptionCode;
using modbus::JudgeReply;
using modbus::ReplyKind;
using modbus::ReplyVerdict;

namespace {

const std::vector<std::string> kHeadings = {"station", "requests", "replies", "no-reply", "broken", "exceptions",
                                            "retries", "demoted", "late", "median-ms", "p95-ms"};

bool SameExchange(TraceKind send, TraceKind receive) {
    return (send == TraceKind::kReadSend) == (receive == TraceKind::kReadReceive);
}

// "02:3,04:1", or "-".
std::string ExceptionCounts(const std::map<uint8_t, uint32_t>& exceptions) {
    std::string text;
    for (const auto& [code, count] : exceptions) {
        text += (text.empty() ? "" : ",") + ExceptionCode(code) + ":" + std::to_string(count);
    }
    return text.empty() ? "-" : text;
}

std::string Milliseconds(const std::vector<uint64_t>& times, double fraction) {
    return times.empty() ? "-" : std::to_string(Percentile(times, fraction));
}

std::vector<std::string> Row(int station, const StationFigures& f) {
    return {std::to_string(station),    std::to_string(f.requests),  std::to_string(f.replies),
            std::to_string(f.noReplies), std::to_string(f.broken),    ExceptionCounts(f.exceptions),
            std::to_string(f.retries),   std::to_string(f.demotions), std::to_string(f.lateReplies),
            Milliseconds(f.responseMs, 0.5), Milliseconds(f.responseMs, 0.95)};
}

// "port COM3: lost 2, reopened 2", "port COM3: echoes its requests",
// "port COM3: 4 foreign frames, another master may share the line": each
// only when there is something to tell.
std::string PortLines(const std::string& port, const PortFigures& figures) {
    std::string lines;
    const std::string head = "port " + port + ": ";
    if (figures.losses > 0 || figures.reopens > 0) {
        lines += head + "lost " + std::to_string(figures.losses) + ", reopened " + std::to_string(figures.reopens) +
                 "\n";
    }
    if (figures.echoes) lines += head + "echoes its requests\n";
    if (figures.foreignFrames > 0) {
        lines += head + std::to_string(figures.foreignFrames) + " foreign frame" +
                 (figures.foreignFrames == 1 ? "" : "s") + ", another master may share the line\n";
    }
    return lines;
}

}  // namespace

void LineStatistics::Add(const TraceRecord& record) {
    if (IsSend(record.kind) && !record.bytes.empty()) {
        m_request = record;
        m_awaitingAnswer = true;
        ++m_stations[record.bytes[0]].requests;
    } else if (IsReceive(record.kind) && m_awaitingAnswer && SameExchange(m_request.kind, record.kind)) {
        AddAnswer(record);
    } else if (record.kind == TraceKind::kRetry) {
        ++m_stations[record.station].retries;
    } else if (record.kind == TraceKind::kDemote) {
        ++m_stations[record.station].demotions;
    } else if (record.kind == TraceKind::kLate) {
        ++m_stations[record.station].lateReplies;
    } else if (record.kind == TraceKind::kLost) {
        ++m_ports[record.text].losses;
    } else if (record.kind == TraceKind::kReopened) {
        ++m_ports[record.text].reopens;
    } else if (record.kind == TraceKind::kEcho) {
        m_ports[record.text].echoes = true;
    } else if (record.kind == TraceKind::kForeign) {
        m_ports[record.text].foreignFrames += record.number;
    } else if (record.kind == TraceKind::kSettings) {
        m_settingsProblems.push_back(SettingsReason(record));
    }
}

void LineStatistics::AddAnswer(const TraceRecord& receive) {
    m_awaitingAnswer = false;
    StationFigures& figures = m_stations[m_request.bytes[0]];
    const ReplyVerdict verdict = JudgeReply(m_request.bytes, receive.bytes);
    switch (verdict.kind) {
    case ReplyKind::kNone: ++figures.noReplies; return;
    case ReplyKind::kBroken: ++figures.broken; return;
    case ReplyKind::kReply: ++figures.replies; break;
    case ReplyKind::kException: ++figures.exceptions[verdict.exceptionCode]; break;
    }
    figures.responseMs.push_back(receive.ms >= m_request.ms ? receive.ms - m_request.ms : 0);
}

std::string LineStatistics::Report() const {
    std::vector<std::vector<std::string>> rows = {kHeadings};
    for (const auto& [station, figures] : m_stations) rows.push_back(Row(station, figures));
    std::string report = TableText(rows);
    for (const auto& [port, figures] : m_ports) report += PortLines(port, figures);
    for (const std::string& problem : m_settingsProblems) report += "settings: " + problem + "\n";
    return report;
}
