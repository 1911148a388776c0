// The soak as a test program. Short by default, for the test suite; the
// long form takes --cycles N (or KORVEL_SOAK_CYCLES) for every kind of line.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "SoakRun.h"
#include "support/ProcessFigures.h"
#include "support/Stopwatch.h"

namespace {

constexpr uint32_t kDefaultCycles = 200;
// Network lines poll slower (each reply is followed by a quiet check on RTU
// over TCP, and a lost connection waits for its reconnect), so their short
// form runs fewer cycles, still a few of each of their faults.
constexpr uint32_t kDefaultNetworkCycles = 60;
// Cycles that create the caches and plan the blocks before the first figures.
constexpr uint32_t kWarmUpCycles = 3;
// One fault every so many cycles.
constexpr uint32_t kFaultEvery = 2;
// What the run may add beyond its start without counting as growth: a
// handle or two the system opens lazily, and heap pages that fragmentation
// leaves committed.
constexpr uint32_t kHandleSlack = 2;
constexpr size_t kPrivateSlack = 256 * 1024;
// How long a station that stopped answering is left alone: shorter than by
// default, so that the wait for the last demotion to pass ends each run soon.
constexpr DWORD kDemotionMs = 2000;

uint32_t g_cycles = kDefaultCycles;
uint32_t g_networkCycles = kDefaultNetworkCycles;

void PrintProgress(uint32_t cycle, const SoakCounts& counts, double seconds) {
    std::cout << "cycle " << cycle << ": " << counts.reads << " reads (" << counts.failedReads
              << " failed), " << counts.writes << " writes (" << counts.failedWrites << " failed), " << counts.faults
              << " faults, " << counts.wrongValues << " wrong; " << TakeProcessFigures() << "; "
              << static_cast<int>(seconds) << " s" << std::endl;
}

// The soak on each kind of line: a serial one, and the same line behind a
// serial device server and behind a Modbus TCP gateway, with the faults of
// their connections besides.
struct SoakLine {
    const char* name;
    const char* open;       // the line server's command for a network line; null for a serial line
    const char* transport;  // of a network line
};

const SoakLine kSoakLines[] = {
    {"a serial line at 115200 baud", nullptr, nullptr},
    {"RTU over TCP to a device server", "open-tcp rtu 115200 1 2 3", "rtu-over-tcp"},
    {"Modbus TCP to a gateway", "open-tcp mbap 115200 1 2 3", "modbus-tcp"},
};
// A network line runs as COM50: its number names it, no port is opened.
constexpr int kNetworkPortIndex = 49;
// A gateway that gives up before the driver does, so that nothing queues in it.
constexpr uint32_t kGatewayWaitMs = SoakRun::kResponseTimeoutMs * 3 / 5;

std::unique_ptr<LineFixture> OpenLine(const SoakLine& soakLine) {
    return soakLine.open == nullptr ? std::make_unique<LineFixture>(115200, std::vector<int>{1, 2, 3})
                                    : std::make_unique<LineFixture>(soakLine.open);
}

// The settings reach the driver as a tool gives them.
Outcome OpenDriver(HostDriver& driver, const SoakLine& soakLine, const LineFixture& line) {
    const bool network = soakLine.open != nullptr;
    const std::string settings =
        "demote_for_ms=" + std::to_string(kDemotionMs) +
        (network ? std::string(";transport=") + soakLine.transport + ";endpoint=" + line.Endpoint() : "");
    SetEnvironmentVariableA("KORVEL_SET", settings.c_str());
    const Outcome opened = driver.Open(network ? kNetworkPortIndex : line.PortIndex(), kBaudIndex115200,
                                       SoakRun::kResponseTimeoutMs);
    SetEnvironmentVariableA("KORVEL_SET", nullptr);
    return opened;
}

void Soak(SoakRun& run, uint32_t cycles) {
    for (uint32_t i = 0; i < kWarmUpCycles; ++i) run.Cycle(false);
    const ProcessFigures start = TakeProcessFigures();
    const Stopwatch soakTime;
    const uint32_t progressEvery = cycles >= 1000 ? 500 : cycles;
    for (uint32_t cycle = 1; cycle <= cycles; ++cycle) {
        run.Cycle(cycle % kFaultEvery == 0);
        if (cycle % progressEvery == 0) {
            PrintProgress(cycle, run.Counts(), soakTime.ElapsedMs() / 1000);
        }
    }
    const double seconds = soakTime.ElapsedMs() / 1000;
    const ProcessFigures end = TakeProcessFigures();

    // Whatever the last fault left on the line has passed, and so has the
    // demotion of a station the last stop silenced; then every read must
    // succeed again.
    Sleep(kDemotionMs + 4 * SoakRun::kResponseTimeoutMs);
    run.Cycle(false);
    run.Cycle(false);
    EXPECT_EQ(run.FailedReadsOfLastCycle(), 0u) << "the driver did not recover";

    const SoakCounts& counts = run.Counts();
    std::printf("soak: %u cycles of %zu tags at 115200 baud in %.0f s (%.0f ms a cycle), %u more around them\n",
                cycles, run.TagCount(), seconds, 1000.0 * seconds / cycles, counts.cycles - cycles);
    std::printf("  reads %u (failed %u), writes %u (failed %u), faults injected %u over %zu kinds in turn,\n"
                "  failed reads in the last cycle %u, wrong values %u\n",
                counts.reads, counts.failedReads, counts.writes, counts.failedWrites, counts.faults,
                run.FaultKindCount(), run.FailedReadsOfLastCycle(), counts.wrongValues);
    std::cout << "  start: " << start << "\n  end:   " << end << std::endl;
    EXPECT_EQ(counts.wrongValues, 0u);
    EXPECT_LE(end.handles, start.handles + kHandleSlack);
    EXPECT_LE(end.privateBytes, start.privateBytes + kPrivateSlack);
}

}  // namespace

TEST(Soak, PollsThroughFaultsWithoutAWrongValueOrGrowth) {
    for (const SoakLine& soakLine : kSoakLines) {
        SCOPED_TRACE(soakLine.name);
        std::printf("soak on %s\n", soakLine.name);
        const std::unique_ptr<LineFixture> line = OpenLine(soakLine);
        HostDriver driver;
        ASSERT_TRUE(driver.Created());
        ASSERT_EQ(OpenDriver(driver, soakLine, *line), kSucceeded);
        const bool network = soakLine.open != nullptr;
        if (network) line->SetGatewayWait(kGatewayWaitMs);
        SoakRun run(*line, driver, network ? NetworkFaultKinds() : FaultKinds(), network);
        ASSERT_TRUE(run.Prepare());
        Soak(run, network ? g_networkCycles : g_cycles);
    }
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (const char* cycles = std::getenv("KORVEL_SOAK_CYCLES")) {
        g_cycles = g_networkCycles = std::strtoul(cycles, nullptr, 10);
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--cycles") == 0) g_cycles = g_networkCycles = std::strtoul(argv[i + 1], nullptr, 10);
    }
    if (g_cycles == 0) {
        std::fprintf(stderr, "usage: %s [--cycles N]  (N > 0)\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
