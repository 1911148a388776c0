#pragma once
// When a lost line tries again: at the first use after the loss, then about
// once a second for the first minute, then at most every 10 s. Attempts
// are made when the line is used, so nothing runs while nobody polls. The
// clock gives milliseconds from any fixed origin.
#include <cstdint>

class CReconnectSchedule {
public:
    void Lost(uint64_t nowMs) {
        m_lostAtMs = nowMs;
        m_nextMs = nowMs;
    }
    void Failed(uint64_t nowMs) {
        m_nextMs = nowMs + (nowMs - m_lostAtMs < kFirstMinuteMs ? kEarlyEveryMs : kLaterEveryMs);
    }
    bool Due(uint64_t nowMs) const { return nowMs >= m_nextMs; }
    uint64_t LostForMs(uint64_t nowMs) const { return nowMs - m_lostAtMs; }

private:
    static constexpr uint64_t kFirstMinuteMs = 60000;
    static constexpr uint64_t kEarlyEveryMs = 1000;
    static constexpr uint64_t kLaterEveryMs = 10000;

    uint64_t m_lostAtMs = 0;
    uint64_t m_nextMs = 0;
};
