#pragma once
// What each tag's items held in the device over time, as raw values, so that
// a read can be judged by the values the device held while it ran. A change
// is known to happen somewhere between the moment it was asked for and the
// moment it was seen done: in between, the old and the new value both count
// as held. Shared by the soak's threads; only the newest changes are kept.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

using SoakClock = std::chrono::steady_clock;

class TagHistory {
public:
    explicit TagHistory(size_t tagCount);

    // The tag's value from the start.
    void Begin(size_t tag, uint32_t raw, SoakClock::time_point at);
    // The tag changed to raw at some time in asked..done; a change that may
    // still come is settled by then.
    void Change(size_t tag, uint32_t raw, SoakClock::time_point asked, SoakClock::time_point done);
    // The tag may change to raw at any time from asked on, until the next
    // Change: a gateway that queued a write the driver gave up on still
    // carries it out.
    void MayChange(size_t tag, uint32_t raw, SoakClock::time_point asked);
    // Every value the tag held at some time in from..to.
    std::vector<uint32_t> HeldBetween(size_t tag, SoakClock::time_point from, SoakClock::time_point to);
    // The value the tag was given last.
    uint32_t Latest(size_t tag);
    // How many changes the tag has seen, for the next value to give it.
    uint32_t Changes(size_t tag);

private:
    struct Held {
        uint32_t raw;
        SoakClock::time_point from;
        SoakClock::time_point until;
    };
    // Far more than a read's window ever spans; reserved up front, so that
    // the history does not grow the process's memory during the soak.
    static constexpr size_t kKept = 64;

    static void Keep(std::vector<Held>& held, const Held& added);

    std::mutex m_mutex;
    std::vector<std::vector<Held>> m_held;
    std::vector<uint32_t> m_changes;
};
