// korvel-poll against a Modbus RTU slave behind a paced line, run as a
// separate process exactly as a person runs it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "PollOutput.h"
#include "ToolProcess.h"
#include "support/LineFixture.h"

namespace {

const char kReadError[] = "读设备错误! (error reading the device)";

std::vector<std::string> LineArgs(const LineFixture& line, std::vector<std::string> more) {
    std::vector<std::string> args = {"--port", std::to_string(line.PortIndex() + 1), "--timeout", "300"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The two registers of a 32-bit value, low word in the first, as the
// driver reads and writes them.
void SetHolding32(LineFixture& line, int station, uint16_t address, uint32_t value) {
    line.SetHoldingRegister(station, address, static_cast<uint16_t>(value & 0xFFFF));
    line.SetHoldingRegister(station, address + 1, static_cast<uint16_t>(value >> 16));
}

uint32_t FloatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "2024-05-17T08:30:01.250Z,1,4x10,...": the time's shape, then the rest.
std::string AfterTime(const std::string& record, size_t timeStart = 0) {
    std::string time = record.substr(timeStart, 24);
    EXPECT_TRUE(time.size() == 24 && time[10] == 'T' && time[19] == '.' && time[23] == 'Z') << record;
    return record.substr(timeStart + 24);
}

void ExpectRow(const std::string& output, const std::string& name, const std::string& value,
               const std::string& status = "OK") {
    std::vector<PollRow> rows = RowsNamed(output, name);
    ASSERT_EQ(rows.size(), 1u) << name << "\n" << output;
    EXPECT_EQ(rows[0].value, value) << name;
    EXPECT_EQ(rows[0].status, status) << name;
}

TEST(PollOnLine, ReadsEveryTypeFromTheDeviceInTheFirstCycle) {
    LineFixture line;
    line.SetCoil(1, 4, true);
    line.SetDiscreteInput(1, 2, true);
    line.SetInputRegister(1, 9, 0xFFFE);
    line.SetHoldingRegister(1, 99, 1234);
    line.SetHoldingRegister(1, 100, 0x1234);
    SetHolding32(line, 1, 0, FloatBits(21.5f));
    SetHolding32(line, 1, 10, 0x12345678);
    SetHolding32(line, 1, 20, 4000000000u);

    ToolRun run = RunPoll(LineArgs(line, {"0x5:bit", "1x3:1", "3x10:int16", "4x100:uint16", "4x101:bcd",
                                          "4x1:float", "4x11:uint32", "4x21:32", "4x100:int16"}));
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    ExpectRow(run.out, "0x5", "1");
    ExpectRow(run.out, "1x3", "1");
    ExpectRow(run.out, "3x10", "-2");
    ExpectRow(run.out, "4x101", "1234");
    ExpectRow(run.out, "4x1", "21.5");
    ExpectRow(run.out, "4x11", "305419896");
    ExpectRow(run.out, "4x21", "4000000000");
    std::vector<PollRow> sameRegister = RowsNamed(run.out, "4x100");
    ASSERT_EQ(sameRegister.size(), 2u) << run.out;
    EXPECT_EQ(sameRegister[0].value, "1234");
    EXPECT_EQ(sameRegister[1].value, "1234");
    EXPECT_NE(run.out.find("cycle 1: 9 of 9 tags read, 0 failed"), std::string::npos) << run.out;
}

TEST(PollOnLine, WritesAreConfirmedAndReadBackUnchanged) {
    LineFixture line;
    ToolRun run = RunPoll(LineArgs(line, {"--write", "4x50:uint16=250", "--write", "4x60:float=-3.5", "--write",
                                          "4x70:uint32=305419896", "--write", "0x9:bit=1", "--write",
                                          "4x80:bcd=1234", "4x50:uint16", "4x60:float", "4x70:uint32", "0x9:bit",
                                          "4x80:bcd", "4x80:uint16"}));
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    for (const char* write : {"4x50:uint16 = 250  OK", "4x60:float = -3.5  OK", "4x70:uint32 = 305419896  OK",
                              "0x9:bit = 1  OK", "4x80:bcd = 1234  OK"}) {
        EXPECT_NE(run.out.find(std::string("write station 1 ") + write), std::string::npos) << write << "\n" << run.out;
    }
    ExpectRow(run.out, "4x50", "250");
    ExpectRow(run.out, "4x60", "-3.5");
    ExpectRow(run.out, "4x70", "305419896");
    ExpectRow(run.out, "0x9", "1");
    std::vector<PollRow> bcd = RowsNamed(run.out, "4x80");
    ASSERT_EQ(bcd.size(), 2u) << run.out;
    EXPECT_EQ(bcd[0].value, "1234");
    EXPECT_EQ(bcd[1].value, "4660");

    EXPECT_EQ(line.HoldingRegister(1, 49), 250);
    EXPECT_EQ(line.HoldingRegister(1, 59), 0x0000);
    EXPECT_EQ(line.HoldingRegister(1, 60), 0xC060);
    EXPECT_EQ(line.HoldingRegister(1, 69), 0x5678);
    EXPECT_EQ(line.HoldingRegister(1, 70), 0x1234);
    EXPECT_TRUE(line.Coil(1, 8));
    EXPECT_EQ(line.HoldingRegister(1, 79), 0x1234);
}

TEST(PollOnLine, ATagFileNamesTagsAndTheirStations) {
    LineFixture line(9600, {1, 2});
    line.SetHoldingRegister(1, 9, 111);
    line.SetHoldingRegister(2, 9, 222);
    line.SetCoil(2, 0, true);
    std::string path = TemporaryFile("ktf");
    {
        std::ofstream file(path);
        file << "# boiler house\n"
             << "address, type, name, station\n"
             << "4x10, uint16, feed-pump\n"
             << "4x10, uint16, return-pump, 2\n"
             << "0x1, bit, burner, 2\n";
    }
    ToolRun run = RunPoll(LineArgs(line, {"--tags", path}));
    DeleteFileA(path.c_str());
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    ExpectRow(run.out, "feed-pump", "111");
    ExpectRow(run.out, "return-pump", "222");
    ExpectRow(run.out, "burner", "1");
    EXPECT_EQ(RowsNamed(run.out, "return-pump")[0].station, "2");
}

TEST(PollOnLine, ASilentStationShowsTheDriversErrorAndFailsTheRun) {
    LineFixture line;
    line.SetHoldingRegister(1, 0, 7);
    std::string path = TemporaryFile("kts");
    {
        std::ofstream file(path);
        file << "4x1, uint16, alive, 1\n"
             << "4x1, uint16, silent\n";
    }
    ToolRun run = RunPoll(LineArgs(line, {"--station", "9", "--cycles", "2", "--interval", "0", "--write",
                                          "4x1:uint16=9", "--tags", path}));
    DeleteFileA(path.c_str());

    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_NE(run.out.find("write station 9 4x1:uint16 = 9  写设备错误! (error writing the device)"),
              std::string::npos)
        << run.out;
    std::vector<PollRow> alive = RowsNamed(run.out, "alive");
    std::vector<PollRow> silent = RowsNamed(run.out, "silent");
    ASSERT_EQ(alive.size(), 2u) << run.out;
    ASSERT_EQ(silent.size(), 2u) << run.out;
    for (int cycle = 0; cycle < 2; ++cycle) {
        EXPECT_EQ(alive[cycle].value, "7");
        EXPECT_EQ(silent[cycle].station, "9");
        EXPECT_EQ(silent[cycle].value, "-");
        EXPECT_EQ(silent[cycle].status, kReadError);
    }
    EXPECT_NE(run.out.find("cycle 2: 1 of 2 tags read, 1 failed"), std::string::npos) << run.out;
}

TEST(PollOnLine, TheFrameTraceShowsAndKeepsEveryFrame) {
    LineFixture line(9600, {17});
    line.SetHoldingRegister(17, 107, 0x0102);
    std::string path = TemporaryFile("ktr");
    ToolRun run = RunPoll(LineArgs(line, {"--station", "17", "--trace", "4x108:uint16"}), {"KORVEL_TRACE=" + path});
    std::ifstream kept(path);
    std::string first, second;
    std::getline(kept, first);
    std::getline(kept, second);
    kept.close();
    DeleteFileA(path.c_str());

    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_NE(first.find(" Read Send: 11 03 00 6B 00 01"), std::string::npos) << first;
    EXPECT_NE(second.find(" Read Receive: 11 03 02 01 02"), std::string::npos) << second;
    EXPECT_NE(run.out.find(first), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(second), std::string::npos) << run.out;
    ExpectRow(run.out, "4x108", "258");
}

TEST(PollOnLine, AScanListsTheStationsThatAnswerWithTheirValueOrException) {
    LineFixture line(9600, {1, 2, 17});
    line.SetHoldingRegister(2, 0, 1234);
    line.SetHoldingRegister(17, 0, 42);
    // Station 1 is asked first; its reply becomes an exception.
    line.DropNextReply();
    line.SuffixNextReply({0x01, 0x83, 0x02, 0xC0, 0xF1});
    const std::string port = std::to_string(line.PortIndex() + 1);
    ToolRun run = RunPoll({"--port", port, "--scan", "--stations", "1-18"});
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                  "scan: COM" + port + " 9600 8N1, stations 1-18, response timeout 100 ms",
                                  "station 1: exception 02 (illegal data address)", "station 2: 1234",
                                  "station 17: 42", "3 stations answered"}));
    std::vector<std::vector<uint8_t>> requests = line.Requests();
    ASSERT_EQ(requests.size(), 18u);
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i][0], i + 1);
        EXPECT_EQ(std::vector<uint8_t>(requests[i].begin() + 1, requests[i].end() - 2),
                  (std::vector<uint8_t>{0x03, 0x00, 0x00, 0x00, 0x01}));
    }

    // Silence, and a reply that stays broken through its retry, find no station.
    const struct {
        const char* stations;
        size_t corruptedReplies;
        std::vector<std::string> lastLines;
    } nobody[] = {
        {"3-4", 0, {"scan: COM" + port + " 9600 8N1, stations 3-4, response timeout 100 ms", "0 stations answered"}},
        {"17", 2, {"station 17: broken reply, not counted: 11 03 02 00 D5 F8 58", "0 stations answered"}},
    };
    for (const auto& c : nobody) {
        if (c.corruptedReplies > 0) {
            line.CorruptNextReply(4);
            line.RepeatNextFault(c.corruptedReplies);
        }
        ToolRun scan = RunPoll({"--port", port, "--scan", "--stations", c.stations});
        EXPECT_EQ(scan.exitCode, 1u) << scan.out << scan.err;
        const std::vector<std::string> lines = Lines(scan.out);
        ASSERT_GE(lines.size(), 2u) << scan.out;
        EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()), c.lastLines);
    }
}

