#include "SingleReads.h"

#include <algorithm>
#include <vector>

#include "DriverCycles.h"
#include "WireTime.h"
#include "modbus/Frames.h"

namespace bench {
namespace {

constexpr uint32_t kBauds[] = {9600, 115200};
constexpr uint32_t kResponseTimeoutMs = 500;
constexpr int kReads = 40;
constexpr int kWarmupReads = 3;

struct ReadShape {
    uint16_t registers;
    std::vector<BenchTag> tags;  // one block, fetched by one request
};

// Two registers: one 32-bit tag. Thirty-two: a block of 16-bit tags, read by
// the first tag's request and served from the cache for the others.
std::vector<ReadShape> Shapes() {
    std::vector<BenchTag> block;
    for (uint16_t item = 1; item <= 32; ++item) block.push_back({1, kAreaHoldingRegisters, item, kTypeUInt16});
    return {{2, {{1, kAreaHoldingRegisters, 1, kTypeUInt32}}}, {32, block}};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool MedianReadMs(uint32_t baud, const ReadShape& shape, double& median, std::string& error) {
    DriverOnLine line;
    if (!line.Open(baud, "1", shape.tags, kResponseTimeoutMs, error)) return false;
    for (int read = 0; read < kWarmupReads; ++read) line.PollCycle();
    std::vector<double> ms;
    for (int read = 0; read < kReads; ++read) {
        const Stopwatch stopwatch;
        if (line.PollCycle() != 0) {
            error = "a read failed";
            return false;
        }
        ms.push_back(stopwatch.ElapsedMs());
    }
    median = Median(ms);
    return true;
}

}  // namespace

bool MeasureSingleReads(std::FILE* out, std::string& error) {
    std::fprintf(out, "\nOne read, back to back (median of %d):\n", kReads);
    std::fprintf(out, "%8s %10s %10s %10s %12s %8s\n", "baud", "registers", "read ms", "wire ms", "compliant ms",
                 "ratio");
    for (uint32_t baud : kBauds) {
        for (const ReadShape& shape : Shapes()) {
            double median = 0;
            if (!MedianReadMs(baud, shape, median, error)) return false;
            const ExchangeBytes frames = ReadExchange(modbus::kReadHoldingRegisters, shape.registers);
            const double wire = FramesMs(frames, baud);
            const double compliant = wire + SilenceMs(baud);
            std::fprintf(out, "%8u %10u %10.2f %10.2f %12.2f %8.2f\n", baud, shape.registers, median, wire, compliant,
                         median / compliant);
        }
    }
    return true;
}

}  // namespace bench
