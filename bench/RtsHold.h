#pragma once
// What keying RTS costs the polling thread: the CPU time per request of the
// driver on a 9600-baud line that keys RTS around each request, beside the
// same line unkeyed. It measures and prints; it asserts nothing.
#include <cstdio>
#include <string>

namespace bench {

// False with the reason in error when a line or the driver cannot be had.
bool MeasureRtsHold(std::FILE* out, std::string& error);

}  // namespace bench
