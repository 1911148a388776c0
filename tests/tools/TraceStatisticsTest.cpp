// The frame trace read back and counted per station: frame lines as the
// driver formats them, event lines in the form the driver writes them, and
// lines of forms the tool does not know.
#include <gtest/gtest.h>

#include <sstream>

#include "driver/FrameTrace.h"
#include "korvel-poll/trace/LineStatistics.h"
#include "korvel-poll/trace/TraceRecord.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kRead17 = {0x11, 0x03, 0x00, 0x6B, 0x00, 0x01, 0xF7, 0x46};
const Bytes kReply17 = {0x11, 0x03, 0x02, 0x01, 0x02, 0xF9, 0xD6};
const Bytes kWrite2 = {0x02, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2C, 0xEA};

std::string Frame(uint64_t ms, const char* label, const Bytes& bytes) {
    return FormatTraceLine(ms, label, bytes.data(), static_cast<int32_t>(bytes.size()));
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

TEST(TraceRecord, EventLinesGiveTheirStationAndDetails) {
    const struct {
        const char* line;
        TraceKind kind;
        int station;
        int function;
        uint64_t number;
        const char* text;
        const char* file;
    } cases[] = {
        {"98 Lost: COM3, error 22", TraceKind::kLost, 0, 0, 22, "COM3", ""},
        {"99 Reopened: COM12 after 4.2 s", TraceKind::kReopened, 0, 0, 4200, "COM12", ""},
        {"99 Echo: COM3 echoes its requests", TraceKind::kEcho, 0, 0, 0, "COM3", ""},
        {"99 Foreign: COM3, 4 frames nobody asked for; another master may share the line", TraceKind::kForeign, 0, 0,
         4, "COM3", ""},
        {"100 Retry: station 17 function 3, broken reply", TraceKind::kRetry, 17, 3, 0, "broken reply", ""},
        {"101 Retry: station 17 function 16, no reply", TraceKind::kRetry, 17, 16, 0, "no reply", ""},
        {"102 Late: station 17 function 3, 11 bytes discarded", TraceKind::kLate, 17, 3, 0, "11 bytes discarded", ""},
        {"102 Demote: station 17 for 10000 ms", TraceKind::kDemote, 17, 0, 10000, "", ""},
        {"103 Probe: station 17", TraceKind::kProbe, 17, 0, 0, "", ""},
        {"104 Restore: station 17\r", TraceKind::kRestore, 17, 0, 0, "", ""},
        {"105 Split: station 17 4x100..4x140 in two", TraceKind::kSplit, 17, 0, 0, "4x100..4x140 in two", ""},
        {"106 Split: station 17", TraceKind::kSplit, 17, 0, 0, "", ""},
        {"107 Settings: C:\\Plant line 2\\Korvel.ini line 12: unknown key 'wordorder'", TraceKind::kSettings, 0, 0,
         12, "unknown key 'wordorder'", "C:\\Plant line 2\\Korvel.ini"},
        {"108 Settings: C:\\Plant line 2\\x.ini: cannot be read", TraceKind::kSettings, 0, 0, 0,
         "C:\\Plant line 2\\x.ini: cannot be read", ""},
    };
    for (const auto& c : cases) {
        TraceRecord record = ParseTraceLine(c.line);
        EXPECT_EQ(record.kind, c.kind) << c.line;
        EXPECT_EQ(record.station, c.station) << c.line;
        EXPECT_EQ(record.function, c.function) << c.line;
        EXPECT_EQ(record.number, c.number) << c.line;
        EXPECT_EQ(record.text, c.text) << c.line;
        EXPECT_EQ(record.file, c.file) << c.line;
    }
}

TEST(TraceRecord, LinesOfOtherFormsAreUnknownNotErrors) {
    for (const char* line :
         {"", "garbage", "12", "12 Restart: station 1", "x Read Send: 01", "5 Read Send: 0", "5 Read Send:01",
          "5 Read Send: 0G", "5 Demote: station 17 for ever", "5 Demote: station 17 for 10000 ms now",
          "5 Retry: station 17 function 3, ", "5 Probe: station", "5 Probe: station 17 again",
          "5 Restore: station 99999999999999999999", "5 Split: station 17x", "5 Settings:", "5 Settings: ",
          "5 Lost: COM3", "5 Lost: , error 22", "5 Lost: COM3, error 22 again", "5 Reopened: COM3 after 4 s",
          "5 Reopened: COM3 after 4.25 s", "5 Reopened: COM3", "5 Echo: COM3", "5 Foreign: COM3, many frames"}) {
        EXPECT_EQ(ParseTraceLine(line).kind, TraceKind::kUnknown) << line;
    }
}

TEST(LineStatistics, EachStationCountsItsRequestsAnswersAndEvents) {
    const std::vector<std::string> lines = {
        Frame(900, "Read Receive", kReply17),  // an answer to nothing this run sent
        Frame(1000, "Read Send", kRead17),
        Frame(1020, "Read Receive", kReply17),
        Frame(1100, "Read Send", kRead17),
        Frame(1130, "Read Receive", {0x11, 0x83, 0x02, 0xC1, 0x34}),
        "1150 Retry: station 17 function 3, no reply",
        "1160 Late: station 17 function 3, 11 bytes discarded",
        Frame(1200, "Read Send", kRead17),
        Frame(1300, "Read Receive", {}),
        Frame(1400, "Read Send", kRead17),
        Frame(1425, "Read Receive", {0x11, 0x03, 0x02, 0x01, 0x02, 0xF9, 0xD7}),
        "1450 Retry: station 17 function 3, broken reply",
        Frame(1500, "Read Send", kRead17),
        Frame(1510, "Read Receive", {0x11, 0x03, 0x04, 0x01, 0x02, 0x03, 0x04, 0x4A, 0xFD}),
        "1550 Demote: station 17 for 10000 ms",
        "1560 Probe: station 17",
        "1570 Restore: station 17",
        "1580 Split: station 17 something new",
        Frame(1600, "Read Send", kRead17),
        "1610 Something new: station 17",
        Frame(1640, "Read Receive", {0xFF, 0x11, 0x03, 0x02, 0x01, 0x02, 0xF9, 0xD6}),
        Frame(2000, "Write Send", {0x02, 0x06, 0x00, 0x01, 0x00, 0x07, 0x99, 0xFB}),
        Frame(2015, "Write Receive", {0x02, 0x06, 0x00, 0x01, 0x00, 0x07, 0x99, 0xFB}),
        Frame(2100, "Write Send", kWrite2),
        Frame(2110, "Write Receive", {0x02, 0x10, 0x00, 0x00, 0x00, 0x01, 0x01, 0xFA}),
        "2200 Settings: Korvel.ini line 3: word_order must be ABCD, CDAB, BADC or DCBA",
        "2300 Lost: COM3, error 22",
        "2400 Reopened: COM3 after 0.1 s",
        "2500 Lost: COM3, error 109",
        "2600 Echo: COM3 echoes its requests",
        "2700 Foreign: COM4, 1 frame nobody asked for; another master may share the line",
        "62700 Foreign: COM4, 3 frames nobody asked for; another master may share the line",
    };
    LineStatistics statistics;
    for (const std::string& line : lines) statistics.Add(ParseTraceLine(line));

    ASSERT_EQ(statistics.Stations().size(), 2u);
    const StationFigures& busy = statistics.Stations().at(17);
    EXPECT_EQ(busy.requests, 6u);
    EXPECT_EQ(busy.replies, 2u);
    EXPECT_EQ(busy.noReplies, 1u);
    EXPECT_EQ(busy.broken, 2u);
    EXPECT_EQ(busy.exceptions, (std::map<uint8_t, uint32_t>{{2, 1}}));
    EXPECT_EQ(busy.retries, 2u);
    EXPECT_EQ(busy.demotions, 1u);
    EXPECT_EQ(busy.lateReplies, 1u);
    EXPECT_EQ(busy.responseMs, (std::vector<uint64_t>{20, 30, 40}));
    const StationFigures& writes = statistics.Stations().at(2);
    EXPECT_EQ(writes.requests, 2u);
    EXPECT_EQ(writes.replies, 1u);
    EXPECT_EQ(writes.broken, 1u);

    std::istringstream report(statistics.Report());
    std::vector<std::string> rows;
    for (std::string row; std::getline(report, row);) rows.push_back(row);
    ASSERT_EQ(rows.size(), 7u) << statistics.Report();
    EXPECT_EQ(Words(rows[0]), (std::vector<std::string>{"station", "requests", "replies", "no-reply", "broken",
                                                          "exceptions", "retries", "demoted", "late", "median-ms",
                                                          "p95-ms"}));
    EXPECT_EQ(Words(rows[1]), (std::vector<std::string>{"2", "2", "1", "0", "1", "-", "0", "0", "0", "15", "15"}));
    EXPECT_EQ(Words(rows[2]), (std::vector<std::string>{"17", "6", "2", "1", "2", "02:1", "2", "1", "1", "30", "40"}));
    EXPECT_EQ(rows[3], "port COM3: lost 2, reopened 1");
    EXPECT_EQ(rows[4], "port COM3: echoes its requests");
    EXPECT_EQ(rows[5], "port COM4: 4 foreign frames, another master may share the line");
    EXPECT_EQ(rows[6], "settings: Korvel.ini line 3: word_order must be ABCD, CDAB, BADC or DCBA");
}

TEST(LineStatistics, PercentilesTakeTheNearestRank) {
    EXPECT_EQ(Percentile({}, 0.5), 0u);
    EXPECT_EQ(Percentile({7}, 0.95), 7u);
    EXPECT_EQ(Percentile({50, 10, 40, 20, 30}, 0.5), 30u);
    EXPECT_EQ(Percentile({50, 10, 40, 20, 30}, 0.95), 50u);
    std::vector<uint64_t> hundred;
    for (uint64_t ms = 1; ms <= 100; ++ms) hundred.push_back(ms);
    EXPECT_EQ(Percentile(hundred, 0.95), 95u);
    // A listened line's times past what is kept: a sample of the whole run,
    // not its start nor its end.
    TimeSamples rising;
    for (uint64_t us = 1; us <= 1000000; ++us) rising.Add(us);
    EXPECT_EQ(rising.Kept(), TimeSamples::kKept);
    EXPECT_NEAR(static_cast<double>(rising.At(0.5)), 500000, 30000);
    EXPECT_NEAR(static_cast<double>(rising.At(0.95)), 950000, 30000);
}

}  // namespace