TEST(PollOnLine, AScanWithAutoBaudTriesTheCommonSettingsUntilAStationAnswers) {
    LineFixture line(19200, {2});
    line.HearOnlyTheLineRate();
    line.SetHoldingRegister(2, 0, 7);
    const std::string com = "COM" + std::to_string(line.PortIndex() + 1);
    ToolRun run = RunPoll({"--port", com, "--scan", "--baud", "auto", "--stations", "1-2"});
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    std::vector<std::string> expected;
    for (const char* tried : {" 9600 8N1", " 9600 8E1", " 9600 8O1", " 19200 8N1"}) {
        expected.push_back("scan: " + com + tried + ", stations 1-2, response timeout 100 ms");
    }
    expected.insert(expected.end(),
                    {"station 2: 7", "stations answer at " + com + " 19200 8N1", "1 station answered"});
    EXPECT_EQ(Lines(run.out), expected);
    EXPECT_EQ(line.Requests().size(), 2u);
}

TEST(PollOnLine, RecordsAreAppendedToAFileWithOneHeaderOrWrittenToStandardOutput) {
    LineFixture line;
    line.SetHoldingRegister(1, 9, 250);
    std::string path = TemporaryFile("kcs");
    ToolRun first = RunPoll(
        LineArgs(line, {"--cycles", "3", "--interval", "0", "--output", path, "4x10:uint16", "4x10,2:int16"}));
    ToolRun second = RunPoll(LineArgs(line, {"--output", path, "--station", "9", "4x10:uint16"}));
    std::vector<std::string> records = FileLines(path);
    DeleteFileA(path.c_str());

    EXPECT_EQ(first.exitCode, 0u) << first.out << first.err;
    EXPECT_EQ(RowsNamed(first.out, "4x10").size(), 3u) << first.out;
    EXPECT_EQ(second.exitCode, 1u) << second.out << second.err;
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[0], "time,station,address,type,value,status");
    for (size_t cycle = 0; cycle < 3; ++cycle) {
        EXPECT_EQ(AfterTime(records[1 + 2 * cycle]), ",1,4x10,uint16,250,OK");
        EXPECT_EQ(AfterTime(records[2 + 2 * cycle]), ",1,\"4x10,2\",int16,250,OK");
    }
    EXPECT_EQ(AfterTime(records[7]), ",9,4x10,uint16,,读设备错误!");

    ToolRun json = RunPoll(LineArgs(line, {"--format", "jsonl", "4x10:int16"}));
    EXPECT_EQ(json.exitCode, 0u) << json.out << json.err;
    std::vector<std::string> objects = Lines(json.out);
    ASSERT_EQ(objects.size(), 1u) << json.out;
    EXPECT_EQ(objects[0].substr(0, 9), "{\"time\":\"");
    EXPECT_EQ(AfterTime(objects[0], 9), R"(","station":1,"address":"4x10","type":"int16","value":250,"status":"OK"})");
    EXPECT_NE(json.err.find("cycle 1: 1 of 1 tag read"), std::string::npos) << json.err;
}

