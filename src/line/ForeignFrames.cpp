// Counting and telling the frames a line carries that nobody on it asked for.
#include "line/ForeignFrames.h"

namespace line {
namespace {

constexpr int64_t kTellEveryUs = 60 * 1000 * 1000;
constexpr uint8_t kExceptionBit = 0x80;

}  // namespace

std::string ForeignFramesEvent(const std::string& port, uint32_t count) {
    return "Foreign: " + port + ", " + std::to_string(count) + (count == 1 ? " frame" : " frames") +
           " nobody asked for; another master may share the line";
}

uint32_t CForeignFrames::Count(const std::string& bytes, const modbus::ReplyShape& asked, int64_t nowUs) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (const modbus::FrameHead& frame : modbus::WholeFrames(data, bytes.size())) {
        const bool ours = frame.station == asked.station && (frame.function & ~kExceptionBit) == asked.function;
        if (!ours) ++m_untold;
    }
    if (m_untold == 0 || (m_told && nowUs - m_toldAtUs < kTellEveryUs)) return 0;
    const uint32_t told = m_untold;
    m_untold = 0;
    m_told = true;
    m_toldAtUs = nowUs;
    return told;
}

void CForeignFrames::Forget() {
    m_untold = 0;
    m_told = false;
}

}  // namespace line
