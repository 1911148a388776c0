#include <gtest/gtest.h>

#include "ToolProcess.h"

namespace {

struct BadRun {
    std::vector<std::string> args;
    const char* firstLine;
};

TEST(PollProcess, BadArgumentsExitWithTwoAndOneLineThenTheUsage) {
    const BadRun cases[] = {
        {{"--port", "3", "4x100:word"}, "korvel-poll: unknown type 'word' for tag '4x100'"},
        {{"--port", "3", "4x65535:uint16"}, "korvel-poll: tag address '4x65535' is out of range"},
        {{"--port", "COM99", "4x1:uint16"}, "korvel-poll: --port 'COM99' is not a serial port"},
        {{"4x1:uint16", "--baud"}, "korvel-poll: --baud needs a value"},
        {{"--port", "3", "--write", "4x1:uint16=-1"}, "korvel-poll: value '-1' does not fit uint16"},
        {{"--port", "3", "--write", "4x20:int16=40000"}, "korvel-poll: value '40000' does not fit int16 (-32768..3"},
        {{}, "korvel-poll: nothing to do"},
    };
    for (const BadRun& c : cases) {
        ToolRun run = RunPoll(c.args);
        EXPECT_EQ(run.exitCode, 2u) << c.firstLine;
        std::vector<std::string> lines = Lines(run.err);
        ASSERT_GE(lines.size(), 3u) << run.err;
        EXPECT_EQ(lines[0].rfind(c.firstLine, 0), 0u) << lines[0];
        EXPECT_EQ(lines[1], "");
        EXPECT_EQ(lines[2].rfind("usage: korvel-poll", 0), 0u) << lines[2];
        EXPECT_EQ(run.out, "") << c.firstLine;
    }
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

TEST(PollProcess, APortThatCannotBeOpenedFailsTheRunWithTheDriversText) {
    const std::vector<std::string> runs[] = {{"--port", "COM64", "4x1:uint16"},
                                             {"--port", "COM64", "--scan", "--baud", "auto"}};
    for (const std::vector<std::string>& args : runs) {
        ToolRun run = RunPoll(args);
        EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
        EXPECT_NE(run.out.find("cannot open COM64: 初始化设备错误! (device initialisation error)"), std::string::npos)
            << run.out;
    }
}

}  // namespace
