// --plot without files: a log's lines read back, bad logs refused with the
// line and the reason, and logs of every kind drawn, checked against the
// structure of the SVG (its panels, scales, lines, steps, failure marks and
// legend), not its pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "korvel-poll/host/DataTypes.h"
#include "korvel-poll/plot/LogReader.h"
#include "korvel-poll/plot/PlotLog.h"
#include "korvel-poll/plot/RoundTicks.h"
#include "korvel-poll/plot/TrendSvg.h"

namespace {

const char kHeader[] = "time,station,address,type,value,status\n";
const char kBase[] = "2026-12-07T23:40:00.000Z";

// The log's time of a read so many seconds after kBase.
std::string TimeAfter(int64_t seconds) {
    int64_t base = 0;
    ParseIsoTime(kBase, base);
    std::string text = TimeText(base + seconds * 1000);
    text[10] = 'T';
    return text + ".000Z";
}

// A CSV record; an empty value is a failed read.
std::string Csv(int64_t seconds, const std::string& tag, const std::string& value) {
    return TimeAfter(seconds) + "," + tag + "," + value + "," + (value.empty() ? "读设备错误!" : "OK") + "\n";
}

std::string Read(const std::string& text, TrendLog& log) {
    std::istringstream in(text);
    return ReadTrendLog(in, "log.csv", log);
}

TEST(LogTime, TimesAreUtcMillisecondsAndOnlyTheLogsOwnFormIsTaken) {
    const struct {
        const char* text;
        bool taken;
        int64_t ms;
    } cases[] = {
        {"1970-01-01T00:00:00.000Z", true, 0},
        {"2024-02-29T12:00:00.500Z", true, 1709208000500},
        {"2026-12-07T23:40:59.580Z", true, 1796686859580},
        {"2024-13-01T00:00:00.000Z", false, 0},
        {"2024-05-17 08:30:01.250Z", false, 0},
        {"2024-05-17T08:30:01.250", false, 0},
        {"2024-05-17T08:30:01Z", false, 0},
    };
    for (const auto& c : cases) {
        int64_t ms = 0;
        EXPECT_EQ(ParseIsoTime(c.text, ms), c.taken) << c.text;
        if (c.taken) {
            EXPECT_EQ(ms, c.ms) << c.text;
        }
    }
    EXPECT_EQ(TimeText(1709208000500), "2024-02-29 12:00:00");
}

TEST(LogReader, RecordsOfEitherFormatAreReadAndTheRestPassedOver) {
    const double inf = INFINITY;
    const struct {
        const char* line;
        LogLine kind;
        int station;
        const char* address;
        const char* type;
        bool read;
        double value;
    } cases[] = {
        {"time,station,address,type,value,status", LogLine::kPassedOver, 0, "", "", false, 0},
        {"\xEF\xBB\xBFtime,station,address,type,value,status\r", LogLine::kPassedOver, 0, "", "", false, 0},
        {"   ", LogLine::kPassedOver, 0, "", "", false, 0},
        {"2026-12-07T23:40:59.580Z,17,\"4x10,4\",uint16,1234,OK\r", LogLine::kRecord, 17, "4x10,4", "uint16", true, 1234},
        {"2026-12-07T23:40:59.580Z,1,3x1,float,,\"读设备错误!, again\"", LogLine::kRecord, 1, "3x1", "float", false, 0},
        {"2026-12-07T23:40:59.580Z,1,3x1,float,-inf,OK", LogLine::kRecord, 1, "3x1", "float", true, -inf},
        {R"({"time":"2026-12-07T23:40:59.580Z","station":2,"address":"4x1","type":"int16","value":-7,"status":"OK"})",
         LogLine::kRecord, 2, "4x1", "int16", true, -7},
        {R"({ "value": null, "type": "bit", "status": "say \"no\"", "address": "0x1", "station": 3, "time": "2026-12-07T23:40:59.580Z", "more": 1 })",
         LogLine::kRecord, 3, "0x1", "bit", false, 0},
        {R"({"time":"2026-12-07T23:40:59.580Z","station":1,"address":"3x1","type":"float","value":"inf","status":"OK"})",
         LogLine::kRecord, 1, "3x1", "float", true, inf},
    };
    for (const auto& c : cases) {
        LogReader reader;
        LogRecord record;
        ASSERT_EQ(reader.Parse(c.line, record), c.kind) << c.line << ": " << reader.Problem();
        if (c.kind != LogLine::kRecord) continue;
        EXPECT_EQ(record.timeMs, 1796686859580) << c.line;
        EXPECT_EQ(record.station, c.station) << c.line;
        EXPECT_EQ(record.address, c.address) << c.line;
        EXPECT_EQ(record.type, c.type) << c.line;
        EXPECT_EQ(record.read, c.read) << c.line;
        if (c.read) {
            EXPECT_EQ(record.value, c.value) << c.line;
        }
    }
}

