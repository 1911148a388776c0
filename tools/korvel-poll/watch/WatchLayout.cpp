#include "korvel-poll/watch/WatchLayout.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "korvel-poll/console/TextUtil.h"
#include "korvel-poll/watch/DisplayText.h"
#include "korvel-poll/watch/Sparkline.h"

namespace {

constexpr size_t kGap = 2;  // blanks between columns
// Wide enough for most names and for the meaning of a driver's text; both
// take more where the screen has room to spare.
constexpr size_t kNameMax = 24;
constexpr size_t kStatusBase = 24;
constexpr size_t kStatusMin = 10;
constexpr size_t kTrendBase = 16;
constexpr size_t kTrendMin = 8;
// The station figures give way before the tags' table shrinks below this.
constexpr size_t kMinTagRows = 3;
// Title, headings and the line of keys.
constexpr size_t kFixedLines = 3;

enum Column : size_t { kName, kStation, kAddress, kType, kValue, kStatus, kChanged, kChanges, kFailures, kTrend };
constexpr size_t kColumnCount = kTrend + 1;

enum class Align { kLeft, kRight };

struct TagColumn {
    const char* heading;
    Align align;
    std::string (*cell)(const WatchRow&);  // null for the trend, which is drawn to its width
};

const TagColumn kTagColumns[kColumnCount] = {
    {"name", Align::kLeft, [](const WatchRow& r) { return r.tag->name; }},
    {"station", Align::kRight, [](const WatchRow& r) { return r.tag->station; }},
    {"address", Align::kLeft, [](const WatchRow& r) { return r.tag->address; }},
    {"type", Align::kLeft, [](const WatchRow& r) { return r.tag->type; }},
    {"value", Align::kRight, [](const WatchRow& r) { return r.value; }},
    {"status", Align::kLeft, [](const WatchRow& r) { return r.status; }},
    {"changed", Align::kRight, [](const WatchRow& r) { return r.heldMs ? HeldText(*r.heldMs) + " ago" : "-"; }},
    {"changes", Align::kRight, [](const WatchRow& r) { return std::to_string(r.changes); }},
    {"failures", Align::kRight, [](const WatchRow& r) { return std::to_string(r.failures); }},
    {"trend", Align::kLeft, nullptr},
};

// The order columns are kept in when not all fit: what a tag is and how it
// fares before where it is. The failures come before the status, which can
// give way to them.
constexpr Column kKeptFirst[kColumnCount] = {kName,    kValue, kFailures, kStatus,  kStation,
                                             kAddress, kType,  kChanged,  kChanges, kTrend};

using Cells = std::array<std::string, kColumnCount>;

// The texts of every row, made once: the widths need all of them, the
// screen those shown.
std::vector<Cells> TagCells(const std::vector<WatchRow>& rows) {
    std::vector<Cells> cells(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < kColumnCount; ++c) {
            if (kTagColumns[c].cell != nullptr) cells[r][c] = kTagColumns[c].cell(rows[r]);
        }
    }
    return cells;
}

// Widths over every row, not only those shown, so that scrolling does not
// move the columns; the value column is as wide as the widest text the tags'
// types can show, so that a growing value does not move them either.
std::array<size_t, kColumnCount> NaturalWidths(const std::vector<WatchRow>& rows, const std::vector<Cells>& cells) {
    std::array<size_t, kColumnCount> widths{};
    for (size_t c = 0; c < kColumnCount; ++c) widths[c] = DisplayWidth(kTagColumns[c].heading);
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < kColumnCount; ++c) widths[c] = std::max(widths[c], DisplayWidth(cells[r][c]));
        widths[kValue] = std::max(widths[kValue], rows[r].tag->valueWidth);
    }
    widths[kName] = std::min(widths[kName], kNameMax);
    widths[kTrend] = WatchTags::kTrendLength;
    return widths;
}

// The least width a column may take where its base width does not fit;
// only the status and the trend give way.
size_t LeastWidth(size_t column, size_t base) {
    if (column == kStatus) return std::min(base, kStatusMin);
    if (column == kTrend) return kTrendMin;
    return base;
}

// Columns are kept in the order of kKeptFirst at their base widths while
// they fit; the status and the trend take what is left down to their least
// width, and a column that does not fit even so is dropped. What is still
// left widens the status to its whole text, then the trend to all the values
// kept. 0: dropped.
std::array<size_t, kColumnCount> PlaceColumns(const std::array<size_t, kColumnCount>& natural, size_t screenColumns) {
    std::array<size_t, kColumnCount> widths{};
    size_t used = 0;
    for (Column c : kKeptFirst) {
        const size_t gap = used == 0 ? 0 : kGap;
        size_t base = natural[c];
        if (c == kStatus) base = std::min(base, kStatusBase);
        if (c == kTrend) base = kTrendBase;
        if (c == kName) base = std::min(base, screenColumns);
        const size_t left = screenColumns - std::min(screenColumns, used + gap);
        if (left < LeastWidth(c, base)) continue;
        widths[c] = std::min(base, left);
        used += gap + widths[c];
    }
    size_t left = screenColumns - std::min(used, screenColumns);
    for (size_t c : {kStatus, kTrend}) {
        if (widths[c] == 0) continue;
        const size_t grow = std::min(left, natural[c] - std::min(natural[c], widths[c]));
        widths[c] += grow;
        left -= grow;
    }
    return widths;
}

