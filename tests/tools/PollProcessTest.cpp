#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>

#include "ToolProcess.h"

namespace {

struct BadRun {
    std::vector<std::string> args;
    const char* firstLine;
};

TEST(PollProcess, BadArgumentsExitWithTwoAndOneLineThenTheHint) {
    const BadRun cases[] = {
        {{"--port", "3", "4x100:word"}, "korvel-poll: unknown type 'word' for tag '4x100'"},
        {{"--port", "3", "4x65535:uint16"}, "korvel-poll: tag address '4x65535' is out of range"},
        {{"--port", "COM99", "4x1:uint16"}, "korvel-poll: --port 'COM99' is not a serial port"},
        {{"4x1:uint16", "--baud"}, "korvel-poll: --baud needs a value"},
        {{"--port", "3", "--set", "retries=9", "4x1:uint16"}, "korvel-poll: --set: retries = 9 is outside 0..5"},
        {{"--port", "3", "--write", "4x1:uint16=-1"}, "korvel-poll: value '-1' does not fit uint16"},
        {{"--port", "3", "--write", "4x20:int16=40000"}, "korvel-poll: value '40000' does not fit int16 (-32768..3"},
        {{}, "korvel-poll: nothing to do"},
    };
    for (const BadRun& c : cases) {
        ToolRun run = RunPoll(c.args);
        EXPECT_EQ(run.exitCode, 2u) << c.firstLine;
        std::vector<std::string> lines = Lines(run.err);
        ASSERT_EQ(lines.size(), 2u) << run.err;
        EXPECT_EQ(lines[0].rfind(c.firstLine, 0), 0u) << lines[0];
        EXPECT_EQ(lines[1], "see korvel-poll --help");
        EXPECT_EQ(run.out, "") << c.firstLine;
    }
}

struct RefusedRun {
    std::vector<std::string> args;
    std::string reason;
};

// Arguments that are right in themselves but cannot be carried out here: one
// line saying why, no usage hint, exit 2, and nothing opened.
TEST(PollProcess, WhatCannotBeDoneHereIsRefusedInOneLine) {
    const std::string empty = TemporaryFile("klg");
    const std::string missing = empty + ".none";
    const std::string log = TemporaryFile("klg", "2026-12-07T23:40:59.580Z,1,4x1,uint16,5,OK\n");
    const std::string svg = log + ".svg";
    const std::string network = TemporaryFile("kcf", "[COM5]\ntransport = rtu-over-tcp\nendpoint = 10.0.0.5:4001\n");
    const RefusedRun cases[] = {
        {{"--port", "5", "--monitor", "--config", network},
         "korvel-poll: COM5 is a network line in " + network + "; a TCP connection cannot be listened to passively"},
        {{"--port", "COM64", "--watch", "4x1:uint16"},
         "korvel-poll: --watch draws on a terminal, and standard output is not one; --output FILE logs without it"},
        {{"--plot", missing, "--output", svg}, "korvel-poll: cannot open the log '" + missing + "'"},
        {{"--plot", empty, "--output", svg},
         "korvel-poll: " + empty + " holds no records of korvel-poll's log (time,station,address,type,value,status)"},
        {{"--plot", log, "--output", svg, "--tag", "4x2"},
         "korvel-poll: --tag 4x2: the log has no tag at that address; it has 4x1"},
    };
    for (const RefusedRun& c : cases) {
        ToolRun run = RunPoll(c.args);
        EXPECT_EQ(run.exitCode, 2u) << c.reason;
        EXPECT_EQ(Lines(run.err), std::vector<std::string>{c.reason}) << run.err;
        EXPECT_EQ(run.out, "") << c.reason;
    }
    EXPECT_EQ(GetFileAttributesA(svg.c_str()), INVALID_FILE_ATTRIBUTES) << "a refused plot wrote " << svg;
    DeleteFileA(empty.c_str());
    DeleteFileA(log.c_str());
    DeleteFileA(network.c_str());
}

// The picture is written whole, the tags named from a tag list; what was
// written is said in one line.
TEST(PollProcess, APlotWritesOneSvgOfTheLog) {
    const std::string log = TemporaryFile("klg",
                                          "time,station,address,type,value,status\n"
                                          "2026-12-07T23:40:59.580Z,1,4x1,uint16,5,OK\n"
                                          "2026-12-07T23:41:00.580Z,1,4x1,uint16,,x\n"
                                          "2026-12-07T23:41:01.580Z,1,4x1,uint16,7,OK\n");
    const std::string tags = TemporaryFile("ktf", "4x1,uint16,level\n");
    const std::string svg = log + ".svg";
    ToolRun run = RunPoll({"--plot", log, "--tags", tags, "--output", svg});
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, svg + ": 1 tag, 3 records, 2 KB\n");
    std::ifstream written(svg, std::ios::binary);
    const std::string picture((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    written.close();
    EXPECT_EQ(picture.rfind("<svg ", 0), 0u) << picture.substr(0, 80);
    EXPECT_NE(picture.find(">level (station 1, 4x1, uint16)</text>"), std::string::npos);
    // A picture that cannot be written is a failure of the run, not of its arguments.
    const std::string nowhere = log + ".none\\trend.svg";
    ToolRun unwritten = RunPoll({"--plot", log, "--output", nowhere});
    EXPECT_EQ(unwritten.exitCode, 1u);
    EXPECT_EQ(unwritten.err, "korvel-poll: cannot write the trend to '" + nowhere + "'\n");
    for (const std::string& file : {log, tags, svg}) DeleteFileA(file.c_str());
}

TEST(PollProcess, HelpPrintsTheUsageAndSucceeds) {
    ToolRun run = RunPoll({"--help"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out.rfind("usage: korvel-poll", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
}

TEST(PollProcess, AModuleThatCannotBeLoadedIsAFailureNotACrash) {
    ToolRun run = RunPoll({"--dll", "no-such-module.dll", "--info"});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("cannot load the driver module 'no-such-module.dll'"), std::string::npos) << run.err;
}

struct OpenRun {
    std::vector<std::string> args;
    std::vector<std::string> environment;
    std::string says;
};

// A settings file the driver refuses stops Open; --info says so beforehand.
TEST(PollProcess, AnOpenThatFailsFailsTheRunWithTheDriversTextAndTheSettingsReason) {
    const std::string bad = TemporaryFile("kcf", "[defaults]\nretries = 9\n");
    const std::string missing = bad + ".none";
    const std::string driverText = "cannot open COM64: 初始化设备错误! (device initialisation error)";
    const OpenRun runs[] = {
        {{"--port", "COM64", "4x1:uint16"}, {}, driverText},
        {{"--port", "COM64", "--scan", "--baud", "auto"}, {}, driverText},
        {{"--port", "COM64", "--config", bad, "4x1:uint16"}, {}, "\n  settings: " + bad + " line 2: retries = 9 is"},
        {{"--port", "COM64", "--config", missing, "--scan"}, {}, "\n  settings: " + missing + ": cannot be read"},
        {{"--port", "COM64", "4x1:uint16"}, {"KORVEL_SET=retries=9"}, "\n  settings: --set: retries = 9 is"},
        {{"--info", "--config", missing}, {}, "  refused, Open would fail: " + missing + ": cannot be read"},
        {{"--info", "--port", "3", "--config", bad}, {}, "  refused, Open would fail: " + bad + " line 2: retries"},
    };
    for (const OpenRun& c : runs) {
        ToolRun run = RunPoll(c.args, c.environment);
        EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << c.says << "\n" << run.out;
    }
    DeleteFileA(bad.c_str());
}

// Each layer overrides the weaker ones key by key; another station's section
// gives nothing.
TEST(PollProcess, InfoListsAStationsSettingsAndWhereEachComesFrom) {
    const std::string path = TemporaryFile("kcf",
                                           "[defaults]\nretries = 2\nword_order = ABCD\ndemote_after = 4\n"
                                           "[COM3]\nretries = 3\ndemote_after = 5\n"
                                           "[COM3:17]\nretries = 4\nmax_block_registers = 60\n"
                                           "[COM3:18]\nmax_gap_bits = 0\n");
    ToolRun run = RunPoll({"--info", "--port", "COM3", "--station", "17", "--config", path, "--set", "demote_after=7"});
    DeleteFileA(path.c_str());
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    for (const std::string& line : {"settings file: " + path, std::string("settings of COM3 station 17:"),
                                    std::string("  word_order            ABCD      [defaults]"),
                                    std::string("  retries               4         [COM3:17]"),
                                    std::string("  demote_after          7         --set"),
                                    std::string("  max_block_registers   60        [COM3:17]"),
                                    std::string("  max_gap_bits          16        default"),
                                    std::string("  relearn_ms            60000     default")}) {
        EXPECT_NE(run.out.find(line + "\n"), std::string::npos) << line << "\n" << run.out;
    }
}

}  // namespace