TEST(TrendLog, ABadOrEmptyLogIsRefusedWithItsLineAndReason) {
    const std::string good = Csv(0, "1,4x1,uint16", "5");
    const struct {
        std::string text;
        const char* problem;  // empty when the log is taken
    } cases[] = {
        {"", "log.csv holds no records of korvel-poll's log (time,station,address,type,value,status)"},
        {kHeader, "log.csv holds no records of korvel-poll's log"},
        {"hello\n", "log.csv line 1: expected time,station,address,type,value,status, found 1 field(s)"},
        {std::string(kHeader) + "2026-12-07 23:40:59,1,4x1,uint16,5,OK\n",
         "log.csv line 2: '2026-12-07 23:40:59' is not a time such as 2024-05-17T08:30:01.250Z"},
        {good + TimeAfter(1) + ",x,4x1,uint16,5,OK\n", "log.csv line 2: station 'x' is not 0..255"},
        {good + TimeAfter(1) + ",1,4x1,uint16,warm,OK\n", "log.csv line 2: value 'warm' is not a number"},
        {good + TimeAfter(1) + ",1,\"4x1,uint16,5,OK\n", "log.csv line 2: a quote is not closed"},
        {good + TimeAfter(1) + ",1,,uint16,5,OK\n", "log.csv line 2: a record names its tag's address and type"},
        {good + R"({"time":")" + TimeAfter(1) + R"(","station":1,"address":"4x1","type":"uint16"})" + "\n",
         "log.csv line 2: a JSON record has \"time\", \"station\", \"address\", \"type\" and \"value\""},
        {good + R"({"time":")" + TimeAfter(1) + "\"\n", "log.csv line 2: ',' or '}' expected after a value"},
        {good + R"({"time":")" + TimeAfter(1) + R"(","station":"1"})" + "\n",
         "log.csv line 2: \"station\" is not a number 0..255"},
        // A log being written ends in a line not yet whole; it is left out.
        {good + TimeAfter(1) + ",1,4x", ""},
    };
    for (const auto& c : cases) {
        TrendLog log;
        const std::string problem = Read(c.text, log);
        EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << c.text << "\n" << problem;
        if (c.problem[0] == '\0') {
            EXPECT_EQ(problem, "") << c.text;
        }
    }
}

// A panel of the SVG as a reader of the file finds it.
struct PanelSeen {
    std::string title;
    std::string range;
    std::string scale;               // the value axis's labels, top to bottom
    std::vector<std::string> lines;  // the d of each line's path
    size_t failureMarks = 0;
};

std::string Between(const std::string& text, const std::string& open, const std::string& close, size_t& at) {
    const size_t start = text.find(open, at);
    if (start == std::string::npos) return at = std::string::npos, "";
    const size_t end = text.find(close, start + open.size());
    at = end + close.size();
    return text.substr(start + open.size(), end - start - open.size());
}

