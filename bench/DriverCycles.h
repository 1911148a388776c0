#pragma once
// Korvel.dll polling the benchmark's tags on a simulated line, driven the way
// a host drives it: the COM object from the module, its IDeviceDriver, Open,
// CheckStation, ParseAddress, then Read of every tag, cycle after cycle.
#include <cstdint>
#include <string>
#include <vector>

#include "Figures.h"
#include "TagSet.h"

namespace bench {

struct RunLength {
    int warmupCycles;  // the first cycle reads every tag on its own, the next plans the blocks
    int cycles;
};

// Opens a line at baud on the line server that KORVEL_LINE_SERVER names, and
// a fresh driver object on it. False with the reason in error when either
// cannot be had.
bool MeasureDriver(uint32_t baud, const std::vector<BenchTag>& tags, const RunLength& run, Figures& figures,
                   std::string& error);

}  // namespace bench
