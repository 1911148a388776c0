#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "korvel-poll/poll/PollOptions.h"

namespace {

std::string Problem(const std::vector<std::string>& args) {
    PollOptions options;
    return ParsePollArguments(args, options);
}

PollOptions Parsed(const std::vector<std::string>& args) {
    PollOptions options;
    EXPECT_EQ(ParsePollArguments(args, options), "");
    return options;
}

struct BadArguments {
    std::vector<std::string> args;
    const char* saysWhat;
};

TEST(PollArguments, EveryKindOfBadArgumentIsOneClearLine) {
    const BadArguments cases[] = {
        {{}, "nothing to do"},
        {{"4x100:uint16"}, "--port is needed"},
        {{"--port", "3", "4x100:dword"}, "unknown type 'dword'"},
        {{"--port", "3", "4x100:64"}, "unknown type '64'"},
        {{"--port", "3", "4x100"}, "needs a type"},
        {{"--port", "3", "4x0:uint16"}, "out of range"},
        {{"--port", "3", "4x65535:uint16"}, "out of range"},
        {{"--port", "3", "2x100:uint16"}, "must start with 0x, 1x, 3x or 4x"},
        {{"--port", "3", "4x:uint16"}, "needs an item number"},
        {{"--port", "3", "4x12a:uint16"}, "needs an item number"},
        {{"--port", "3", "4x100,33:uint16"}, "1..32"},
        {{"--port", "3", "0x100,129:bit"}, "1..128"},
        {{"--port", "3", "4x100,0:uint16"}, "1..32"},
        {{"--port", "3", "0x1:float"}, "does not fit area 0x"},
        {{"--port", "3", "3x1:bit"}, "does not fit area 3x"},
        {{"--port", "COM0", "4x1:uint16"}, "--port 'COM0'"},
        {{"--port", "65", "4x1:uint16"}, "COM1..COM64"},
        {{"--port", "ttyS0", "4x1:uint16"}, "is not a serial port"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "3", "--baud", "9601", "4x1:uint16"}, "--baud '9601' is not supported"},
        {{"--port", "3", "--parity", "strange", "4x1:uint16"}, "--parity 'strange'"},
        {{"--port", "3", "--data-bits", "9", "4x1:uint16"}, "7 or 8"},
        {{"--port", "3", "--stop-bits", "1.5", "4x1:uint16"}, "1 or 2"},
        {{"--port", "3", "--rts", "3", "4x1:uint16"}, "--rts '3'"},
        {{"--port", "3", "--timeout", "0", "4x1:uint16"}, "--timeout '0'"},
        {{"--port", "3", "--timeout", "-5", "4x1:uint16"}, "--timeout '-5'"},
        {{"--port", "3", "--station", "0", "4x1:uint16"}, "station '0'"},
        {{"--port", "3", "--station", "255", "4x1:uint16"}, "1..254"},
        {{"--port", "3", "--station", "+5", "4x1:uint16"}, "station '+5'"},
        {{"--port", "3", "--cycles", "many", "4x1:uint16"}, "--cycles 'many'"},
        {{"--port", "3", "--interval", "-1", "4x1:uint16"}, "--interval '-1'"},
        {{"--port", "3", "--write", "4x1:uint16"}, "needs a value"},
        {{"--port", "3", "--write", "4x1:uint16=70000"}, "does not fit uint16 (0..65535)"},
        {{"--port", "3", "--write", "4x1:int16=-32769"}, "does not fit int16"},
        {{"--port", "3", "--write", "4x1:bcd=10000"}, "does not fit bcd (0..9999)"},
        {{"--port", "3", "--write", "4x1:uint32=4294967296"}, "does not fit uint32"},
        {{"--port", "3", "--write", "4x1:float=warm"}, "is not a float"},
        {{"--port", "3", "--write", "0x1:bit=2"}, "does not fit bit (0, 1, on or off)"},
        {{"--port", "3", "--write", "4x20:int16=40000"}, "does not fit int16 (-32768..32767)"},
        {{"--port", "3", "--write", "4x20:bcd=-1234"}, "does not fit bcd (0..9999)"},
        {{"--port", "3", "--write", "4x1:float=1e39"}, "not a float within -3.402823e+38..3.402823e+38"},
        {{"--port", "3", "--write", "3x1:uint16=5"}, "read-only"},
        {{"--port", "3", "--write", "1x1:bit=1"}, "read-only"},
        {{"--port", "3", "--tags", "no-such-file.csv"}, "cannot open the tag file"},
        {{"--port", "3", "--verbose", "4x1:uint16"}, "unknown option '--verbose'"},
        {{"--port", "3", "-v", "4x1:uint16"}, "unknown option '-v'"},
        {{"--info=yes"}, "--info takes no value"},
        {{"--info", "--set", "retries=6"}, "--set: retries = 6 is outside 0..5"},
        {{"--info", "--set", "retries=1", "--set", "Retries=2"}, "--set: retries is set twice"},
        {{"--info", "--set", "retries=1;word_order=BACD"}, "--set: word_order"},
        {{"--info", "--set", "retries"}, "--set: expected key = value"},
        {{"--scan"}, "--port is needed to scan"},
        {{"--port", "3", "--scan", "4x1:uint16"}, "give no tags"},
        {{"--port", "3", "--scan", "--output", "scan.csv"}, "--format and --output are for tags"},
        {{"--port", "3", "--scan", "--stations", "0-5"}, "--stations '0-5'"},
        {{"--port", "3", "--scan", "--stations", "9-5"}, "FIRST-LAST within 1..254"},
        {{"--port", "3", "--scan", "--stations", "1-2-3"}, "--stations '1-2-3'"},
        {{"--port", "3", "--stations", "1-5", "4x1:uint16"}, "--stations goes with --scan"},
        {{"--port", "3", "--baud", "auto", "4x1:uint16"}, "--baud auto goes with --scan"},
        {{"--port", "modbus-tcp://127.0.0.1:502", "--baud", "auto", "--scan"}, "a network line has no rate"},
        {{"--port", "3", "--format", "xml", "4x1:uint16"}, "--format 'xml' is unknown"},
        {{"--port", "3", "--format", "table", "--output", "x.csv", "4x1:uint16"}, "--output writes csv or jsonl"},
        {{"--port", "3", "--watch"}, "--watch shows tags"},
        {{"--port", "3", "--watch", "--trace", "4x1:uint16"}, "--watch draws over the screen the trace would scroll"},
        {{"--port", "3", "--watch", "--format", "csv", "4x1:uint16"}, "--format goes with --output FILE"},
        {{"--watch", "4x1:uint16"}, "--port is needed"},
        {{"--plot", "log.csv"}, "--plot needs --output FILE.svg"},
        {{"--plot", "log.csv", "--output", "t.svg", "--port", "3"}, "--plot draws a log and opens no line"},
        {{"--plot", "log.csv", "--output", "t.svg", "--format", "jsonl"}, "--format is for polling"},
        {{"--port", "3", "--tag", "4x1", "4x1:uint16"}, "--tag chooses the tags --plot draws"},
        {{"--plot", "log.csv", "--output", "t.svg", "--tag", " "}, "--tag needs the address of a tag in the log"},
        {{"--port", "rtu-over-tcp://10.0.0.5:4001", "--monitor"}, "a TCP connection cannot be listened to passively"},
        {{"--port", "3", "--monitor", "--write", "4x1:uint16=5"}, "--monitor never sends a byte"},
        {{"--monitor"}, "--port is needed to listen"},
        {{"--port", "3", "--monitor", "4x1:uint16"}, "give no tags"},
        {{"--port", "3", "--capture", "x.pcap", "4x1:uint16"}, "--capture and --seconds go with --monitor"},
        {{"--port", "3", "--monitor", "--seconds", "soon"}, "--seconds 'soon'"},
        {{"--port", "3", "--monitor", "--watch", "--format", "csv"}, "--format goes with --output FILE"},
    };
    for (const BadArguments& c : cases) {
        std::string problem = Problem(c.args);
        std::string joined;
        for (const std::string& arg : c.args) joined += arg + " ";
        EXPECT_NE(problem.find(c.saysWhat), std::string::npos) << "args: " << joined << "\nproblem: " << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
    }
}

