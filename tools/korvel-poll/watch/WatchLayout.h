#pragma once
// The watch view laid out on a screen of a given size: a title line (the
// line, the tags and failures, the last cycle, the requests a second), the
// tags' table with its headings, the stations' figures as --stats counts
// them, and a line of keys. Columns that do not fit are dropped, the least
// telling first; tag rows that do not fit are scrolled through. A pure function of what it is given, so the
// view can be tested and timed without a console.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "korvel-poll/trace/LineStatistics.h"
#include "korvel-poll/watch/ScreenLine.h"
#include "korvel-poll/watch/WatchTags.h"

struct WatchHeading {
    std::string line;      // "COM3 115200 8N1" or the network line's URL
    uint32_t timeoutMs = 0;
    unsigned cycles = 0;   // cycles done; 0 while the first runs
    uint64_t cycleMs = 0;  // the last cycle's time
    double requestsPerSecond = 0;
};

// A station's figures as the footer shows them, counted as --stats counts.
struct StationCounts {
    int station = 0;
    uint32_t requests = 0;
    uint32_t replies = 0;
    uint32_t noReplies = 0;
    uint32_t broken = 0;
    uint32_t exceptions = 0;  // of any code
    uint32_t retries = 0;
    uint32_t demotions = 0;
    uint32_t late = 0;
};

struct WatchScreen {
    WatchHeading heading;
    std::vector<WatchRow> rows;
    std::vector<StationCounts> stations;
};

struct WatchFrame {
    std::vector<ScreenLine> lines;  // at most the screen's lines, each at most its columns wide
    size_t firstRow = 0;            // the first tag row shown, kept within the rows
    size_t rowsShown = 0;           // tag rows on the screen: a page
};

// firstRow is where the user scrolled to; the frame says where it ended up.
WatchFrame LayOutWatch(const WatchScreen& screen, ScreenSize size, size_t firstRow);

// The counts of each station the statistics hold, by station number.
std::vector<StationCounts> CountStations(const std::map<int, StationFigures>& stations);

// How long a value has held, short: "45s", "12m05s", "3h07m", "2d05h".
std::string HeldText(uint64_t ms);
