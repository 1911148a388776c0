// How much line traffic a host's poll of 30 tags in three blocks costs, cycle
// by cycle: printed for the reader, not held against a limit.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/TagValues.h"
#include "support/HostDriver.h"
#include "support/LineFixture.h"
#include "support/Stopwatch.h"

namespace {

struct PolledTag {
    std::string text;
    TagAddress tag;
};

// Ten items of one area and type, step apart from the first.
void AddTen(HostDriver& rig, std::vector<PolledTag>& tags, const char* area, int first, int step, int16_t type) {
    for (int i = 0; i < 10; ++i) {
        const std::string text = area + std::to_string(first + step * i);
        tags.push_back({text, rig.Tag(text.c_str(), type)});
    }
}

TEST(PollOfThirtyTags, PrintsRequestsAndTimePerCycle) {
    LineFixture line;
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    std::vector<PolledTag> tags;
    AddTen(rig, tags, "4x", 1, 1, kTypeUInt16);  // one block of 10 registers
    AddTen(rig, tags, "3x", 1, 2, kTypeFloat);  // one block of 20 registers
    AddTen(rig, tags, "0x", 1, 1, kTypeBit);  // one block of 10 coils

    std::printf("poll of %zu tags in three blocks, 9600 baud:\n", tags.size());
    for (int cycle = 1; cycle <= 5; ++cycle) {
        double elapsedMs = 0;
        const Frames requests = line.RequestsDuring([&] {
            const Stopwatch cycleTime;
            for (const PolledTag& polled : tags) {
                TagValue value = Untouched();
                EXPECT_EQ(rig.Read(1, polled.tag, value), kSucceeded) << polled.text;
            }
            elapsedMs = cycleTime.ElapsedMs();
        });
        std::printf("  cycle %d: %zu requests, %.0f ms\n", cycle, requests.size(), elapsedMs);
        RecordProperty("cycle" + std::to_string(cycle) + "Requests", static_cast<int>(requests.size()));
    }
}

}  // namespace
