#pragma once
// The cost of one exchange: the median time of one read of 2 and of 32
// registers through Korvel.dll, back to back, beside the time its frames
// take on the wire and what a compliant master needs at most (the wire plus
// one end-of-frame silence).
#include <cstdio>
#include <string>

namespace bench {

// False with the reason in error when a line or the driver cannot be had.
bool MeasureSingleReads(std::FILE* out, std::string& error);

}  // namespace bench