std::vector<PanelSeen> PanelsOf(const std::string& svg) {
    std::vector<PanelSeen> panels;
    size_t at = 0;
    for (std::string block; !(block = Between(svg, "<g class=\"panel\">", "</g>", at)).empty();) {
        PanelSeen panel;
        size_t in = 0;
        const std::string title = Between(block, "<text class=\"name\"", "</text>", in);
        panel.title = title.substr(title.find('>') + 1);
        in = 0;
        const std::string range = Between(block, "<text class=\"range right\"", "</text>", in);
        panel.range = range.substr(range.find('>') + 1);
        in = 0;
        for (std::string label; !(label = Between(block, "<text class=\"scale\"", "</text>", in)).empty();) {
            panel.scale += (panel.scale.empty() ? "" : " ") + label.substr(label.find('>') + 1);
        }
        in = 0;
        for (std::string d; !(d = Between(block, "<path class=\"line\" d=\"", "\"", in)).empty();) panel.lines.push_back(d);
        in = 0;
        const std::string fails = Between(block, "<path class=\"fail\" d=\"", "\"", in);
        for (char c : fails) panel.failureMarks += c == 'M';
        panels.push_back(panel);
    }
    return panels;
}

// The points of a straight-line path "M x y L x y x y ...", or of a lone
// point "M x yh1".
std::vector<std::pair<double, double>> PointsOf(const std::string& d) {
    std::string numbers = d;
    for (char& c : numbers) c = c == 'M' || c == 'L' ? ' ' : c;
    numbers = numbers.substr(0, numbers.find('h'));
    std::istringstream in(numbers);
    std::vector<std::pair<double, double>> points;
    for (double x, y; in >> x >> y;) points.emplace_back(x, y);
    return points;
}

std::string Sawtooth(int reads) {
    std::string log = kHeader;
    for (int i = 0; i < reads; ++i) log += Csv(i, "1,4x1,uint16", std::to_string(i % 100));
    return log;
}

struct PanelExpected {
    const char* title;
    const char* range;
    const char* scale;
    size_t lines;
    size_t failureMarks;
    bool steps;
};

