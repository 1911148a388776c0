#pragma once
// Waits until a moment of the line clock to within a few microseconds
// without holding a core for the whole wait: it sleeps until a margin before
// the moment and spins the rest. A high-resolution waitable timer wakes
// within a fraction of a millisecond of its due time; where the system has
// none, Sleep wakes on the scheduler tick, so its margin is a whole tick. A
// wait shorter than the margin spins throughout, as a sleep could overrun it.
// One thread waits at a time.
#include <windows.h>

#include <cstdint>

#include "line/LineClock.h"

class CPreciseWait {
public:
    CPreciseWait();
    ~CPreciseWait();
    CPreciseWait(const CPreciseWait&) = delete;
    CPreciseWait& operator=(const CPreciseWait&) = delete;

    // Returns once the clock has reached moment.
    void Until(int64_t moment) const;
    // Sleeps until the margin before moment, or until latest if that comes
    // first; returns at once when that time has come.
    void SleepNear(int64_t moment, int64_t latest) const;

private:
    void SleepFor(int64_t ticks) const;

    CLineClock m_clock;
    HANDLE m_timer = nullptr;
    int64_t m_marginTicks = 0;
    int64_t m_ticksPerSecond = 1;
};
