#pragma once
// The state of a link that can be lost and made again, such as a serial port
// whose adapter was pulled or a network connection that dropped: since when
// it is lost and why, and when the next attempt to make it again is due.
// Attempts come every firstIntervalMs during the first minute of a loss,
// then at intervals that double up to longestIntervalMs, so that a link
// that stays away costs little. Nothing here runs by itself: the owner asks
// whether an attempt is due when its users need the link, and reports how
// the attempt went. Times are milliseconds from any fixed origin. The owner
// guards it with its own lock.
#include <cstdint>
#include <string>

namespace line {

struct ReconnectTiming {
    uint32_t firstIntervalMs;
    uint32_t longestIntervalMs;
};

class CLinkReconnect {
public:
    bool IsLost() const { return m_lost; }
    // True when this made the link lost, false when it already was: the
    // loss is reported once.
    bool MarkLost(uint64_t nowMs, const ReconnectTiming& timing);
    bool AttemptDue(uint64_t nowMs) const { return m_lost && nowMs >= m_nextAttemptMs; }
    // An attempt that found the link still missing: the next one waits the
    // interval, longer once the loss has lasted a minute.
    void AttemptFailed(uint64_t nowMs, const ReconnectTiming& timing);
    // The link is back; returns how long it was lost.
    uint64_t Restored(uint64_t nowMs);

private:
    bool m_lost = false;
    uint64_t m_lostAtMs = 0;
    uint64_t m_nextAttemptMs = 0;
    uint32_t m_intervalMs = 0;
};

// The trace's event lines of a link: "Lost: COM3, error 22" and
// "Reopened: COM3 after 4.2 s".
std::string LinkLostEvent(const std::string& link, uint32_t code);
std::string LinkReopenedEvent(const std::string& link, uint64_t lostForMs);

}  // namespace line
