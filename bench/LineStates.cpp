#include "LineStates.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "DriverCycles.h"

namespace bench {
namespace {

constexpr uint32_t kBaud = 9600;
constexpr uint32_t kResponseTimeoutMs = 1000;
constexpr int kCycles = 10;
constexpr int kLive = 1;
constexpr int kDead = 2;
// Long enough for the station to be demoted and, the default period later,
// probed once while still off.
constexpr double kDeadPhaseMs = 16000;
// How long the bench waits for a station switched back on to be read.
constexpr double kRecoveryLimitMs = 30000;
constexpr uint16_t kHoleRegister = 104;  // 4x105

// One poll cycle as the line states record it.
struct Cycle {
    double ms;
    size_t requests;      // all stations
    size_t deadRequests;  // to the station that is switched off
    int tagsRead;
};

struct Row {
    std::string state;
    std::vector<Cycle> cycles;
};

std::vector<BenchTag> TenTags(int station) {
    std::vector<BenchTag> tags;
    for (uint16_t address = 100; address <= 109; ++address) {
        tags.push_back({station, kAreaHoldingRegisters, address, kTypeUInt16});
    }
    return tags;
}

// 4x100..4x108 without 4x105: eight tags the device serves.
std::vector<BenchTag> TagsAroundTheHole() {
    std::vector<BenchTag> tags;
    for (uint16_t address = 100; address <= 108; ++address) {
        if (address != kHoleRegister + 1) tags.push_back({kLive, kAreaHoldingRegisters, address, kTypeUInt16});
    }
    return tags;
}

bool RunCycle(DriverOnLine& driver, size_t tagCount, Cycle& cycle, std::string& error) {
    Stopwatch stopwatch;
    const int failed = driver.PollCycle();
    cycle.ms = stopwatch.ElapsedMs();
    cycle.tagsRead = static_cast<int>(tagCount) - failed;
    std::vector<std::vector<uint8_t>> frames;
    if (!driver.TakeRequests(frames, error)) return false;
    cycle.requests = frames.size();
    cycle.deadRequests = static_cast<size_t>(
        std::count_if(frames.begin(), frames.end(), [](const auto& frame) { return !frame.empty() && frame[0] == kDead; }));
    return true;
}

bool Command(DriverOnLine& driver, const std::string& command, std::string& error) {
    std::string answer;
    return driver.Command(command, answer, error);
}

// cycles polls of tags on a line set up by the commands.
bool MeasureState(const std::string& state, const std::vector<BenchTag>& tags, const std::vector<std::string>& commands,
                  int cycles, Row& row, std::string& error) {
    DriverOnLine driver;
    if (!driver.Open(kBaud, "1 2 3", tags, kResponseTimeoutMs, error)) return false;
    for (const std::string& command : commands) {
        if (!Command(driver, command, error)) return false;
    }
    row.state = state;
    for (int i = 0; i < cycles; ++i) {
        Cycle cycle;
        if (!RunCycle(driver, tags.size(), cycle, error)) return false;
        row.cycles.push_back(cycle);
    }
    return true;
}

double Median(const std::vector<Cycle>& cycles, size_t from) {
    std::vector<double> ms;
    for (size_t i = from; i < cycles.size(); ++i) ms.push_back(cycles[i].ms);
    return MedianOf(ms);
}

void PrintRow(std::FILE* out, const Row& row) {
    const std::vector<Cycle>& cycles = row.cycles;
    if (cycles.empty()) return;
    double requests = 0;
    double read = 0;
    double maxMs = 0;
    for (size_t i = 1; i < cycles.size(); ++i) {
        requests += static_cast<double>(cycles[i].requests);
        read += cycles[i].tagsRead;
        maxMs = std::max(maxMs, cycles[i].ms);
    }
    const double later = static_cast<double>(cycles.size() - 1);
    std::fprintf(out, "%-40s %9.1f %9.1f %9zu %9.1f %9.1f\n", row.state.c_str(), Median(cycles, 1), maxMs,
                 cycles[0].requests, later > 0 ? requests / later : 0, later > 0 ? read / later : 0);
}

// Station 2 is switched off beside live station 1, polled for a while,
// switched back on and polled until its tags are read again.
bool MeasureDeadStation(std::FILE* out, double liveAloneMs, std::string& error) {
    std::vector<BenchTag> tags = TenTags(kLive);
    const std::vector<BenchTag> dead = TenTags(kDead);
    tags.insert(tags.end(), dead.begin(), dead.end());
    DriverOnLine driver;
    if (!driver.Open(kBaud, "1 2 3", tags, kResponseTimeoutMs, error)) return false;
    Cycle cycle;
    if (!RunCycle(driver, tags.size(), cycle, error) || !Command(driver, "station-off 2", error)) return false;
    std::vector<Cycle> off;
    Stopwatch phase;
    while (phase.ElapsedMs() < kDeadPhaseMs) {
        if (!RunCycle(driver, tags.size(), cycle, error)) return false;
        off.push_back(cycle);
    }
    if (!Command(driver, "station-on 2", error)) return false;
    Stopwatch recovery;
    double recoveredMs = -1;
    while (recoveredMs < 0 && recovery.ElapsedMs() < kRecoveryLimitMs) {
        if (!RunCycle(driver, tags.size(), cycle, error)) return false;
        if (cycle.tagsRead == static_cast<int>(tags.size())) recoveredMs = recovery.ElapsedMs();
    }

    // Demoted from the first cycle that sends station 2 nothing.
    size_t demotedAt = 0;
    while (demotedAt < off.size() && off[demotedAt].deadRequests > 0) ++demotedAt;
    size_t timeoutsBefore = 0;
    for (size_t i = 0; i < demotedAt; ++i) timeoutsBefore += off[i].deadRequests;
    std::vector<double> quiet;
    double probeMs = 0;
    for (size_t i = demotedAt; i < off.size(); ++i) {
        if (off[i].deadRequests == 0) {
            quiet.push_back(off[i].ms);
        } else {
            probeMs = std::max(probeMs, off[i].ms);
        }
    }
    const double quietMs = MedianOf(quiet);
    std::fprintf(out, "\ndead station 2 beside live station 1, 10 tags each, station 2 off for %.0f s:\n",
                 kDeadPhaseMs / 1000);
    std::fprintf(out, "  requests to station 2 before it was left alone: %zu (each a %u ms time-out)%s\n",
                 timeoutsBefore, kResponseTimeoutMs, demotedAt == off.size() ? ", never left alone" : "");
    if (!quiet.empty()) {
        std::fprintf(out, "  median cycle after that: %.1f ms, %.2fx live station 1 alone (%.1f ms)\n", quietMs,
                     quietMs / liveAloneMs, liveAloneMs);
    }
    if (probeMs > 0) std::fprintf(out, "  probe cycle: %.1f ms, %.1f ms more\n", probeMs, probeMs - quietMs);
    if (recoveredMs >= 0) {
        std::fprintf(out, "  switched back on: every tag read again %.0f ms later\n", recoveredMs);
    } else {
        std::fprintf(out, "  switched back on: not read again within %.0f s\n", kRecoveryLimitMs / 1000);
    }
    return true;
}

// Each cycle after the one that lost the reply, as a multiple of the
// healthy cycle: from the second on, the line should be back at 1.
void PrintLossRecovery(std::FILE* out, const Row& lost, double healthyMs) {
    std::fprintf(out, "\nstation 1's first reply lost, the cycles after it as multiples of its healthy cycle:");
    for (size_t i = 1; i < lost.cycles.size() && i <= 6; ++i) std::fprintf(out, " %.2f", lost.cycles[i].ms / healthyMs);
    std::fprintf(out, "\n");
}

void PrintHoleLearning(std::FILE* out, const Row& hole) {
    std::fprintf(out, "\nhole at 4x105 inside the block 4x100..4x108, requests of the first cycles:");
    for (size_t i = 0; i < hole.cycles.size() && i < 4; ++i) std::fprintf(out, " %zu", hole.cycles[i].requests);
    const size_t steady = hole.cycles.back().requests;
    size_t extra = 0;
    for (const Cycle& cycle : hole.cycles) extra += cycle.requests > steady ? cycle.requests - steady : 0;
    std::fprintf(out, "; %zu a cycle from then on, %zu extra to learn the hole\n", steady, extra);
}

}  // namespace

bool MeasureLineStates(std::FILE* out, std::string& error) {
    std::vector<BenchTag> both = TenTags(kLive);
    const std::vector<BenchTag> second = TenTags(kDead);
    both.insert(both.end(), second.begin(), second.end());
    Row healthyPair, liveAlone, lostOnce, hole, plant, noisy;
    const bool measured =
        MeasureState("healthy: stations 1 and 2, 10 tags each", both, {}, kCycles, healthyPair, error) &&
        MeasureState("live station 1 alone", TenTags(kLive), {}, kCycles, liveAlone, error) &&
        MeasureState("station 1 alone, its first reply lost", TenTags(kLive), {"drop"}, 2 * kCycles, lostOnce,
                     error) &&
        MeasureState("hole: 4x100..4x108 lacking 4x105", TagsAroundTheHole(), {"lack holding-register 1 104"}, kCycles,
                     hole, error) &&
        MeasureState("healthy: the plant's 146 tags", PlantTags(), {}, kCycles, plant, error) &&
        MeasureState("noise: 1 reply in 20 corrupted", PlantTags(), {"corrupt-every 20"}, 2 * kCycles, noisy, error);
    if (!measured) return false;
    std::fprintf(out, "\nline states at %u baud, response time-out %u ms; cycles after the first\n", kBaud,
                 kResponseTimeoutMs);
    std::fprintf(out, "%-40s %9s %9s %9s %9s %9s\n", "per poll cycle", "median ms", "max ms", "first req",
                 "requests", "tags read");
    for (const Row* row : {&healthyPair, &liveAlone, &lostOnce, &hole, &plant, &noisy}) PrintRow(out, *row);
    PrintLossRecovery(out, lostOnce, Median(liveAlone.cycles, 1));
    PrintHoleLearning(out, hole);
    return MeasureDeadStation(out, Median(liveAlone.cycles, 1), error);
}

}  // namespace bench
