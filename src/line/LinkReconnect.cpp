#include "line/LinkReconnect.h"

#include <algorithm>
#include <cstdio>

namespace line {
namespace {

// A link back within a minute is usually a knocked connector or a reset
// adapter: it is tried at the first interval for that long.
constexpr uint64_t kSteadyAttemptsMs = 60000;

}  // namespace

bool CLinkReconnect::MarkLost(uint64_t nowMs, const ReconnectTiming& timing) {
    if (m_lost) return false;
    m_lost = true;
    m_lostAtMs = nowMs;
    m_intervalMs = std::max<uint32_t>(timing.firstIntervalMs, 1);
    m_nextAttemptMs = nowMs + m_intervalMs;
    return true;
}

void CLinkReconnect::AttemptFailed(uint64_t nowMs, const ReconnectTiming& timing) {
    if (nowMs - m_lostAtMs >= kSteadyAttemptsMs) {
        const uint64_t doubled = uint64_t{m_intervalMs} * 2;
        m_intervalMs = static_cast<uint32_t>(
            std::min<uint64_t>(doubled, std::max(timing.longestIntervalMs, timing.firstIntervalMs)));
    }
    m_nextAttemptMs = nowMs + m_intervalMs;
}

uint64_t CLinkReconnect::Restored(uint64_t nowMs) {
    m_lost = false;
    return nowMs - m_lostAtMs;
}

std::string LinkLostEvent(const std::string& link, uint32_t code) {
    return "Lost: " + link + ", error " + std::to_string(code);
}

std::string LinkReopenedEvent(const std::string& link, uint64_t lostForMs) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(lostForMs) / 1000.0);
    return "Reopened: " + link + " after " + seconds + " s";
}

}  // namespace line