TEST(PollOnLine, StatisticsCountEachStationsRequestsAndAnswers) {
    LineFixture line;
    std::string path = TemporaryFile("kst");
    {
        std::ofstream file(path);
        file << "4x1, uint16, alive, 1\n"
             << "4x1, uint16, silent, 9\n";
    }
    line.DropNextReply();
    line.SuffixNextReply({0x01, 0x83, 0x02, 0xC0, 0xF1});
    ToolRun run = RunPoll(LineArgs(line, {"--cycles", "3", "--interval", "0", "--stats", "--tags", path}));
    DeleteFileA(path.c_str());

    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    std::vector<std::string> lines = Lines(run.out);
    auto heading = std::find_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.rfind("station  requests", 0) == 0; });
    ASSERT_TRUE(heading != lines.end() && lines.end() - heading == 3) << run.out;
    std::istringstream alive(heading[1]);
    std::istringstream silent(heading[2]);
    std::string fields[11];
    for (std::string& field : fields) alive >> field;
    EXPECT_EQ(std::vector<std::string>(fields, fields + 8),
              (std::vector<std::string>{"1", "3", "2", "0", "0", "02:1", "0", "0"})) << heading[1];
    for (std::string& field : fields) silent >> field;
    EXPECT_EQ(std::vector<std::string>(fields, fields + 11),
              (std::vector<std::string>{"9", "3", "0", "3", "0", "-", "0", "1", "0", "-", "-"}))
        << "three silences demote the station: " << heading[2];
}

