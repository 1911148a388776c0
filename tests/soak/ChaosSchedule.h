#pragma once
// The chaos soak's fault schedule, drawn from the seed: every fault the line
// server offers, in a shuffled round, each for a while on one station, with
// quiet gaps between them; all along, the tags the line server owns change
// their values now and then. The same seed draws the same schedule.
#include <cstdint>
#include <functional>
#include <random>

#include "ChaosRun.h"

struct ScheduleTiming {
    uint32_t responseTimeoutMs;
    uint32_t turnaroundMs;
    bool adapterCanBePulled;  // a serial line: its port can go away and come back
    // The driver hears the line's own bytes: not behind a gateway, whose
    // serial side an echoing adapter or a reply's late copy would trouble
    // instead.
    bool driverHearsTheLine;
    bool boxCanCloseIdle;  // a network line: the box may close a connection that idles
};

class ChaosSchedule {
public:
    ChaosSchedule(ChaosRun& run, ScheduleTiming timing);

    // Faults for the given time, printed as they start; then every fault is
    // off again. Each fault, once off, is handed to afterEach before the gap
    // that follows it.
    using AfterFault = std::function<void(const char* fault)>;
    void Run(double seconds, const AfterFault& afterEach);
    uint32_t FaultsApplied() const { return m_applied; }
    // Gives a random tag that no driver object writes its next value.
    void ChangeAValue();

    struct Step {
        int station;
        uint32_t a;  // the fault's own figures, as each kind draws them
        uint32_t b;
    };
    struct Kind;

private:
    uint32_t Draw(uint32_t low, uint32_t high);
    void RunStep(const Kind& kind, SoakClock::time_point deadline);
    // Waits about ms, changing values on the way; re-applies a fault that
    // bends only the next reply, so that it keeps coming.
    void Pass(uint32_t ms, const Kind* again, const Step& step);
    void AllOff();

    ChaosRun& m_run;
    const ScheduleTiming m_timing;
    std::mt19937 m_random;
    uint32_t m_applied = 0;
};