TEST(TrendSvg, ALogBecomesAPanelPerTagOnOneTimeAxis) {
    const PollTag level{"level & flow", "4x1", kTypeUInt16, ""};
    std::string ramp = kHeader;
    for (int i = 0; i < 5; ++i) ramp += Csv(i, "1,4x1,uint16", std::to_string(i + 1));
    const struct {
        const char* situation;
        std::string log;
        PlotChoice choice;
        std::vector<PanelExpected> panels;
        size_t mostPoints;  // in any one line
    } cases[] = {
        {"one tag", ramp, {}, {{"station 1, 4x1, uint16", "min 1  max 5  |  5 reads", "5 4 3 2 1", 1, 0, false}}, 5},
        {"a tag named by the tag list", ramp, {{}, {level}, "1"},
         {{"level &amp; flow (station 1, 4x1, uint16)", "min 1  max 5  |  5 reads", "5 4 3 2 1", 1, 0, false}}, 5},
        {"bits as steps",
         Csv(0, "1,0x1,bit", "0") + Csv(1, "1,0x1,bit", "1") + Csv(2, "1,0x1,bit", "1") + Csv(3, "1,0x1,bit", "0"),
         {},
         {{"station 1, 0x1, bit", "min 0  max 1  |  4 reads", "1 0", 1, 0, true}},
         0},
        {"failed reads break the line and are marked",
         Csv(0, "1,4x1,uint16", "1") + Csv(1, "1,4x1,uint16", "") + Csv(2, "1,4x1,uint16", "") +
             Csv(3, "1,4x1,uint16", "4") + Csv(4, "1,4x1,uint16", "5"),
         {},
         {{"station 1, 4x1, uint16", "min 1  max 5  |  3 reads, 2 failed", "5 4 3 2 1", 2, 2, false}},
         2},
        {"a hole in the log breaks the line",
         Csv(0, "1,4x1,uint16", "1") + Csv(1, "1,4x1,uint16", "2") + Csv(2, "1,4x1,uint16", "3") +
             Csv(900, "1,4x1,uint16", "4") + Csv(901, "1,4x1,uint16", "5") + Csv(902, "1,4x1,uint16", "6"),
         {},
         {{"station 1, 4x1, uint16", "min 1  max 6  |  6 reads", "6 5 4 3 2 1", 2, 0, false}},
         3},
        {"a long log thinned to the panel's columns, its extremes kept",
         Sawtooth(20000),
         {},
         {{"station 1, 4x1, uint16", "min 0  max 99  |  20000 reads", "99 80 60 40 20 0", 1, 0, false}},
         2 * kTrendColumns},
        {"one address of two stations chosen, a JSON log",
         R"({"time":")" + TimeAfter(0) + R"(","station":1,"address":"4x1","type":"uint16","value":1,"status":"OK"})" "\n" +
             R"({"time":")" + TimeAfter(0) + R"(","station":1,"address":"4x2","type":"uint16","value":1,"status":"OK"})" "\n" +
             R"({"time":")" + TimeAfter(1) + R"(","station":2,"address":"4x1","type":"uint16","value":null,"status":"x"})" "\n" +
             R"({"time":")" + TimeAfter(2) + R"(","station":1,"address":"4x1","type":"uint16","value":3,"status":"OK"})" "\n",
         {{"4x1"}, {}, "1"},
         {{"station 1, 4x1, uint16", "min 1  max 3  |  2 reads", "3 2 1", 1, 0, false},
          {"station 2, 4x1, uint16", "no values  |  0 reads, 1 failed", "1 0", 0, 1, false}},
         2},
        {"a float beside a bit, labelled at round values between its ends",
         Csv(0, "1,3x1,float", "20.75") + Csv(0, "1,0x1,bit", "0") + Csv(1, "1,3x1,float", "26.25") +
             Csv(1, "1,0x1,bit", "1"),
         {},
         {{"station 1, 3x1, float", "min 20.75  max 26.25  |  2 reads", "26.25 24 22 20.75", 1, 0, false},
          {"station 1, 0x1, bit", "min 0  max 1  |  2 reads", "1 0", 1, 0, true}},
         2},
        {"a single read, its value labelled alone",
         Csv(0, "1,4x1,int16", "-7"),
         {},
         {{"station 1, 4x1, int16", "min -7  max -7  |  1 read", "-7", 1, 0, false}},
         1},
    };
    for (const auto& c : cases) {
        TrendLog log;
        ASSERT_EQ(Read(c.log, log), "") << c.situation;
        TrendPicture picture;
        ASSERT_EQ(ChoosePanels(log, c.choice, picture), "") << c.situation;
        const std::string svg = TrendSvg(picture);
        EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u) << c.situation;
        EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n") << c.situation;
        // The time zone and the legend, whatever the panels hold.
        for (const char* words : {">time in UTC<", ">failed reads<", ">a gap without marks: no records<"}) {
            EXPECT_NE(svg.find(words), std::string::npos) << c.situation << ": " << words;
        }
        const std::vector<PanelSeen> panels = PanelsOf(svg);
        ASSERT_EQ(panels.size(), c.panels.size()) << c.situation;
        for (size_t i = 0; i < panels.size(); ++i) {
            const PanelExpected& expected = c.panels[i];
            EXPECT_EQ(panels[i].title, expected.title) << c.situation;
            EXPECT_EQ(panels[i].range, expected.range) << c.situation;
            EXPECT_EQ(panels[i].scale, expected.scale) << c.situation;
            EXPECT_EQ(panels[i].lines.size(), expected.lines) << c.situation;
            EXPECT_EQ(panels[i].failureMarks, expected.failureMarks) << c.situation;
            for (const std::string& d : panels[i].lines) {
                const bool steps = d.find('H') != std::string::npos && d.find('V') != std::string::npos;
                EXPECT_EQ(steps, expected.steps) << c.situation << ": " << d;
                EXPECT_EQ(d.find('L') == std::string::npos, expected.steps || PointsOf(d).size() == 1) << c.situation;
                if (!expected.steps) {
                    EXPECT_LE(PointsOf(d).size(), c.mostPoints) << c.situation;
                }
            }
        }
    }
}

