#pragma once
// The benchmark's table: for each speed the driver beside the wire time of
// its own frames and the two libmodbus masters, then one line of ratios per
// speed.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Figures.h"

namespace bench {

// Figures of a master missing at a speed show as a row of dashes, and its
// ratio as "n/a".
void PrintReport(std::FILE* out, const std::string& setting, const std::vector<uint32_t>& bauds,
                 const std::vector<Figures>& all);

}  // namespace bench
