// The watch view without a console: the tags' states over reads, the text
// measured in columns, the trend characters, and the screen laid out for a
// size, down to the marks that make a change or a failure stand out; and
// the view drawn apart from the poll, so that a slow console slows no cycle.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "korvel-poll/watch/ConsoleCells.h"
#include "korvel-poll/watch/DisplayText.h"
#include "korvel-poll/watch/Sparkline.h"
#include "korvel-poll/watch/VtFrame.h"
#include "korvel-poll/watch/WatchRun.h"
#include "korvel-poll/watch/WatchLayout.h"
#include "korvel-poll/watch/WatchTags.h"
#include "tags/TagRecords.h"

namespace {

const char kReadError[] = "读设备错误! (error reading the device)";

WatchTagName Tag(const std::string& name, const std::string& station, const std::string& address,
                 const std::string& type, size_t valueWidth) {
    WatchTagName tag;
    tag.name = name;
    tag.station = station;
    tag.address = address;
    tag.type = type;
    tag.bit = type == "bit";
    tag.valueWidth = valueWidth;
    return tag;
}

WatchReading Good(const std::string& value) {
    return {true, value, "OK"};
}

WatchReading Failed() {
    return {false, "", kReadError};
}

// The marked parts of a frame, "changed:22.5", "failed:...", headings left out.
std::vector<std::string> Marked(const WatchFrame& frame) {
    std::vector<std::string> marked;
    for (const ScreenLine& line : frame.lines) {
        for (const Mark& mark : line.marks) {
            if (mark.emphasis == Emphasis::kHeading) continue;
            marked.push_back((mark.emphasis == Emphasis::kChanged ? "changed:" : "failed:") +
                             line.text.substr(mark.from, mark.length));
        }
    }
    return marked;
}

std::vector<std::string> Texts(const WatchFrame& frame) {
    std::vector<std::string> texts;
    for (const ScreenLine& line : frame.lines) texts.push_back(line.text);
    return texts;
}

TEST(WatchTags, ATagCountsItsChangesAndFailuresAndKeepsItsTrend) {
    WatchTags tags({Tag("level", "1", "4x1", "uint16", 5)});
    const struct {
        WatchReading reading;
        uint64_t ms;
        const char* value;
        bool changed;
        bool failed;
        uint32_t changes;
        uint32_t failures;
        std::optional<uint64_t> heldMs;  // at the time of the read
    } steps[] = {
        // The first value is where the watch begins, not a change.
        {Good("10"), 0, "10", false, false, 0, 0, std::nullopt},
        {Good("10"), 1000, "10", false, false, 0, 0, std::nullopt},
        {Good("12"), 2000, "12", true, false, 1, 0, 0},
        // A failed read shows no value and keeps the one before for the next comparison.
        {Failed(), 3000, "-", false, true, 1, 1, 1000},
        {Good("12"), 4000, "12", false, false, 1, 1, 2000},
        {Good("11"), 5000, "11", true, false, 2, 1, 0},
    };
    for (const auto& step : steps) {
        tags.Record(0, step.reading, step.ms);
        const WatchRow row = tags.Rows(step.ms)[0];
        EXPECT_EQ(row.value, step.value) << step.ms;
        EXPECT_EQ(row.changed, step.changed) << step.ms;
        EXPECT_EQ(row.failed, step.failed) << step.ms;
        EXPECT_EQ(row.changes, step.changes) << step.ms;
        EXPECT_EQ(row.failures, step.failures) << step.ms;
        EXPECT_EQ(row.heldMs, step.heldMs) << step.ms;
    }
    const std::vector<double>& trend = *tags.Rows(5000)[0].trend;
    ASSERT_EQ(trend.size(), 6u);
    EXPECT_TRUE(std::isnan(trend[3]));
    EXPECT_EQ(trend[5], 11);
    for (int i = 0; i < 40; ++i) tags.Record(0, Good(std::to_string(i)), 6000);
    EXPECT_EQ(tags.Rows(6000)[0].trend->size(), WatchTags::kTrendLength);
    EXPECT_EQ(tags.Rows(6000)[0].trend->back(), 39);
}

TEST(DisplayText, WideCharactersTakeTwoColumnsAndAreNeverCutInHalf) {
    const struct {
        std::string text;
        size_t columns;
        size_t width;
        const char* fitted;
        const char* padded;
    } cases[] = {
        {"abc", 3, 3, "abc", "abc"},
        {"abcd", 3, 4, "ab~", "ab~"},
        {"ab", 4, 2, "ab", "ab  "},
        {"读设备错误!", 6, 11, "读设~", "读设~ "},
        {"▁▅█", 3, 3, "▁▅█", "▁▅█"},
        {"x", 0, 1, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
        EXPECT_EQ(FitColumns(c.text, c.columns), c.fitted) << c.text;
        EXPECT_EQ(PadColumns(c.text, c.columns), c.padded) << c.text;
    }
}

TEST(Sparkline, ValuesScaleBetweenTheLowestAndHighestShown) {
    const double gap = NAN;
    const struct {
        std::vector<double> values;
        size_t width;
        bool bit;
        const char* line;
    } cases[] = {
        {{0, 1, 2, 3, 4, 5, 6, 7}, 8, false, "▁▂▃▄▅▆▇█"},
        {{5, 5, 5}, 3, false, "▄▄▄"},
        {{1, gap, 3}, 3, false, "▁ █"},
        {{1, 2}, 5, false, "   ▁█"},
        // Only what is shown sets the scale.
        {{100, 0, 1}, 2, false, "▁█"},
        {{0, 1, 1, 0}, 4, true, "▁██▁"},
        {{1, 1}, 2, true, "██"},
        {{}, 2, false, "  "},
    };
    for (const auto& c : cases) EXPECT_EQ(Sparkline(c.values, c.width, c.bit), c.line) << c.line;
}

TEST(HeldText, AgesKeepTheirTwoLargestUnits) {
    const struct {
        uint64_t ms;
        const char* text;
    } cases[] = {
        {0, "0s"},          {59999, "59s"},       {60000, "1m00s"}, {3599999, "59m59s"},
        {3600000, "1h00m"}, {86399999, "23h59m"}, {86400000, "1d00h"}, {90061000, "1d01h"},
    };
    for (const auto& c : cases) EXPECT_EQ(HeldText(c.ms), c.text) << c.ms;
}

// Three tags after three reads each: the temperature changed at the last,
// the counter failed at the last, the bit changed in the second.
WatchScreen Controller(WatchTags& tags) {
    const WatchReading reads[3][3] = {
        {Good("21.5"), Good("100"), Good("0")},
        {Good("22"), Good("100"), Good("1")},
        {Good("22.5"), Failed(), Good("1")},
    };
    for (size_t cycle = 0; cycle < 3; ++cycle) {
        for (size_t tag = 0; tag < 3; ++tag) tags.Record(tag, reads[cycle][tag], cycle * 1000);
    }
    WatchScreen screen;
    screen.heading = {"COM3 9600 8N1", 1000, 3, 412, 7.5};
    screen.rows = tags.Rows(65000);
    screen.stations = {{1, 9, 8, 1, 0, 0, 0, 0, 0}};
    return screen;
}

// Ten tags of three stations, none read yet, on a network line.
WatchScreen ManyTags(WatchTags& tags) {
    for (size_t i = 0; i < tags.Size(); ++i) tags.Record(i, Good(std::to_string(i * 100)), 0);
    WatchScreen screen;
    screen.heading = {"modbus-tcp://10.0.0.5:502", 500, 0, 0, 0};
    screen.rows = tags.Rows(0);
    screen.stations = {{1, 3, 3, 0, 0, 0, 0, 0, 0}, {2, 4, 2, 1, 1, 0, 2, 1, 0}, {3, 3, 3, 0, 0, 0, 0, 0, 0}};
    return screen;
}

std::vector<WatchTagName> TenTags() {
    std::vector<WatchTagName> names;
    for (int i = 1; i <= 10; ++i) {
        names.push_back(Tag("t" + std::to_string(i), std::to_string(1 + i % 3), "4x" + std::to_string(i), "uint16", 5));
    }
    return names;
}

TEST(WatchLayout, TheScreenFitsItsSize) {
    const struct {
        const char* situation;
        WatchScreen (*screen)(WatchTags&);
        std::vector<WatchTagName> tags;
        ScreenSize size;
        size_t firstRow;
        std::vector<std::string> lines;
        std::vector<std::string> marked;
        size_t shownFrom;
    } cases[] = {
        {"wide: every column, the trend in what is left, the stations' table",
         Controller,
         {Tag("temperature", "1", "3x1", "float", 14), Tag("counter", "1", "3x3", "uint32", 10),
          Tag("running", "1", "0x1", "bit", 1)},
         {120, 12},
         0,
         {"COM3 9600 8N1 | 3 tags, 1 failed | cycle 3: 412 ms, 7.5 requests/s | timeout 1000 ms",
          "name         station  address  type             value  status                      changed  changes  failures  trend",
          "temperature        1  3x1      float             22.5  OK                        1m03s ago        2         0        ▁▅█",
          "counter            1  3x3      uint32               -  读设备错误! (error read~          -        0         1        ▄▄",
          "running            1  0x1      bit                  1  OK                        1m04s ago        1         0        ▁██",
          "station  requests  replies  no-reply  broken  exceptions  retries  demoted  late",
          "1        9         8        1         0       0           0        0        0",
          "q or Ctrl+C quits"},
         {"changed:22.5", "failed:读设备错误! (error read~"},
         0},
        {"wider: the failure's whole text, then a longer trend",
         Controller,
         {Tag("temperature", "1", "3x1", "float", 14), Tag("counter", "1", "3x3", "uint32", 10),
          Tag("running", "1", "0x1", "bit", 1)},
         {150, 12},
         0,
         {"COM3 9600 8N1 | 3 tags, 1 failed | cycle 3: 412 ms, 7.5 requests/s | timeout 1000 ms",
          "name         station  address  type             value  status                                    changed  changes  failures  trend",
          "temperature        1  3x1      float             22.5  OK                                      1m03s ago        2         0                        ▁▅█",
          "counter            1  3x3      uint32               -  读设备错误! (error reading the device)          -        0         1                        ▄▄",
          "running            1  0x1      bit                  1  OK                                      1m04s ago        1         0                        ▁██",
          "station  requests  replies  no-reply  broken  exceptions  retries  demoted  late",
          "1        9         8        1         0       0           0        0        0",
          "q or Ctrl+C quits"},
         {"changed:22.5", "failed:" + std::string(kReadError)},
         0},
        {"narrow: the status and the failures kept before where the tag is, the failures in the title",
         Controller,
         {Tag("temperature", "1", "3x1", "float", 14), Tag("counter", "1", "3x3", "uint32", 10),
          Tag("running", "1", "0x1", "bit", 1)},
         {60, 12},
         0,
         {"COM3 9600 8N1 | 3 tags, 1 failed | cycle 3: 412 ms, 7.5 req~",
          "name                  value  status                 failures",
          "temperature            22.5  OK                            0",
          "counter                   -  读设备错误! (error r~         1",
          "running                   1  OK                            0",
          "station  requests  replies  no-reply  broken  exceptions",
          "1        9         8        1         0       0",
          "q or Ctrl+C quits"},
         {"changed:22.5", "failed:读设备错误! (error r~"},
         0},
        {"short and narrow: the tags keep their rows, the stations go",
         Controller,
         {Tag("temperature", "1", "3x1", "float", 14), Tag("counter", "1", "3x3", "uint32", 10),
          Tag("running", "1", "0x1", "bit", 1)},
         {30, 6},
         0,
         {"COM3 9600 8N1 | 3 tags, 1 fai~", "name                  value", "temperature            22.5",
          "counter                   -", "running                   1", "q or Ctrl+C quits"},
         {"changed:22.5"},
         0},
        {"many tags on a short screen: scrolled, the stations in one line",
         ManyTags,
         TenTags(),
         {80, 9},
         3,
         {"modbus-tcp://10.0.0.5:502 | 10 tags, 0 failed | first cycle, 0.0 requests/s | t~",
          "name  station  address  type    value  status  changed  changes  failures",
          "t4          2  4x4      uint16    300  OK            -        0         0",
          "t5          3  4x5      uint16    400  OK            -        0         0",
          "t6          1  4x6      uint16    500  OK            -        0         0",
          "t7          2  4x7      uint16    600  OK            -        0         0",
          "t8          3  4x8      uint16    700  OK            -        0         0",
          "3 stations: requests 10, replies 8, no-reply 1, broken 1, exceptions 0, retries~",
          "rows 4-8 of 10 | up, down, PgUp, PgDn, Home, End scroll | q quits"},
         {},
         3},
        {"scrolled past the end: the last page",
         ManyTags,
         TenTags(),
         {80, 9},
         100,
         {"modbus-tcp://10.0.0.5:502 | 10 tags, 0 failed | first cycle, 0.0 requests/s | t~",
          "name  station  address  type    value  status  changed  changes  failures",
          "t6          1  4x6      uint16    500  OK            -        0         0",
          "t7          2  4x7      uint16    600  OK            -        0         0",
          "t8          3  4x8      uint16    700  OK            -        0         0",
          "t9          1  4x9      uint16    800  OK            -        0         0",
          "t10         2  4x10     uint16    900  OK            -        0         0",
          "3 stations: requests 10, replies 8, no-reply 1, broken 1, exceptions 0, retries~",
          "rows 6-10 of 10 | up, down, PgUp, PgDn, Home, End scroll | q quits"},
         {},
         5},
        {"two lines: only the title and the headings",
         ManyTags,
         TenTags(),
         {80, 2},
         0,
         {"modbus-tcp://10.0.0.5:502 | 10 tags, 0 failed | first cycle, 0.0 requests/s | t~",
          "name  station  address  type    value  status  changed  changes  failures"},
         {},
         0},
    };
    for (const auto& c : cases) {
        WatchTags tags(c.tags);
        const WatchFrame frame = LayOutWatch(c.screen(tags), c.size, c.firstRow);
        EXPECT_EQ(Texts(frame), c.lines) << c.situation;
        EXPECT_EQ(Marked(frame), c.marked) << c.situation;
        EXPECT_EQ(frame.firstRow, c.shownFrom) << c.situation;
        for (const ScreenLine& line : frame.lines) EXPECT_LE(DisplayWidth(line.text), c.size.columns) << c.situation;
    }
}

TEST(VtFrame, AFrameDrawsWhatDiffersFromTheLastWithItsMarksAndErasesWhatTheLastLeft) {
    const ScreenLine heading{"name  value", {{0, 11, Emphasis::kHeading}}};
    const ScreenLine failed{"a     12  failed", {{6, 2, Emphasis::kChanged}, {10, 6, Emphasis::kFailed}}};
    const ScreenLine read{"a     12  OK", {}};
    const struct {
        std::vector<ScreenLine> before;
        std::vector<ScreenLine> lines;
        const char* frame;
    } cases[] = {
        {{},
         {heading, failed},
         "\x1b[H\x1b[1mname  value\x1b[0m\x1b[K\r\n"
         "a     \x1b[7m12\x1b[0m  \x1b[31mfailed\x1b[0m\x1b[K\x1b[J"},
        {{heading, failed}, {heading, read}, "\x1b[2Ha     12  OK\x1b[K"},
        {{heading, failed}, {heading}, "\x1b[2H\x1b[J"},
        {{heading, read}, {heading, read}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(VtFrame(c.before, c.lines), c.frame) << c.lines.size();
}

// The cells of a console drawn with its own functions, as "text|colours":
// one letter a cell, n normal, r reversed, f failed.
std::string CellsText(const std::vector<CHAR_INFO>& cells, WORD normal) {
    std::string text;
    std::string colours;
    for (const CHAR_INFO& cell : cells) {
        const wchar_t c = cell.Char.UnicodeChar;
        text += c < 0x80 ? static_cast<char>(c) : (cell.Attributes & COMMON_LVB_TRAILING_BYTE) ? ']' : '[';
        const WORD colour = cell.Attributes & 0xFF;
        colours += colour == normal ? 'n' : colour == AttributesOf(Emphasis::kFailed, normal) ? 'f' : 'r';
    }
    return text + "|" + colours;
}

TEST(ConsoleCells, AFrameIsOneBlockOfCellsWhoseColoursCoverTheirCharactersExactly) {
    const WORD grey = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
    const std::vector<ScreenLine> frame = {
        {"name", {{0, 4, Emphasis::kHeading}}},
        {"a 读错! b", {{2, 7, Emphasis::kFailed}}},
    };
    const struct {
        const char* situation;
        size_t first;
        size_t count;
        size_t wideCells;
        const char* cells;
    } cases[] = {
        {"a heading reversed, in the console's own colours", 0, 1, 1, "name      |rrrrnnnnnn"},
        {"a console that keeps a wide character a cell: the red ends with the text", 1, 1, 1,
         "a [[! b   |nnfffnnnnn"},
        {"a console that gives a wide character two cells", 1, 1, 2, "a [][]! b |nnfffffnnn"},
        {"every row of the window in the one block, those past the frame blank", 0, 3, 1,
         "name      a [[! b             |rrrrnnnnnnnnfffnnnnnnnnnnnnnnn"},
    };
    for (const auto& c : cases) {
        const std::vector<CHAR_INFO> cells = ConsoleCells(frame, c.first, c.count, {10, grey, c.wideCells});
        EXPECT_EQ(CellsText(cells, grey), c.cells) << c.situation;
    }
    EXPECT_EQ(AttributesOf(Emphasis::kHeading, grey) & FOREGROUND_INTENSITY, 0) << "no bright white on a light screen";
}

// A console that takes drawMs to draw each frame, keeping the last.
class TimedSurface : public WatchSurface {
public:
    explicit TimedSurface(unsigned long drawMs) : m_drawMs(drawMs) {}
    ScreenSize Size() const override { return {120, 20}; }
    void Draw(const std::vector<ScreenLine>& lines) override {
        Sleep(m_drawMs);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_last = lines;
        ++m_frames;
    }
    std::vector<WatchKey> Keys(unsigned long ms) override {
        Sleep(ms);
        return {};
    }
    std::string LastTitle() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_last.empty() ? "" : m_last.front().text;
    }
    size_t Frames() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }

private:
    const unsigned long m_drawMs;
    mutable std::mutex m_mutex;
    std::vector<ScreenLine> m_last;
    size_t m_frames = 0;
};

constexpr unsigned kCycles = 12;

// The median cycle of a poll of eight tags, each read taking a few
// milliseconds of line, with the view drawing on surface; the view finished.
double MedianCycleMs(WatchSurface& surface) {
    PollOptions options;
    for (int i = 1; i <= 8; ++i) {
        options.tags.push_back({"t" + std::to_string(i), "4x" + std::to_string(i), kTypeUInt16, ""});
    }
    LineStatistics statistics;
    WatchRun watch(options, statistics, surface);
    std::vector<double> cycles;
    for (unsigned cycle = 1; cycle <= kCycles; ++cycle) {
        const auto started = std::chrono::steady_clock::now();
        for (size_t i = 0; i < options.tags.size(); ++i) {
            Sleep(4);
            TagRecord record;
            record.read = true;
            record.value = std::to_string(cycle);
            record.status = "OK";
            watch.TagRead(i, record);
        }
        const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - started;
        watch.CycleEnded(cycle, static_cast<uint64_t>(ms.count()));
        cycles.push_back(ms.count());
    }
    watch.Finish();
    std::sort(cycles.begin(), cycles.end());
    return cycles[cycles.size() / 2];
}

// A console that takes a second a frame would have made every cycle a
// second long; the bound is loose enough for a machine whose every CPU is
// busy, and far below that second.
TEST(WatchRun, AConsoleThatDrawsSlowlyCostsThePollNothingAndShowsTheLastCycleAtTheEnd) {
    TimedSurface quick(0);
    const double quickMs = MedianCycleMs(quick);
    TimedSurface slow(1000);
    const double slowMs = MedianCycleMs(slow);
    EXPECT_LT(slowMs, 2 * quickMs + 50) << "the cycle without a slow console: " << quickMs << " ms";
    EXPECT_LT(slow.Frames(), kCycles) << "a slow console skips states";
    const std::string last = "cycle " + std::to_string(kCycles) + ":";
    EXPECT_NE(slow.LastTitle().find(last), std::string::npos) << slow.LastTitle();
}

}  // namespace
