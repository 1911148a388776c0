#pragma once
// The tests' one clock: milliseconds since the stopwatch started, on a
// monotonic clock, for the figures tests print.
#include <chrono>

class Stopwatch {
public:
    double ElapsedMs() const {
        return std::chrono::duration<double, std::milli>(Clock::now() - m_start).count();
    }
    void Restart() { m_start = Clock::now(); }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point m_start = Clock::now();
};
