#pragma once
// A tag's last values as a row of block characters, ▁ for the lowest value
// shown and █ for the highest, so a ramp or a step can be seen at a glance
// without a unit or a scale.
#include <cstddef>
#include <string>
#include <vector>

// The last width values, oldest first, right-aligned in width columns. A
// failed read (NaN) is a blank. Values that are all the same sit at the
// middle; a bit is ▁ for 0 and █ for 1 whatever the others are.
std::string Sparkline(const std::vector<double>& values, size_t width, bool bit);