// Appends a cell padded to its width; a mark covers the text, not the
// padding.
void AppendCell(ScreenLine& line, const std::string& text, size_t width, Align align, const Emphasis* emphasis) {
    const std::string fitted = FitColumns(text, width);
    const std::string padding(width - DisplayWidth(fitted), ' ');
    if (align == Align::kRight) line.text += padding;
    if (emphasis != nullptr && !fitted.empty()) line.marks.push_back({line.text.size(), fitted.size(), *emphasis});
    line.text += fitted;
    if (align == Align::kLeft) line.text += padding;
}

// A line ends at its last character; a mark never reaches past it.
void TrimLine(ScreenLine& line) {
    const size_t end = line.text.find_last_not_of(' ');
    line.text.resize(end == std::string::npos ? 0 : end + 1);
    for (Mark& mark : line.marks) {
        mark.length = std::min(mark.length, line.text.size() - std::min(mark.from, line.text.size()));
    }
    line.marks.erase(std::remove_if(line.marks.begin(), line.marks.end(), [](const Mark& m) { return m.length == 0; }),
                     line.marks.end());
}

ScreenLine HeadingLine(const std::array<size_t, kColumnCount>& widths) {
    ScreenLine line;
    for (size_t c = 0; c < kColumnCount; ++c) {
        if (widths[c] == 0) continue;
        if (c > 0) line.text += std::string(kGap, ' ');
        AppendCell(line, kTagColumns[c].heading, widths[c], kTagColumns[c].align, nullptr);
    }
    TrimLine(line);
    if (!line.text.empty()) line.marks = {{0, line.text.size(), Emphasis::kHeading}};
    return line;
}

ScreenLine TagLine(const WatchRow& row, const Cells& cells, const std::array<size_t, kColumnCount>& widths) {
    static const Emphasis kChangedMark = Emphasis::kChanged;
    static const Emphasis kFailedMark = Emphasis::kFailed;
    ScreenLine line;
    for (size_t c = 0; c < kColumnCount; ++c) {
        if (widths[c] == 0) continue;
        if (c > 0) line.text += std::string(kGap, ' ');
        const Emphasis* emphasis = nullptr;
        if (c == kValue && row.changed) emphasis = &kChangedMark;
        if (c == kStatus && row.failed) emphasis = &kFailedMark;
        const bool bit = row.tag->bit;
        const std::string text = c == kTrend ? (row.trend ? Sparkline(*row.trend, widths[c], bit) : "") : cells[c];
        AppendCell(line, text, widths[c], kTagColumns[c].align, emphasis);
    }
    TrimLine(line);
    return line;
}

ScreenLine PlainLine(const std::string& text, size_t columns) {
    ScreenLine line{FitColumns(text, columns), {}};
    TrimLine(line);
    return line;
}

std::string TitleText(const WatchScreen& screen) {
    const WatchHeading& h = screen.heading;
    const size_t failed =
        std::count_if(screen.rows.begin(), screen.rows.end(), [](const WatchRow& row) { return row.failed; });
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", h.requestsPerSecond);
    const std::string cycle =
        h.cycles == 0 ? "first cycle" : "cycle " + std::to_string(h.cycles) + ": " + std::to_string(h.cycleMs) + " ms";
    // What fails comes before the figures, where a narrow window keeps it.
    return h.line + " | " + Counted(screen.rows.size(), "tag") + ", " + std::to_string(failed) + " failed | " +
           cycle + ", " + rate + " requests/s | timeout " + std::to_string(h.timeoutMs) + " ms";
}

const char* const kStationHeadings[] = {"station", "requests", "replies", "no-reply", "broken",
                                        "exceptions", "retries", "demoted", "late"};
constexpr size_t kStationColumns = sizeof kStationHeadings / sizeof kStationHeadings[0];

std::array<std::string, kStationColumns> StationCells(const StationCounts& s) {
    return {std::to_string(s.station), std::to_string(s.requests), std::to_string(s.replies),
            std::to_string(s.noReplies), std::to_string(s.broken),  std::to_string(s.exceptions),
            std::to_string(s.retries),   std::to_string(s.demotions), std::to_string(s.late)};
}