TEST(PollArguments, LineSettingsAndRunShapeAreTaken) {
    PollOptions o = Parsed({"--port=COM12", "--baud", "19200", "--parity", "Even", "--data-bits", "7", "--stop-bits",
                            "2", "--rts", "1", "--timeout", "250", "--station", "17", "--cycles", "0", "--interval",
                            "50", "--trace", "--info", "--dll", "C:\\x\\Korvel.dll", "--registered", "--config",
                            "C:\\plant\\Korvel.ini", "--set", "retries=2", "--set=word_order = ABCD; demote_after=0",
                            "4x100:uint16"});
    EXPECT_EQ(o.line.port, 12);
    EXPECT_EQ(o.line.baud, 19200u);
    EXPECT_EQ(o.line.parity, "even");
    EXPECT_EQ(o.line.dataBits, 7);
    EXPECT_EQ(o.line.stopBits, 2);
    EXPECT_EQ(o.line.rts, 1);
    EXPECT_EQ(o.line.timeoutMs, 250u);
    EXPECT_EQ(o.station, "17");
    EXPECT_EQ(o.cycles, 0u);
    EXPECT_EQ(o.intervalMs, 50u);
    EXPECT_TRUE(o.trace);
    EXPECT_TRUE(o.info);
    EXPECT_TRUE(o.registered);
    EXPECT_EQ(o.dllPath, "C:\\x\\Korvel.dll");
    EXPECT_EQ(o.configPath, "C:\\plant\\Korvel.ini");
    EXPECT_EQ(SettingOverrideList(o), "retries=2;word_order = ABCD; demote_after=0");
    PollOptions network = Parsed({"--port", "rtu-over-tcp://127.0.0.1:4001", "--set", "retries=2", "--scan"});
    EXPECT_EQ(SettingOverrideList(network), "transport=rtu-over-tcp;endpoint=127.0.0.1:4001;retries=2");
}

