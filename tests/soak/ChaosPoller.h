#pragma once
// One driver object of the chaos soak, polling its tags from a thread of its
// own, cycle after cycle, with a write now and then. Every read and write is
// judged as it returns: within its time bound, a value read OK one the tag
// held while the read could have fetched it, a write confirmed OK what the
// device then holds. While counting, each cycle's read requests are counted
// in the line's request log and the cycle is judged healthy when every tag
// read OK and, in a cycle without a write, the count met the plan.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "ChaosRun.h"
#include "support/HostDriver.h"

struct PollFigures {
    uint32_t reads = 0;
    uint32_t failedReads = 0;
    uint32_t wrong = 0;
    uint32_t writes = 0;
    uint32_t failedWrites = 0;
};

// The cycles counted since counting began.
struct PollHealth {
    uint32_t cycles = 0;
    uint32_t requests = 0;  // read requests of the last cycle without a write
    uint32_t requestsCycle = 0;  // which cycle that was
    uint32_t healthyInARow = 0;
    SoakClock::time_point healthySince;  // start of the first of those
    // Cycles in a row within the cycle bound, whether every read succeeded
    // or not: a demoted station's reads fail at once.
    uint32_t inTimeInARow = 0;
    double slowestHealthyMs = 0;  // of the healthy cycles' reads and writes
};

class ChaosPoller {
public:
    ChaosPoller(ChaosRun& run, HostDriver& driver, int index, uint32_t boundMs);
    ~ChaosPoller();

    // Parses the tags; false when the driver refused one.
    bool Prepare();
    void Start();
    void Stop();

    // Counting starts at the next cycle, against plan (0: every cycle that
    // reads every tag is healthy); the caller clears the request log first.
    // A cycle is healthy when it read every tag, sent its plan's requests
    // (0: any) and took no longer than cycleBoundMs (0: any time).
    void Count(bool on, uint32_t plan = 0, double cycleBoundMs = 0);
    PollHealth Health();
    PollFigures Figures();

private:
    void Cycle();
    bool ReadTag(size_t i);
    void WriteTag();
    uint32_t CountRequests();
    void CheckBound(const char* call, size_t i, SoakClock::time_point start, SoakClock::time_point end);
    size_t Global(size_t i) const { return m_index * m_run.TagsPerDriver() + i; }

    ChaosRun& m_run;
    HostDriver& m_driver;
    const size_t m_index;
    const uint32_t m_boundMs;
    std::vector<TagAddress> m_parsed;
    std::vector<SoakClock::time_point> m_lastReadStart;
    std::mt19937 m_random;
    std::atomic<bool> m_counting{false};
    bool m_baselined = false;
    uint32_t m_requestsBefore = 0;
    std::mutex m_mutex;  // guards the figures, the health and the plan
    PollFigures m_figures;
    PollHealth m_health;
    uint32_t m_plan = 0;
    double m_cycleBoundMs = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
