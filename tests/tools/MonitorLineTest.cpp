// korvel-poll --monitor listening on a second COM port of a simulated line
// while this program drives the line as its master, byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "RawPort.h"
#include "ToolProcess.h"
#include "support/FrameBytes.h"
#include "support/LineFixture.h"

namespace {

// Wine starts a program in seconds on a loaded machine; the wait ends as
// soon as the tool holds its port.
constexpr int kPatienceMs = 90000;
constexpr int kPollMs = 20;

// A master on the line's own COM port: writes a request, takes whatever
// comes back within the time-out.
class RawMaster {
public:
    RawMaster(const std::string& devicePath, DWORD baud) {
        m_port = OpenRawPort(devicePath, baud);
        COMMTIMEOUTS timeouts{50, 0, 300, 0, 0};
        SetCommTimeouts(m_port, &timeouts);
    }
    ~RawMaster() { CloseHandle(m_port); }
    bool Opened() const { return m_port != INVALID_HANDLE_VALUE; }
    std::string Ask(const std::string& request) {
        DWORD done = 0;
        WriteFile(m_port, request.data(), static_cast<DWORD>(request.size()), &done, nullptr);
        char reply[256];
        ReadFile(m_port, reply, sizeof reply, &done, nullptr);
        return std::string(reply, done);
    }

private:
    HANDLE m_port;
};

std::string ReadRequest(int station, int address, int count) {
    return WithCrc(Frame({station, 0x03, address >> 8, address & 0xFF, count >> 8, count & 0xFF}));
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// korvel-poll --monitor on the line's listening port, started on a thread
// of its own; Wait gives its run once the run is over.
class Monitor {
public:
    Monitor(LineFixture& line, uint32_t pieceMs, uint32_t baud, std::vector<std::string> more) {
        const int port = line.Listen(pieceMs);
        std::vector<std::string> args = {"--port", std::to_string(port + 1), "--baud", std::to_string(baud),
                                         "--monitor", "--timeout", "200"};
        args.insert(args.end(), more.begin(), more.end());
        m_thread = std::thread([this, args] { m_run = RunPoll(args); });
        for (int waited = 0; waited < kPatienceMs && !line.Listened(); waited += kPollMs) Sleep(kPollMs);
    }
    ToolRun Wait() {
        m_thread.join();
        return m_run;
    }

private:
    ToolRun m_run;
    std::thread m_thread;
};

// What a Linux command prints. Wine starts a Linux program without a
// handle to wait on, so the command leaves its output under /tmp, named
// only once it is whole, and the wait is for that name.
std::string UnixCommandOutput(const std::string& command) {
    const std::string name = "korvel-command-" + std::to_string(GetCurrentProcessId());
    const std::string done = "Z:\\tmp\\" + name + ".done";
    const std::string kept = "/tmp/" + name;
    RunProgram({"/bin/sh", "-c", "(" + command + ") >" + kept + " 2>&1; mv " + kept + " " + kept + ".done"});
    for (int waited = 0; waited < kPatienceMs && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kPollMs) {
        Sleep(kPollMs);
    }
    const std::string output = FileText(done);
    DeleteFileA(done.c_str());
    return output;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every kind of exchange a master and a line bring about, in the order the
// master caused them, as JSON records, the figures and a capture.
TEST(MonitorOnLine, PairsEveryExchangeAndMarksWhatAnswersNothing) {
    LineFixture line(9600, {1, 2});
    line.SetHoldingRegister(1, 0, 12);
    line.SetHoldingRegister(1, 1, 34);
    const std::string records = TemporaryFile("kmr");
    // Where the tool under Wine and tshark outside it name the same file.
    const std::string captureName = "korvel-monitor-" + std::to_string(GetCurrentProcessId()) + ".pcap";
    const std::string capture = "Z:\\tmp\\" + captureName;
    Monitor monitor(line, 0, 9600,
                    {"--seconds", "5", "--format", "jsonl", "--output", records, "--capture", capture});
    ASSERT_TRUE(line.Listened());
    RawMaster master(line.DevicePath(), 9600);
    ASSERT_TRUE(master.Opened());
    master.Ask(ReadRequest(1, 0, 2));
    line.RefuseNextRequest(1, 2);
    master.Ask(ReadRequest(1, 0, 2));
    master.Ask(ReadRequest(3, 0, 1));
    line.SendFromDevice({0x00, 0x00, 0x00});
    Sleep(100);
    line.SendFromDevice(WithCrc({0x02, 0x03, 0x02, 0x00, 0x05}));
    Sleep(100);
    line.SplitNextReply(3, 30);
    master.Ask(ReadRequest(1, 1, 1));
    master.Ask(WithCrc(Frame({0x01, 0x06, 0x00, 0x09, 0x00, 0x07})));
    const ToolRun run = monitor.Wait();
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;

    const std::vector<std::string> told = Lines(FileText(records));
    const char* expected[] = {
        R"x("station":1,"function":3,"outcome":"reply","asked":"4x1,2","answered":"12 34")x",
        R"x("outcome":"exception","asked":"4x1,2","answered":"exception 02 (illegal data address)")x",
        R"x("station":3,"function":3,"outcome":"no-reply","asked":"4x1,1","answered":"no reply")x",
        R"x("station":null,"function":null,"outcome":"noise","asked":"","answered":"00 00 00")x",
        R"x("station":2,"function":3,"outcome":"unsolicited","asked":"","answered":"02 03 02 00 05 )x",
        R"x("station":1,"function":3,"outcome":"reply","asked":"4x2,1","answered":"34")x",
        R"x("station":1,"function":6,"outcome":"reply","asked":"4x10=7","answered":"ok")x",
    };
    ASSERT_EQ(told.size(), std::size(expected)) << FileText(records) << run.out << run.err;
    for (size_t i = 0; i < told.size(); ++i) EXPECT_TRUE(Has(told[i], expected[i])) << told[i];
    EXPECT_TRUE(Has(run.out, "listening to COM")) << run.out;
    const std::vector<std::string> figures = {"1        4         4        0         0           02:1        0",
                                              "2        0         0        0         0           0           1",
                                              "3        1         0        1         0           0           0",
                                              "line: 79 bytes, 10 frames, 3 bytes of noise in 1 pieces"};
    for (const std::string& row : figures) EXPECT_TRUE(Has(run.out, row)) << row << "\n" << run.out;
    EXPECT_EQ(line.HoldingRegister(1, 9), 7);

    // Wireshark's Modbus RTU dissector, through the README's line.
    const std::string decoded = UnixCommandOutput(
        "tshark -r /tmp/" + captureName +
        " -o 'uat:user_dlts:\"User 0 (DLT=147)\",\"mbrtu\",\"0\",\"\",\"0\",\"\"'"
        " -T fields -e mbrtu.unit_id -e modbus.func_code -e modbus.regval_uint16");
    EXPECT_TRUE(Has(decoded, "1\t3\t12,34")) << decoded;
    DeleteFileA(records.c_str());
    DeleteFileA(capture.c_str());
}

// An adapter that hands over what it heard every 16 ms merges a request
// with its reply, and cuts replies in two: each exchange is still paired.
TEST(MonitorOnLine, AnAdaptersPiecesAreCutIntoTheirExchanges) {
    LineFixture line(19200, {1, 2});
    const std::string records = TemporaryFile("kmr");
    Monitor monitor(line, 16, 19200, {"--seconds", "4", "--output", records});
    ASSERT_TRUE(line.Listened());
    RawMaster master(line.DevicePath(), 19200);
    constexpr int kExchanges = 30;
    for (int i = 0; i < kExchanges; ++i) master.Ask(ReadRequest(1 + i % 2, i, 1 + i % 5));
    const ToolRun run = monitor.Wait();
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    const std::vector<std::string> told = Lines(FileText(records));
    ASSERT_EQ(told.size(), kExchanges + 1u) << FileText(records);
    EXPECT_EQ(told[0], "time,station,function,outcome,asked,answered,answer_ms,gap_ms");
    for (int i = 1; i <= kExchanges; ++i) {
        const std::string asked = ",3,reply,\"4x" + std::to_string(i) + "," + std::to_string(1 + (i - 1) % 5) + "\",";
        EXPECT_TRUE(Has(told[i], asked)) << told[i] << " not " << asked;
    }
    EXPECT_TRUE(Has(run.out, "line: ")) << run.out;
    DeleteFileA(records.c_str());
}

}  // namespace
