#pragma once
// Frames on a line that answer nothing its master asked: another master's
// devices answering it on the same wires. Counted as they are seen, and
// told at once the first time, then once a minute at most, so that a busy
// second master does not flood the trace.
#include <cstdint>
#include <string>

#include "modbus/ReplyShape.h"

namespace line {

// The trace event: "Foreign: COM3, 4 frames nobody asked for; another
// master may share the line".
std::string ForeignFramesEvent(const std::string& port, uint32_t count);

class CForeignFrames {
public:
    // Counts the whole frames among bytes whose station or function is not
    // asked's, seen at nowUs. Returns how many to tell now, counted since
    // the last telling; 0 while a minute has not passed since it.
    uint32_t Count(const std::string& bytes, const modbus::ReplyShape& asked, int64_t nowUs);
    void Forget();

private:
    uint32_t m_untold = 0;
    bool m_told = false;
    int64_t m_toldAtUs = 0;
};

}  // namespace line
