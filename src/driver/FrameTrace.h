#pragma once
// Frame trace: when the environment variable KORVEL_TRACE names a file, every
// frame the driver sends or receives is appended to it as one line,
//   <milliseconds> <label>: <bytes in hex>
// e.g. "1234567 Read Send: 01 03 00 00 00 03 05 CB". Without the variable
// nothing is written and the cost is one environment lookup.
#include <cstdint>
#include <string>

// The variable is read on every call, so a host may turn tracing on and off
// while it runs.
void AppendFrameTrace(const char* label, const uint8_t* bytes, int32_t count);
// A line of text about the line rather than a frame: "<milliseconds> <text>".
void AppendTraceEvent(const std::string& text);
// The line for one frame, without the newline.
std::string FormatTraceLine(uint64_t milliseconds, const char* label, const uint8_t* bytes, int32_t count);
