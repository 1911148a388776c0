// korvel-bench-masters: the libmodbus side of the poll-cycle benchmark
// (scripts/bench runs it natively beside the line server).
//   korvel-bench-masters [--cycles N]
// For each speed and for Modbus TCP, a reference master (a request per
// contiguous range) and a naive one (a request per tag) poll the benchmark's
// tags; each prints one "figures" line for korvel-bench, and so does one
// read of two registers over Modbus TCP, by itself. Needs KORVEL_LINE_SERVER and the
// WINEPREFIX the line server makes its COM links in.
// Built for Windows, it runs under Wine beside the driver, where both pay the
// same Winsock, and measures Modbus TCP only; its masters are named apart.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "AnsweringDevices.h"
#include "MasterCycles.h"

namespace {

#ifdef _WIN32
constexpr uint32_t kBauds[] = {bench::kModbusTcp};
constexpr const char* kNameSuffix = "-wine";
#else
constexpr uint32_t kBauds[] = {9600, 115200, bench::kModbusTcp};
constexpr const char* kNameSuffix = "";
#endif
constexpr int kDefaultCycles = 20;
constexpr int kSingleReads = 200;
constexpr int kWarmupCycles = 1;

struct MasterPlan {
    const char* name;
    std::vector<bench::ReadRequest> (*plan)(const std::vector<bench::BenchTag>&);
};

constexpr MasterPlan kMasters[] = {
    {"reference", &bench::RangeRequests},
    {"naive", &bench::TagRequests},
};

bool ParseArguments(int argc, char** argv, int& cycles) {
    cycles = kDefaultCycles;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cycles") != 0 || i + 1 == argc) return false;
        cycles = std::atoi(argv[++i]);
        if (cycles < 1) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int cycles;
    if (!ParseArguments(argc, argv, cycles)) {
        std::fprintf(stderr, "usage: korvel-bench-masters [--cycles N]\n");
        return 2;
    }
    const std::vector<bench::BenchTag> tags = bench::PlantTags();
    int status = 0;
    for (uint32_t baud : kBauds) {
        for (const MasterPlan& master : kMasters) {
            const std::string name = std::string(master.name) + kNameSuffix;
            std::fprintf(stderr, "korvel-bench-masters: %s master at %u baud, %d cycles\n", name.c_str(), baud,
                         cycles);
            bench::Figures figures;
            std::string error;
            if (!bench::MeasureMaster(name, baud, master.plan(tags), kWarmupCycles, cycles, figures, error)) {
                std::fprintf(stderr, "korvel-bench-masters: %s\n", error.c_str());
                status = 1;
                continue;
            }
            std::printf("%s\n", bench::FormatFigures(figures).c_str());
            std::fflush(stdout);
        }
    }
#ifndef _WIN32
    for (const bench::AnsweringDevice& device : bench::kAnsweringDevices) {
        const std::string name = bench::MasterOnDevice("reference", device);
        std::fprintf(stderr, "korvel-bench-masters: %s at %u baud, %d cycles\n", name.c_str(), bench::kAnsweringBaud,
                     cycles);
        bench::Figures figures;
        std::string error;
        if (bench::MeasureMaster(name, bench::kAnsweringBaud, bench::RangeRequests(tags), kWarmupCycles, cycles,
                                 figures, error, device.command)) {
            std::printf("%s\n", bench::FormatFigures(figures).c_str());
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "korvel-bench-masters: %s\n", error.c_str());
            status = 1;
        }
    }
#endif
    bench::Figures single;
    std::string error;
    if (bench::MeasureSingleTcpRead(std::string("single") + kNameSuffix, kSingleReads, single, error)) {
        std::printf("%s\n", bench::FormatFigures(single).c_str());
    } else {
        std::fprintf(stderr, "korvel-bench-masters: %s\n", error.c_str());
        status = 1;
    }
    return status;
}
