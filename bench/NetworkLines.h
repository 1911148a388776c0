#pragma once
// Korvel.dll on network lines, measured beside libmodbus's own TCP client:
// one read of two registers over Modbus TCP; the first good read after the
// server dropped every connection and refused new ones for 3 s; and late
// replies in both framings, counted for wrong values. Prints; asserts nothing.
#include <cstdio>
#include <string>
#include <vector>

#include "Figures.h"

namespace bench {

// masters holds libmodbus's "single" figures, when korvel-bench-masters
// measured them. False with the reason in error when a line or the driver
// cannot be had.
bool MeasureNetworkLines(std::FILE* out, const std::vector<Figures>& masters, std::string& error);

}  // namespace bench
