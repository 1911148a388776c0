// korvel-bench: the host side of the poll-cycle benchmark (scripts/bench runs
// it under Wine beside a line server).
//   korvel-bench [--cycles N] < figures of the libmodbus masters
// Reads the "figures" lines that korvel-bench-masters printed, measures
// Korvel.dll at each speed on a line of its own, and prints the table; then
// measures and prints the cost of keying RTS and the driver on unhealthy
// lines.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "AnsweringDevices.h"
#include "DriverCycles.h"
#include "LineStates.h"
#include "NetworkLines.h"
#include "ReplyWaits.h"
#include "Report.h"
#include "RtsHold.h"
#include "SingleReads.h"

namespace {

constexpr uint32_t kBauds[] = {9600, 115200, bench::kModbusTcp};
constexpr int kDefaultCycles = 20;
constexpr int kWarmupCycles = 2;

bool ParseArguments(int argc, char** argv, bench::RunLength& run) {
    run = {kWarmupCycles, kDefaultCycles};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cycles") != 0 || i + 1 == argc) return false;
        run.cycles = std::atoi(argv[++i]);
        if (run.cycles < 1) return false;
    }
    return true;
}

std::vector<bench::Figures> ReadMasterFigures() {
    std::vector<bench::Figures> all;
    std::string line;
    bench::Figures figures;
    while (std::getline(std::cin, line)) {
        if (bench::ParseFigures(line, figures)) all.push_back(figures);
    }
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    bench::RunLength run;
    if (!ParseArguments(argc, argv, run)) {
        std::fprintf(stderr, "usage: korvel-bench [--cycles N] < figures of the libmodbus masters\n");
        return 2;
    }
    std::vector<bench::Figures> all = ReadMasterFigures();
    const std::vector<bench::BenchTag> tags = bench::PlantTags();
    int status = 0;
    for (uint32_t baud : kBauds) {
        std::fprintf(stderr, "korvel-bench: the driver at %u baud, %d cycles\n", baud, run.cycles);
        bench::Figures figures;
        std::string error;
        if (bench::MeasureDriver(baud, tags, run, figures, error)) {
            all.push_back(figures);
            if (figures.failedReads > 0) status = 1;
        } else {
            std::fprintf(stderr, "korvel-bench: %s\n", error.c_str());
            status = 1;
        }
    }
    std::vector<double> longestRestMs;
    for (const bench::AnsweringDevice& device : bench::kAnsweringDevices) {
        const std::string name = bench::MasterOnDevice("driver", device);
        std::fprintf(stderr, "korvel-bench: %s at %u baud, %d cycles, and again traced\n", name.c_str(),
                     bench::kAnsweringBaud, run.cycles);
        bench::Figures figures;
        double restMs = -1;
        std::string error;
        if (bench::MeasureDriver(bench::kAnsweringBaud, tags, run, figures, error, device.command, name) &&
            bench::MeasureLongestRestMs(tags, run, device, restMs, error)) {
            all.push_back(figures);
        } else {
            std::fprintf(stderr, "korvel-bench: %s\n", error.c_str());
            status = 1;
        }
        longestRestMs.push_back(restMs);
    }
    const std::string setting = std::to_string(tags.size()) + " tags on 3 stations, " +
                                std::to_string(run.cycles) + " cycles after " + std::to_string(run.warmupCycles) +
                                " to warm up";
    bench::PrintReport(stdout, setting, std::vector<uint32_t>(std::begin(kBauds), std::end(kBauds)), all);
    bench::PrintAnsweringDevices(stdout, all, longestRestMs);
    std::string error;
    std::fprintf(stderr, "korvel-bench: single reads\n");
    if (!bench::MeasureSingleReads(stdout, error)) {
        std::fprintf(stderr, "korvel-bench: %s\n", error.c_str());
        status = 1;
    }
    std::fprintf(stderr, "korvel-bench: RTS keying\n");
    if (!bench::MeasureRtsHold(stdout, error)) {
        std::fprintf(stderr, "korvel-bench: %s\n", error.c_str());
        status = 1;
    }
    std::fprintf(stderr, "korvel-bench: network lines\n");
    if (!bench::MeasureNetworkLines(stdout, all, error)) {
        std::fprintf(stderr, "korvel-bench: %s\n", error.c_str());
        status = 1;
    }
    std::fprintf(stderr, "korvel-bench: the driver on unhealthy lines\n");
    if (!bench::MeasureLineStates(stdout, error)) {
        std::fprintf(stderr, "korvel-bench: %s\n", error.c_str());
        status = 1;
    }
    return status;
}
