#pragma once
// The performance counter, in its ticks, milliseconds and microseconds: the
// line's timings are a few milliseconds, far below the system tick of about
// 15.6 ms.
#include <windows.h>

#include <algorithm>
#include <cstdint>

class CLineClock {
public:
    CLineClock() {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        m_ticksPerSecond = std::max<int64_t>(frequency.QuadPart, 1000000);
    }
    int64_t Now() const {
        LARGE_INTEGER count;
        QueryPerformanceCounter(&count);
        return count.QuadPart;
    }
    // Microseconds from the same origin, without overflow for any uptime.
    int64_t NowUs() const {
        const int64_t ticks = Now();
        return ticks / m_ticksPerSecond * 1000000 + ticks % m_ticksPerSecond * 1000000 / m_ticksPerSecond;
    }
    int64_t Later(uint32_t ms) const { return Now() + TicksOfMicroseconds(uint64_t{ms} * 1000); }
    int64_t TicksOfMicroseconds(uint64_t us) const {
        return static_cast<int64_t>(us * static_cast<uint64_t>(m_ticksPerSecond) / 1000000);
    }
    // Whole milliseconds until then, rounded up; 0 once it has passed.
    uint32_t MsUntil(int64_t then) const {
        const int64_t ticks = then - Now();
        if (ticks <= 0) return 0;
        const int64_t ticksPerMs = m_ticksPerSecond / 1000;
        return static_cast<uint32_t>((ticks + ticksPerMs - 1) / ticksPerMs);
    }

private:
    int64_t m_ticksPerSecond;
};