TEST(PollArguments, TagsTakeNamesOrCodesAndKeepTheirOrder) {
    PollOptions o = Parsed({"--port", "com3", "0x1:bit", "1x2:1", "3x3:int16", "4x4,8:8", "4X5:BCD", "4x6:uint32",
                            "4x00007:128"});
    const int16_t types[] = {kTypeBit, kTypeBit, kTypeInt16, kTypeUInt16, kTypeBcd, kTypeUInt32, kTypeFloat};
    const char* addresses[] = {"0x1", "1x2", "3x3", "4x4,8", "4X5", "4x6", "4x00007"};
    ASSERT_EQ(o.tags.size(), 7u);
    for (size_t i = 0; i < o.tags.size(); ++i) {
        EXPECT_EQ(o.tags[i].dataType, types[i]) << i;
        EXPECT_EQ(o.tags[i].address, addresses[i]) << i;
        EXPECT_EQ(o.tags[i].name, addresses[i]) << i;
        EXPECT_EQ(o.tags[i].station, "") << i;
    }
    EXPECT_EQ(o.line.port, 3);
}

TEST(PollArguments, WritesCarryTheValueInTheFieldOfTheirType) {
    PollOptions o = Parsed({"--port", "1", "--write", "0x1:bit=on", "--write", "4x2:int16=-2", "--write",
                            "4x3:uint16=0xFFFF", "--write", "4x4:bcd=1234", "--write", "4x5:uint32=4294967295",
                            "--write", "4x7:float=21.5"});
    ASSERT_EQ(o.writes.size(), 6u);
    EXPECT_EQ(o.writes[0].value.bitValue, 1u);
    EXPECT_EQ(o.writes[1].value.intValue, -2);
    EXPECT_EQ(o.writes[2].value.wordValue, 0xFFFF);
    EXPECT_EQ(o.writes[3].value.bcdValue, 1234);
    EXPECT_EQ(o.writes[4].value.dwordValue, 4294967295u);
    EXPECT_EQ(o.writes[5].value.floatValue, 21.5f);
    EXPECT_EQ(o.writes[5].valueText, "21.5");
    EXPECT_TRUE(o.tags.empty());
}

