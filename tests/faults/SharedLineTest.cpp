// Two driver objects on one link, each polled from a thread of its own at
// the same time, as a host that gives every device its own thread: the line
// takes their exchanges in turns, so every read succeeds with the device's
// value.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "support/HostDriver.h"
#include "support/LineFixture.h"

namespace {

constexpr int kRounds = 100;
constexpr int kTagsPerDevice = 4;
constexpr uint32_t kResponseTimeoutMs = 300;

uint16_t DeviceValue(int station, int item) {
    return static_cast<uint16_t>(station * 1000 + item * 7);
}

struct PollFigures {
    std::atomic<int> reads{0};
    std::atomic<int> delivered{0};
    std::atomic<int> wrong{0};
};

// Tags 4x1, 4x11, 4x21, 4x31 of station: four blocks, so that every round
// sends requests.
void Poll(HostDriver& driver, int station, PollFigures& figures) {
    TagAddress tags[kTagsPerDevice];
    for (int i = 0; i < kTagsPerDevice; ++i) {
        tags[i] = driver.Tag(("4x" + std::to_string(1 + 10 * i)).c_str(), kTypeUInt16);
    }
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kTagsPerDevice; ++i) {
            TagValue value{};
            ++figures.reads;
            if (!(driver.Read(station, tags[i], value) == kSucceeded)) continue;
            ++figures.delivered;
            if (value.wordValue != DeviceValue(station, 10 * i)) ++figures.wrong;
        }
    }
}

TEST(SharedLine, TwoThreadsPollingTwoDriverObjectsOnOneLinkReadEverything) {
    LineFixture line(115200, {1, 2});
    for (int station : {1, 2}) {
        for (int i = 0; i < kTagsPerDevice; ++i) {
            line.SetHoldingRegister(station, static_cast<uint16_t>(10 * i), DeviceValue(station, 10 * i));
        }
    }
    HostDriver first;
    HostDriver second;
    ASSERT_EQ(first.Open(line.PortIndex(), kBaudIndex115200, kResponseTimeoutMs), kSucceeded);
    ASSERT_EQ(second.OpenShared(first), kSucceeded);

    PollFigures figures;
    std::thread one([&] { Poll(first, 1, figures); });
    std::thread two([&] { Poll(second, 2, figures); });
    one.join();
    two.join();

    std::printf("two threads on one link: %d of %d reads delivered a value, %d wrong\n", figures.delivered.load(),
                figures.reads.load(), figures.wrong.load());
    EXPECT_EQ(figures.reads, 2 * kRounds * kTagsPerDevice);
    EXPECT_EQ(figures.delivered, figures.reads);
    EXPECT_EQ(figures.wrong, 0);
}

}  // namespace
