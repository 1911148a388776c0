#pragma once
// Devices that answer the plant at 9600 baud after a time of their own: a
// steady one, and one whose answer time is drawn anew for each reply over a
// range of the same mean, as a controller whose scan is not in step with
// the line answers. The driver and the reference master poll both; the
// figures of each are named after the master and the device.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Figures.h"

namespace bench {

struct AnsweringDevice {
    const char* name;
    const char* command;  // the line server's, for the line's device
    double slowestAnswerMs;
};

constexpr uint32_t kAnsweringBaud = 9600;
constexpr AnsweringDevice kAnsweringDevices[] = {
    {"answers-in-40ms", "turnaround 40", 40},
    {"answers-in-10-to-70ms", "turnaround 10 70", 70},
};

// "driver@answers-in-40ms", and so on.
std::string MasterOnDevice(const std::string& master, const AnsweringDevice& device);

// The cycles of the driver and the reference master on each device, side
// by side, with how much slower the varying device makes each; and the
// driver's longest rest behind a reply on each device (-1: not measured).
void PrintAnsweringDevices(std::FILE* out, const std::vector<Figures>& all, const std::vector<double>& longestRestMs);

}  // namespace bench
