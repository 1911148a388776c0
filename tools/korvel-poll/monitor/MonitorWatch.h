#pragma once
// --watch with --monitor: the watch view with a row per station and block
// a listened line's master asks for (a row per station, function and
// items), each showing what last came back and how often that changed or
// failed, the stations' figures below; redrawn as exchanges pass, until q
// or Ctrl+C.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "korvel-poll/poll/PollOptions.h"
#include "korvel-poll/monitor/ExchangePairing.h"
#include "korvel-poll/monitor/ListenFigures.h"
#include "korvel-poll/watch/WatchConsole.h"
#include "korvel-poll/watch/WatchLayout.h"
#include "korvel-poll/watch/WatchTags.h"

class MonitorWatch {
public:
    explicit MonitorWatch(const PollOptions& options);
    // The console back as it was.
    ~MonitorWatch() { m_console.End(); }

    void Heard(const monitor::Exchange& exchange);
    // Redraws when a redraw is due and takes the keys; false once one of
    // them ends the run.
    bool Show(const monitor::ListenFigures& figures);

private:
    WatchTags& RowOf(const monitor::Exchange& exchange);
    void Draw(const monitor::ListenFigures& figures);

    WatchConsole m_console;
    WatchHeading m_heading;
    // A row's tags hold one entry each, so that rows can come as the line
    // shows them; by station, function and items, the order they are shown.
    std::map<std::string, std::unique_ptr<WatchTags>> m_rows;
    size_t m_firstRow = 0;
    uint64_t m_lastDrawMs = 0;
    uint64_t m_lastKeysMs = 0;
    uint64_t m_startMs = 0;
};
