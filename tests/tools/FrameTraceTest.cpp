#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "driver/FrameTrace.h"

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string TemporaryPath() {
    char folder[MAX_PATH];
    char file[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "kft", 0, file);
    DeleteFileA(file);
    return file;
}

TEST(FrameTrace, ALineHoldsTimeLabelAndBytesInHex) {
    const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x03, 0x05, 0xCB};
    EXPECT_EQ(FormatTraceLine(1234567, "Read Send", request, 8), "1234567 Read Send: 01 03 00 00 00 03 05 CB");
    EXPECT_EQ(FormatTraceLine(5, "Read Receive", request, 0), "5 Read Receive:");
    EXPECT_EQ(FormatTraceLine(5, "Write Receive", nullptr, 4), "5 Write Receive:");
    EXPECT_EQ(FormatTraceLine(5, nullptr, request, 1), "5 : 01");
}

TEST(FrameTrace, FramesAreAppendedOnlyWhileTheVariableNamesAFile) {
    const std::string path = TemporaryPath();
    const uint8_t frame[] = {0x11, 0xFF};
    SetEnvironmentVariableA("KORVEL_TRACE", nullptr);
    AppendFrameTrace("Write Send", frame, 2);
    SetEnvironmentVariableA("KORVEL_TRACE", path.c_str());
    AppendFrameTrace("Write Send", frame, 2);
    AppendFrameTrace("Write Receive", frame, 1);
    SetEnvironmentVariableA("KORVEL_TRACE", nullptr);
    AppendFrameTrace("Read Send", frame, 2);

    std::istringstream lines(Contents(path));
    std::string first, second, rest;
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, rest);
    EXPECT_NE(first.find(" Write Send: 11 FF"), std::string::npos) << first;
    EXPECT_NE(second.find(" Write Receive: 11"), std::string::npos) << second;
    EXPECT_TRUE(rest.empty() && lines.eof()) << rest;
    EXPECT_GT(std::stoull(first), 0u);
    DeleteFileA(path.c_str());
}

}  // namespace