TEST(PollArguments, AScanAsksQuicklyAndOutputDefaultsToCsv) {
    PollOptions scan = Parsed({"--port", "3", "--scan", "--baud", "auto"});
    EXPECT_TRUE(scan.scan);
    EXPECT_TRUE(scan.autoLine);
    EXPECT_EQ(scan.line.timeoutMs, 100u);
    ASSERT_TRUE(scan.stations.has_value());
    EXPECT_EQ(scan.stations->first, 1);
    EXPECT_EQ(scan.stations->last, 247);
    PollOptions some = Parsed({"--port", "3", "--scan", "--timeout", "40", "--stations", "17"});
    EXPECT_EQ(some.line.timeoutMs, 40u);
    EXPECT_EQ(some.stations->first, 17);
    EXPECT_EQ(some.stations->last, 17);

    PollOptions logged = Parsed({"--port", "3", "--output", "plant.csv", "--stats", "4x1:uint16"});
    EXPECT_EQ(logged.format, OutputFormat::kCsv);
    EXPECT_EQ(logged.line.timeoutMs, 1000u);
    EXPECT_TRUE(logged.stats);
    EXPECT_EQ(Parsed({"--port", "3", "--output", "x", "--format", "jsonl", "4x1:uint16"}).format, OutputFormat::kJsonl);
    EXPECT_FALSE(Parsed({"--port", "3", "4x1:uint16"}).format.has_value());
}

TEST(PollArguments, AWatchRunsUntilQuitUnlessToldAndEndsWithTheStations) {
    PollOptions watch = Parsed({"--port", "3", "--watch", "--output", "log.jsonl", "--format", "jsonl", "4x1:uint16"});
    EXPECT_TRUE(watch.watch);
    EXPECT_EQ(watch.cycles, 0u);
    EXPECT_TRUE(watch.stats);
    EXPECT_EQ(watch.format, OutputFormat::kJsonl);
    EXPECT_EQ(Parsed({"--port", "3", "--watch", "--cycles", "5", "4x1:uint16"}).cycles, 5u);
}

TEST(PollArguments, APlotNeedsNoPortAndTakesTagsForNames) {
    PollOptions plot = Parsed({"--plot", "log.csv", "--output", "t.svg", "--tag", "4x1", "--tag", "\"4x10,4\"",
                               "3x1:float"});
    EXPECT_EQ(plot.plotPath, "log.csv");
    EXPECT_EQ(plot.outputPath, "t.svg");
    EXPECT_EQ(plot.plotAddresses, (std::vector<std::string>{"4x1", "\"4x10,4\""}));
    ASSERT_EQ(plot.tags.size(), 1u);
    EXPECT_FALSE(plot.format.has_value());
}

TEST(PollArguments, HelpAndInfoNeedNoPort) {
    EXPECT_TRUE(Parsed({"--help"}).help);
    EXPECT_TRUE(Parsed({"-h"}).help);
    EXPECT_TRUE(Parsed({"--info"}).info);
    PollOptions defaults = Parsed({"--info"});
    EXPECT_EQ(defaults.line.baud, 9600u);
    EXPECT_EQ(defaults.line.parity, "none");
    EXPECT_EQ(defaults.line.dataBits, 8);
    EXPECT_EQ(defaults.line.stopBits, 1);
    EXPECT_EQ(defaults.station, "1");
    EXPECT_EQ(defaults.cycles, 1u);
}

}  // namespace
