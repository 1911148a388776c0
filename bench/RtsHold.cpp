#include "RtsHold.h"

#include <vector>

#include "DriverCycles.h"
#include "WireTime.h"
#include "modbus/Frames.h"
#include "support/ThreadCpu.h"

namespace bench {
namespace {

constexpr uint32_t kBaud = 9600;
constexpr uint32_t kResponseTimeoutMs = 500;
// Some seconds of requests, long beside the step of the CPU time.
constexpr int kRequests = 200;
constexpr int kWarmupRequests = 5;

struct Mode {
    const char* name;
    int16_t rtsControl;
};

constexpr Mode kModes[] = {{"unkeyed", 0}, {"RTS keyed", 1}};

struct Run {
    double cpuMs;
    double wallMs;
};

// One tag, so that every read is one request of one register.
bool MeasureMode(const Mode& mode, Run& run, std::string& error) {
    DriverOnLine driver;
    driver.KeyRtsOnOpen(mode.rtsControl);
    if (!driver.Open(kBaud, "1", {{1, kAreaHoldingRegisters, 1, kTypeUInt16}}, kResponseTimeoutMs, error)) return false;
    for (int request = 0; request < kWarmupRequests; ++request) driver.PollCycle();
    const double cpuStart = ThreadCpuMs();
    const Stopwatch wall;
    int failed = 0;
    for (int request = 0; request < kRequests; ++request) failed += driver.PollCycle();
    run = {ThreadCpuMs() - cpuStart, wall.ElapsedMs()};
    if (failed == 0) return true;
    error = std::string(mode.name) + ": " + std::to_string(failed) + " reads failed";
    return false;
}

}  // namespace

bool MeasureRtsHold(std::FILE* out, std::string& error) {
    const double requestWireMs = FramesMs({ReadExchange(modbus::kReadHoldingRegisters, 1).request, 0}, kBaud);
    std::fprintf(out, "\nRTS keying at %u baud, %d reads of one register (request %.2f ms on the wire):\n", kBaud,
                 kRequests, requestWireMs);
    std::fprintf(out, "%10s %16s %16s %8s\n", "line", "CPU ms/request", "wall ms/request", "CPU x");
    double unkeyedCpuMs = 0;
    for (const Mode& mode : kModes) {
        Run run{};
        if (!MeasureMode(mode, run, error)) return false;
        const double cpuMs = run.cpuMs / kRequests;
        if (mode.rtsControl == 0) unkeyedCpuMs = cpuMs;
        std::fprintf(out, "%10s %16.3f %16.2f %8.2f\n", mode.name, cpuMs, run.wallMs / kRequests,
                     unkeyedCpuMs > 0 ? cpuMs / unkeyedCpuMs : 0.0);
    }
    return true;
}

}  // namespace bench
