#include "korvel-poll/monitor/MonitorWatch.h"

#include <windows.h>

#include <cstdio>

#include "korvel-poll/console/Interrupt.h"
#include "korvel-poll/monitor/ExchangeText.h"

namespace {

constexpr uint64_t kRedrawMs = 250;
// Keys are looked for this often: a line polled back to back hands over
// pieces far more often than anyone presses a key.
constexpr uint64_t kKeysEveryMs = 50;

// "4x1,10" for a read, "4x20" for a write: the items, without the values.
std::string ItemsOf(const monitor::Exchange& exchange) {
    const std::string asked = monitor::AskedText(exchange.request);
    return asked.substr(0, asked.find('='));
}

// Sorts by station, then function, then items.
std::string RowKey(const monitor::Exchange& exchange) {
    char key[16];
    std::snprintf(key, sizeof key, "%03u %03u ", exchange.Station(), exchange.Function());
    return key + ItemsOf(exchange);
}

std::vector<StationCounts> CountListened(const monitor::ListenFigures& figures) {
    std::vector<StationCounts> counts;
    for (const auto& [number, station] : figures.Stations()) {
        StationCounts count;
        count.station = number;
        count.requests = station.requests;
        count.replies = station.replies;
        count.noReplies = station.noReplies;
        count.broken = station.crcErrors;
        for (const auto& [code, times] : station.exceptions) count.exceptions += times;
        count.late = station.unsolicited;
        counts.push_back(count);
    }
    return counts;
}

}  // namespace

MonitorWatch::MonitorWatch(const PollOptions& options) {
    m_heading.line = DescribeLine(options.line);
    m_heading.timeoutMs = options.line.timeoutMs;
    m_startMs = GetTickCount64();
    m_console.Begin();
}

WatchTags& MonitorWatch::RowOf(const monitor::Exchange& exchange) {
    std::unique_ptr<WatchTags>& row = m_rows[RowKey(exchange)];
    if (row == nullptr) {
        WatchTagName name;
        name.station = std::to_string(exchange.Station());
        name.address = ItemsOf(exchange);
        char function[8];
        std::snprintf(function, sizeof function, "fc %02X", exchange.Function());
        name.type = function;
        // One value a row can be drawn as a trend; a block's values cannot.
        const size_t count = name.address.find(',');
        name.numeric = count == std::string::npos || name.address.substr(count) == ",1";
        row = std::make_unique<WatchTags>(std::vector<WatchTagName>{name});
    }
    return *row;
}

// Only exchanges that asked something have a row: noise and replies
// nobody asked for show in the stations' figures. A read's row shows the
// values that came back, a write's the values written once confirmed.
void MonitorWatch::Heard(const monitor::Exchange& exchange) {
    if (exchange.request.empty() || exchange.outcome == monitor::Outcome::kBroadcast) return;
    const bool answered = exchange.outcome == monitor::Outcome::kReply;
    const std::string asked = monitor::AskedText(exchange.request);
    const size_t written = asked.find('=');
    const std::string value = written == std::string::npos ? monitor::AnsweredText(exchange) : asked.substr(written + 1);
    const std::string status = answered ? "OK" : monitor::AnsweredText(exchange);
    RowOf(exchange).Record(0, {answered, answered ? value : "", status}, GetTickCount64());
    ++m_heading.cycles;
}

bool MonitorWatch::Show(const monitor::ListenFigures& figures) {
    const uint64_t now = GetTickCount64();
    if (now - m_lastKeysMs < kKeysEveryMs) return true;
    m_lastKeysMs = now;
    for (WatchKey key : m_console.Keys(0)) {
        if (key == WatchKey::kQuit) RequestInterrupt();
        if (key == WatchKey::kUp && m_firstRow > 0) --m_firstRow;
        if (key == WatchKey::kDown) ++m_firstRow;
    }
    if (InterruptRequested()) return false;
    if (now - m_lastDrawMs >= kRedrawMs) Draw(figures);
    return true;
}

void MonitorWatch::Draw(const monitor::ListenFigures& figures) {
    const uint64_t now = GetTickCount64();
    WatchScreen screen{m_heading, {}, CountListened(figures)};
    uint32_t requests = 0;
    for (const StationCounts& station : screen.stations) requests += station.requests;
    if (now > m_startMs) screen.heading.requestsPerSecond = requests * 1000.0 / static_cast<double>(now - m_startMs);
    for (const auto& [key, row] : m_rows) {
        for (const WatchRow& shown : row->Rows(now)) screen.rows.push_back(shown);
    }
    const WatchFrame frame = LayOutWatch(screen, m_console.Size(), m_firstRow);
    m_firstRow = frame.firstRow;
    m_console.Draw(frame.lines);
    m_lastDrawMs = now;
}