// A network line given as a URL: a scan finds its stations and a poll
// reads them, in either framing. Behind a gateway, the scan waits longer
// than the gateway does for a silent station.
TEST(PollOnLine, ANetworkLineIsScannedAndPolledByItsUrl) {
    const struct {
        const char* open;
        const char* scheme;
        const char* timeout;
    } lines[] = {
        {"open-tcp rtu 115200 1 7", "rtu-over-tcp://", "100"},
        {"open-tcp mbap 115200 1 7", "modbus-tcp://", "1500"},
    };
    for (const auto& l : lines) {
        SCOPED_TRACE(l.open);
        LineFixture line(l.open);
        line.SetHoldingRegister(7, 0, 17);
        const std::string url = l.scheme + line.Endpoint();
        ToolRun scan = RunPoll({"--port", url, "--scan", "--stations", "6-8", "--timeout", l.timeout});
        EXPECT_EQ(Lines(scan.out),
                  (std::vector<std::string>{"scan: " + url + ", stations 6-8, response timeout " + l.timeout + " ms",
                                            "station 7: 17", "1 station answered"}))
            << scan.err;
        ToolRun poll = RunPoll({"--port", url, "--station", "7", "--cycles", "2", "--interval", "0", "--stats",
                                "4x1:uint16"});
        EXPECT_EQ(poll.exitCode, 0u) << poll.out << poll.err;
        EXPECT_EQ(RowsNamed(poll.out, "4x1").size(), 2u) << poll.out;
    }
}

