#pragma once
// What the chaos soak's threads share: the line (one command at a time), the
// tags of both driver objects with their history, the seed and the clock
// every report is timed by, and the list of broken properties.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ChaosTags.h"
#include "TagHistory.h"
#include "support/LineFixture.h"

class ChaosRun {
public:
    // queuesRequests: the line is reached through a gateway that queues
    // requests and carries out those the driver gave up on.
    ChaosRun(LineFixture& line, uint32_t seed, bool queuesRequests);

    uint32_t Seed() const { return m_seed; }
    bool QueuesRequests() const { return m_queuesRequests; }
    // Seconds since the run began, for reports.
    double Seconds(SoakClock::time_point at = SoakClock::now()) const;

    // One line server command, or a few that belong together, at a time.
    template <typename Step>
    auto OnLine(Step&& step) {
        std::lock_guard<std::mutex> lock(m_lineMutex);
        return step(m_line);
    }

    // Tags are numbered across both driver objects: driver d's tag i is
    // d * TagsPerDriver() + i.
    size_t TagsPerDriver() const { return m_tags.size() / 2; }
    const ChaosTag& Tag(size_t index) const { return m_tags[index]; }
    TagHistory& History() { return m_history; }
    // Every tag's first value, in the device and in its history.
    void GiveFirstValues();
    // Gives the tag its nth value in the device, and records the change.
    void SetNthValue(size_t index, uint32_t n);
    // The raw value the tag's items hold in the device now.
    uint32_t DeviceValue(size_t index);

    // How long each driver object pauses between its cycles, as a host that
    // polls slower than it could; 0: back to back.
    void PauseBetweenCycles(uint32_t ms) { m_cyclePauseMs = ms; }
    uint32_t CyclePauseMs() const { return m_cyclePauseMs; }

    // Prints what broke, with the seed and the time; counted for the exit code.
    void Broke(const std::string& what);
    uint32_t BrokenCount() const { return m_broken; }

private:
    LineFixture& m_line;
    const uint32_t m_seed;
    const bool m_queuesRequests;
    const SoakClock::time_point m_start = SoakClock::now();
    std::vector<ChaosTag> m_tags;
    TagHistory m_history;
    std::mutex m_lineMutex;
    std::mutex m_printMutex;
    std::atomic<uint32_t> m_broken{0};
    std::atomic<uint32_t> m_cyclePauseMs{0};
};