// The stations' table as --stats lays it out, its columns dropped from the
// right where the screen is narrow.
std::vector<ScreenLine> StationTable(const std::vector<StationCounts>& stations, size_t columns) {
    std::vector<std::array<std::string, kStationColumns>> rows;
    std::array<std::string, kStationColumns> headings;
    std::copy(std::begin(kStationHeadings), std::end(kStationHeadings), headings.begin());
    rows.push_back(headings);
    for (const StationCounts& station : stations) rows.push_back(StationCells(station));
    std::array<size_t, kStationColumns> widths{};
    for (const auto& row : rows) {
        for (size_t c = 0; c < kStationColumns; ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    size_t shown = 0;
    for (size_t used = 0; shown < kStationColumns; ++shown) {
        used += (shown == 0 ? 0 : kGap) + widths[shown];
        if (used > columns) break;
    }
    std::vector<ScreenLine> lines;
    for (const auto& row : rows) {
        ScreenLine line;
        for (size_t c = 0; c < std::max<size_t>(shown, 1); ++c) {
            if (c > 0) line.text += std::string(kGap, ' ');
            AppendCell(line, row[c], std::min(widths[c], columns), Align::kLeft, nullptr);
        }
        TrimLine(line);
        lines.push_back(line);
    }
    lines.front().marks = {{0, lines.front().text.size(), Emphasis::kHeading}};
    return lines;
}

// All stations in one line, when their table does not fit.
std::string StationTotals(const std::vector<StationCounts>& stations) {
    StationCounts sum;
    for (const StationCounts& s : stations) {
        sum.requests += s.requests;
        sum.replies += s.replies;
        sum.noReplies += s.noReplies;
        sum.broken += s.broken;
        sum.exceptions += s.exceptions;
        sum.retries += s.retries;
        sum.demotions += s.demotions;
    }
    return std::to_string(stations.size()) + " stations: requests " + std::to_string(sum.requests) + ", replies " +
           std::to_string(sum.replies) + ", no-reply " + std::to_string(sum.noReplies) + ", broken " +
           std::to_string(sum.broken) + ", exceptions " + std::to_string(sum.exceptions) + ", retries " +
           std::to_string(sum.retries) + ", demoted " + std::to_string(sum.demotions);
}

// The stations' part of the screen: their table, or one line of totals,
// or nothing, whichever still leaves the tags their least rows.
std::vector<ScreenLine> Footer(const WatchScreen& screen, size_t area, size_t columns) {
    if (screen.stations.empty()) return {};
    const size_t keep = std::min(screen.rows.size(), kMinTagRows);
    if (area >= keep + 1 + screen.stations.size()) return StationTable(screen.stations, columns);
    if (area >= keep + 1) return {PlainLine(StationTotals(screen.stations), columns)};
    return {};
}

std::string KeysText(size_t firstRow, size_t shown, size_t total) {
    if (shown >= total) return "q or Ctrl+C quits";
    return "rows " + std::to_string(firstRow + 1) + "-" + std::to_string(firstRow + shown) + " of " +
           std::to_string(total) + " | up, down, PgUp, PgDn, Home, End scroll | q quits";
}

}  // namespace

WatchFrame LayOutWatch(const WatchScreen& screen, ScreenSize size, size_t firstRow) {
    WatchFrame frame;
    if (size.columns == 0 || size.lines == 0) return frame;
    const std::vector<Cells> cells = TagCells(screen.rows);
    const auto widths = PlaceColumns(NaturalWidths(screen.rows, cells), size.columns);
    frame.lines.push_back(PlainLine(TitleText(screen), size.columns));
    frame.lines.push_back(HeadingLine(widths));
    const size_t area = size.lines > kFixedLines ? size.lines - kFixedLines : 0;
    const std::vector<ScreenLine> footer = Footer(screen, area, size.columns);
    frame.rowsShown = std::min(screen.rows.size(), area - footer.size());
    frame.firstRow = std::min(firstRow, screen.rows.size() - frame.rowsShown);
    for (size_t r = frame.firstRow; r < frame.firstRow + frame.rowsShown; ++r) {
        frame.lines.push_back(TagLine(screen.rows[r], cells[r], widths));
    }
    frame.lines.insert(frame.lines.end(), footer.begin(), footer.end());
    frame.lines.push_back(PlainLine(KeysText(frame.firstRow, frame.rowsShown, screen.rows.size()), size.columns));
    if (frame.lines.size() > size.lines) frame.lines.resize(size.lines);
    return frame;
}

std::vector<StationCounts> CountStations(const std::map<int, StationFigures>& stations) {
    std::vector<StationCounts> counts;
    for (const auto& [station, f] : stations) {
        uint32_t exceptions = 0;
        for (const auto& [code, count] : f.exceptions) exceptions += count;
        counts.push_back({station, f.requests, f.replies, f.noReplies, f.broken, exceptions, f.retries, f.demotions,
                          f.lateReplies});
    }
    return counts;
}

std::string HeldText(uint64_t ms) {
    static constexpr struct {
        uint64_t below;  // seconds
        uint64_t bigUnit;
        const char* big;
        uint64_t smallUnit;
        const char* small;
    } kForms[] = {
        {60, 1, "s", 0, ""},
        {3600, 60, "m", 1, "s"},
        {86400, 3600, "h", 60, "m"},
        {UINT64_MAX, 86400, "d", 3600, "h"},
    };
    const uint64_t seconds = ms / 1000;
    for (const auto& form : kForms) {
        if (seconds >= form.below) continue;
        std::string text = std::to_string(seconds / form.bigUnit) + form.big;
        if (form.smallUnit == 0) return text;
        char small[8];
        std::snprintf(small, sizeof small, "%02u", static_cast<unsigned>(seconds % form.bigUnit / form.smallUnit));
        return text + small + form.small;
    }
    return "";
}