// A network line on which nothing answers yet keeps its connection for as
// long as the scan takes, past the 10 s after which a line that had answered
// drops a silent connection; an endpoint that cannot be reached ends the
// scan with the connection's error.
TEST(PollOnLine, AScanOfANetworkLineAsksEveryStationOrSaysWhyItCannot) {
    const struct {
        const char* situation;
        const char* stations;
        bool refused;
        std::vector<std::string> lastLines;
    } rows[] = {
        {"a silent stretch of 13 s before the device", "1-60", false, {"station 60: 17", "1 station answered"}},
        {"connections refused", "1-3", true, {"cannot reach rtu-over-tcp://", "0 stations answered"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        LineFixture line("open-tcp rtu 115200 60");
        line.SetHoldingRegister(60, 0, 17);
        if (row.refused) line.RefuseConnectionsFor(60000);
        const std::string url = "rtu-over-tcp://" + line.Endpoint();
        ToolRun scan = RunPoll({"--port", url, "--scan", "--stations", row.stations, "--timeout", "100"});
        std::vector<std::string> lines = Lines(scan.out);
        ASSERT_GE(lines.size(), 2u) << scan.out;
        lines.erase(lines.begin(), lines.end() - 2);
        if (row.refused) lines[0] = lines[0].substr(0, row.lastLines[0].size());
        EXPECT_EQ(lines, row.lastLines) << scan.out;
    }
}

// Default CDAB puts the low word first; the station's section says ABCD and
// --set, stronger, says CDAB again.
TEST(PollOnLine, TheSettingsFileAndSetReachTheDriver) {
    LineFixture line;
    SetHolding32(line, 1, 10, 0x12345678);
    const std::string port = std::to_string(line.PortIndex() + 1);
    const std::string path = TemporaryFile("kcf", "[COM" + port + ":1]\nword_order = ABCD\n");
    ToolRun fromFile = RunPoll(LineArgs(line, {"--config", path, "4x11:uint32"}));
    ToolRun overridden = RunPoll(LineArgs(line, {"--config", path, "--set", "word_order=CDAB", "4x11:uint32"}));
    DeleteFileA(path.c_str());
    ExpectRow(fromFile.out, "4x11", "1450709556");
    ExpectRow(overridden.out, "4x11", "305419896");
}

// Registration writes the class into the registry of the test's Wine prefix;
// the host then creates the driver by its ProgID instead of by path.
TEST(PollOnLine, TheRegisteredClassServesTheSameDriver) {
    std::string module = KORVEL_DLL;
    for (char& c : module) c = c == '/' ? '\\' : c;
    ToolRun registered = RunProgram({"regsvr32", "/s", module});
    ASSERT_EQ(registered.exitCode, 0u) << registered.err;

    LineFixture line;
    line.SetHoldingRegister(1, 4, 4321);
    ToolRun run = RunPoll(LineArgs(line, {"--registered", "--info", "4x5:uint16"}));
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_NE(run.out.find("name Toledo, 3 devices"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("3  4x  read/write  int16, uint16, bcd, uint32, float"), std::string::npos) << run.out;
    ExpectRow(run.out, "4x5", "4321");
}

}  // namespace