// A step holds each value to the next read: 0, then up to 1, down to 0.
TEST(TrendSvg, BitsStepAtTheColumnOfTheirChange) {
    TrendLog log;
    ASSERT_EQ(Read(Csv(0, "1,0x1,bit", "0") + Csv(1, "1,0x1,bit", "1") + Csv(3, "1,0x1,bit", "0"), log), "");
    TrendPicture picture;
    ASSERT_EQ(ChoosePanels(log, {}, picture), "");
    const std::vector<PanelSeen> panels = PanelsOf(TrendSvg(picture));
    ASSERT_EQ(panels.size(), 1u);
    ASSERT_EQ(panels[0].lines.size(), 1u);
    // Columns 0, 299 and 899 of a 3 s span, at x 72 + column; 0 low in the lone panel, 1 high.
    EXPECT_EQ(panels[0].lines[0], "M72 257H371V67H971V257");
}

// Thinned, the line still reaches the lowest and the highest value: the
// frame's inner edges, y 257 and 67 in a lone panel. A spike read inside a
// column, not as its last read, is such a value.
TEST(TrendSvg, ALongLogStaysSmallAndKeepsItsExtremes) {
    std::string spike = kHeader;
    for (int i = 0; i < 20000; ++i) spike += Csv(i, "1,4x1,uint16", i == 10001 ? "99" : "0");
    for (const std::string& text : {Sawtooth(20000), spike}) {
        TrendLog log;
        ASSERT_EQ(Read(text, log), "");
        TrendPicture picture;
        ASSERT_EQ(ChoosePanels(log, {}, picture), "");
        const std::string svg = TrendSvg(picture);
        EXPECT_LT(svg.size(), 40000u);
        const std::vector<PanelSeen> panels = PanelsOf(svg);
        ASSERT_EQ(panels.size(), 1u);
        ASSERT_EQ(panels[0].lines.size(), 1u);
        double top = 1e9, bottom = 0;
        for (const auto& [x, y] : PointsOf(panels[0].lines[0])) {
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
        EXPECT_EQ(top, 67);
        EXPECT_EQ(bottom, 257);
    }
}

// Round values on the value axis: 1, 2 or 5 times a power of ten apart, at
// least the gap asked for, exact at the ends however the step rounds.
TEST(RoundTicks, ValuesAReaderCountsInAndNoCloserThanTheirLabelsNeed) {
    const struct {
        double low, high, pixels, gap;
        const char* ticks;
    } cases[] = {
        {1, 5, 190, 30, "1 2 3 4 5"},
        {0, 99, 190, 30, "0 20 40 60 80"},
        {0, 99, 62, 30, "0 50"},
        {0.1, 0.3, 190, 30, "0.1 0.15 0.2 0.25 0.3"},
        {-0.3, 0.2, 62, 30, "0"},
        {-1e6, 1e6, 62, 30, "-1e+06 0 1e+06"},
        {5, 5, 190, 30, ""},
        {-INFINITY, 0, 190, 30, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream text;
        for (double tick : RoundTicks(c.low, c.high, c.pixels, c.gap)) text << (text.tellp() > 0 ? " " : "") << tick;
        EXPECT_EQ(text.str(), c.ticks) << c.low << ".." << c.high << " on " << c.pixels << " px";
    }
}

TEST(PlotChoice, AnAddressTheLogDoesNotHaveIsRefusedWithThoseItHas) {
    TrendLog log;
    ASSERT_EQ(Read(Csv(0, "1,4x1,uint16", "1") + Csv(0, "1,3x1,float", "2.5"), log), "");
    TrendPicture picture;
    EXPECT_EQ(ChoosePanels(log, {{"4x1", "4x9"}, {}, "1"}, picture),
              "--tag 4x9: the log has no tag at that address; it has 4x1, 3x1");
}

}  // namespace
