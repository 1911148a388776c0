// The monitor soak: korvel-poll --monitor listens through an adapter that
// hands bytes over in pieces while a master polls the line back to back,
// and every exchange it records is held against the master's own log (see
// ListenedTally). It prints one summary line with the monitor's CPU use as
// a share of one core while the master polled, from its process's CPU time;
// the share is printed, not judged, as it depends on the machine. ctest runs a short
// form; scripts/soak --monitor the long one.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ListenedMaster.h"
#include "LinuxProcessCpu.h"
#include "ListenedTally.h"
#include "support/LineFixture.h"
#include "support/lineserver/HexBytes.h"
#include "support/Stopwatch.h"
#include "tools/ToolProcess.h"

namespace {

struct Options {
    uint32_t seconds = 20;
    uint32_t baud = 9600;
    uint32_t pieceMs = 16;
    uint32_t seed = 0;  // 0: from the clock
    // The device's turnaround is drawn for each reply from up to 5 ms to
    // this; a lower one polls the line faster.
    uint32_t mostTurnaroundMs = 40;
};
Options g_options;

// Wine starts a program in seconds on a loaded machine; the master starts
// once the monitor holds its port.
constexpr int kPatienceMs = 90000;
constexpr int kPollMs = 20;
// The monitor listens this much longer than the master polls, so that the
// last exchange is told before it ends.
constexpr uint32_t kTailSeconds = 5;
constexpr uint32_t kFirstTurnaroundMs = 5;

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return Lines(text.str());
}

// The master's log beside the monitor's records of a faulty run: a line
// per exchange, the request and the reply in hex.
std::string KeepMasterLog(const std::vector<MasterExchange>& log) {
    const auto hex = [](const std::string& frame) { return ToHex(Bytes(frame.begin(), frame.end())); };
    std::string text;
    for (const MasterExchange& exchange : log) text += hex(exchange.request) + " -> " + hex(exchange.reply) + "\n";
    return TemporaryFile("kml", text);
}

// How long the master's frames took on the wire, 10 bits a character.
double WireMs(const std::vector<MasterExchange>& log, uint32_t baud) {
    double characters = 0;
    for (const MasterExchange& exchange : log) characters += exchange.request.size() + exchange.reply.size();
    return characters * 10 * 1000 / baud;
}

// The monitor's last figures, from what it printed.
std::string LastFigures(const std::string& out) {
    const size_t at = out.rfind("station  requests");
    return at == std::string::npos ? out : out.substr(at);
}

TEST(MonitorSoak, EveryExchangeIsPairedAsTheMasterSawIt) {
    LineFixture line(g_options.baud, {1, 2, 3});
    const int port = line.Listen(g_options.pieceMs);
    ASSERT_GE(port, 0);
    const std::string records = TemporaryFile("kms");
    const std::vector<std::string> args = {
        "--port",   std::to_string(port + 1), "--baud",   std::to_string(g_options.baud),
        "--monitor", "--seconds", std::to_string(g_options.seconds + kTailSeconds),
        "--format", "jsonl", "--output", records, "--stats"};
    ToolRun run;
    std::thread monitor([&] { run = RunPoll(args); });
    for (int waited = 0; waited < kPatienceMs && !line.Listened(); waited += kPollMs) Sleep(kPollMs);
    const uint32_t seed = g_options.seed != 0 ? g_options.seed : GetTickCount();
    std::printf("monitor soak: %u baud, pieces of %u ms, turnaround up to %u ms, %u s, seed %u\n", g_options.baud,
                g_options.pieceMs, g_options.mostTurnaroundMs, g_options.seconds, seed);
    CListenedMaster master(line, g_options.baud, seed, std::min(kFirstTurnaroundMs, g_options.mostTurnaroundMs),
                           g_options.mostTurnaroundMs);
    if (!line.Listened() || !master.Opened()) {
        monitor.join();
        FAIL() << "the monitor did not listen or the master could not open the line: " << run.out << run.err;
    }
    const int monitorPid = FindLinuxProcess(records.substr(records.find_last_of('\\') + 1));
    const double cpuBeforeMs = LinuxProcessCpuMs(monitorPid);
    const Stopwatch polling;
    while (polling.ElapsedMs() < g_options.seconds * 1000.0) master.AskOnce();
    const double pollingMs = polling.ElapsedMs();
    const double cpuMs = LinuxProcessCpuMs(monitorPid) - cpuBeforeMs;
    monitor.join();
    EXPECT_EQ(run.exitCode, 0u) << run.err;

    const ListenedTally tally = TallyListenedRecords(master.Log(), FileLines(records));
    // A faulty run's records are kept to read beside the examples.
    if (tally.Clean()) DeleteFileA(records.c_str());
    std::cout << LastFigures(run.out);
    for (const std::string& example : tally.examples) std::cout << "  " << example << '\n';
    if (!tally.Clean()) {
        std::cout << "the monitor's records: " << records << ", the master's log: " << KeepMasterLog(master.Log())
                  << '\n';
    }
    char cpu[96] = "monitor CPU unknown (its Linux process not found)";
    if (monitorPid != 0) {
        std::snprintf(cpu, sizeof cpu, "monitor CPU %.2f %% of one core (%.1f s over %.1f s)",
                      100.0 * cpuMs / pollingMs, cpuMs / 1000.0, pollingMs / 1000.0);
    }
    std::printf("monitor soak: %zu exchanges, %zu paired right, %zu wrong, %zu unclassified (%zu at the edges), "
                "%zu extra; line busy %.0f %%; %s\n",
                tally.exchanges, tally.right, tally.Wrong(), tally.unclassified, tally.atTheEdges, tally.extra,
                100.0 * WireMs(master.Log(), g_options.baud) / pollingMs, cpu);
    EXPECT_GT(tally.exchanges, 0u);
    EXPECT_TRUE(tally.Clean());
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const struct {
        const char* name;
        uint32_t* value;
    } options[] = {{"--seconds", &g_options.seconds},
                   {"--baud", &g_options.baud},
                   {"--piece", &g_options.pieceMs},
                   {"--seed", &g_options.seed},
                   {"--turnaround", &g_options.mostTurnaroundMs}};
    for (int i = 1; i + 1 < argc; i += 2) {
        const auto* option = std::find_if(std::begin(options), std::end(options),
                                          [&](const auto& o) { return std::strcmp(argv[i], o.name) == 0; });
        if (option == std::end(options)) {
            std::fprintf(stderr, "usage: %s [--seconds N] [--baud B] [--piece MS] [--seed S] [--turnaround MS]\n", argv[0]);
            return 2;
        }
        *option->value = std::strtoul(argv[i + 1], nullptr, 10);
    }
    return RUN_ALL_TESTS();
}
