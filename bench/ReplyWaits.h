#pragma once
// How long the driver keeps a healthy line waiting behind a reply, from its
// frame trace: each exchange's time from the request going out to the reply
// handed back, less both frames' wire time and the device's slowest answer.
// What is left is the driver's own: taking the reply in, and any listening
// behind it for a late or repeated one.
#include <string>
#include <vector>

#include "AnsweringDevices.h"
#include "DriverCycles.h"

namespace bench {

// The longest such rest over the measured cycles of the plant on device, in
// ms (to the trace's millisecond). False with the reason in error when the
// line or the trace cannot be had.
bool MeasureLongestRestMs(const std::vector<BenchTag>& tags, const RunLength& run, const AnsweringDevice& device,
                          double& longestMs, std::string& error);

}  // namespace bench
