#pragma once
// The driver on lines that are not healthy, each beside the same tags on a
// healthy line, at 9600 baud with a response time-out of one second: a dead
// station beside a live one, a register map with a hole inside a block,
// and a line that corrupts one reply in twenty. It measures and prints; it
// asserts nothing.
#include <cstdio>
#include <string>

namespace bench {

// False with the reason in error when a line or the driver cannot be had.
bool MeasureLineStates(std::FILE* out, std::string& error);

}  // namespace bench
