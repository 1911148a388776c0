// The sleep of a precise wait, and the margin its kind of sleep needs.
#include "serial/PreciseWait.h"

#include <algorithm>

namespace {

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, missing from some SDKs' headers;
// systems before Windows 10 version 1803 refuse it.
constexpr DWORD kHighResolutionTimer = 0x00000002;
// How late a high-resolution timer may wake on a busy system, with room.
constexpr uint64_t kTimerMarginUs = 1000;
// Above the tick, Sleep may wake up to a tick late; a millisecond more
// covers the rounding to whole milliseconds.
constexpr uint64_t kSleepExtraMarginUs = 1000;

// The scheduler tick; GetSystemTimeAdjustment counts it in 100 ns.
uint64_t SchedulerTickUs() {
    DWORD adjustment = 0;
    DWORD increment = 0;
    BOOL disabled = FALSE;
    constexpr uint64_t kUsualTickUs = 15625;
    if (!GetSystemTimeAdjustment(&adjustment, &increment, &disabled) || increment == 0) return kUsualTickUs;
    return increment / 10;
}

}  // namespace

CPreciseWait::CPreciseWait()
    : m_timer(CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS)) {
    const uint64_t marginUs = m_timer != nullptr ? kTimerMarginUs : SchedulerTickUs() + kSleepExtraMarginUs;
    m_marginTicks = m_clock.TicksOfMicroseconds(marginUs);
    m_ticksPerSecond = m_clock.TicksOfMicroseconds(1000000);
}

CPreciseWait::~CPreciseWait() {
    if (m_timer != nullptr) CloseHandle(m_timer);
}

void CPreciseWait::Until(int64_t moment) const {
    SleepNear(moment, moment);
    while (m_clock.Now() < moment) {
    }
}

void CPreciseWait::SleepNear(int64_t moment, int64_t latest) const {
    const int64_t sleepTicks = std::min(moment - m_marginTicks, latest) - m_clock.Now();
    if (sleepTicks > 0) SleepFor(sleepTicks);
}

// A timer that cannot be set leaves the whole wait to the spin. The wait on
// it is bounded, in case it never fires.
void CPreciseWait::SleepFor(int64_t ticks) const {
    const int64_t us = ticks * 1000000 / m_ticksPerSecond;
    if (m_timer == nullptr) {
        Sleep(static_cast<DWORD>(us / 1000));
        return;
    }
    LARGE_INTEGER due;
    due.QuadPart = -10 * us;  // relative, in 100 ns
    if (SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE)) {
        WaitForSingleObject(m_timer, static_cast<DWORD>(us / 1000 + kTimerMarginUs / 1000 + 1));
    }
}
