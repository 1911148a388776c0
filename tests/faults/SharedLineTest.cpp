// Two driver objects on one link, each polled from a thread of its own at
// the same time, as a host that gives every device its own thread: the line
// takes their exchanges in turns, so every read succeeds with the device's
// value. Objects closing and opening the link again meanwhile never leave
// the other on a closed port.
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
// Many Closes and Opens for each round of reads, so that one object's
// leaving meets the other's adopting often.
constexpr int kReopensPerRound = 10;

uint16_t DeviceValue(int station, int item) {
    return static_cast<uint16_t>(station * 1000 + item * 7);
}

struct PollFigures {
    std::atomic<int> reads{0};
    std::atomic<int> delivered{0};
    std::atomic<int> wrong{0};
    std::atomic<int> refusedOpens{0};
};

// What a thread does with its driver object before each round of reads.
enum class BeforeRound { kNothing, kCloseAndOpen };

// Tags 4x1, 4x11, 4x21, 4x31 of station: four blocks, so that every round
// sends requests. Opening again takes the opener's settings record, as a
// host gives both devices one record; a round whose last Open was refused
// reads nothing.
void Poll(HostDriver& driver, HostDriver& opener, int station, BeforeRound before, PollFigures& figures) {
    TagAddress tags[kTagsPerDevice];
    for (int i = 0; i < kTagsPerDevice; ++i) {
        tags[i] = driver.Tag(("4x" + std::to_string(1 + 10 * i)).c_str(), kTypeUInt16);
    }
    for (int round = 0; round < kRounds; ++round) {
        bool open = true;
        for (int i = 0; before == BeforeRound::kCloseAndOpen && i < kReopensPerRound; ++i) {
            driver.Close();
            open = driver.OpenRecordOf(opener) == kSucceeded;
            if (!open) ++figures.refusedOpens;
        }
        if (!open) continue;
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
    const struct {
        const char* name;
        BeforeRound first;
        BeforeRound second;
    } cases[] = {
        {"both poll", BeforeRound::kNothing, BeforeRound::kNothing},
        {"the second closes and opens again before every round", BeforeRound::kNothing, BeforeRound::kCloseAndOpen},
        {"both close and open again before every round", BeforeRound::kCloseAndOpen, BeforeRound::kCloseAndOpen},
    };
    LineFixture line(115200, {1, 2});
    for (int station : {1, 2}) {
        for (int i = 0; i < kTagsPerDevice; ++i) {
            line.SetHoldingRegister(station, static_cast<uint16_t>(10 * i), DeviceValue(station, 10 * i));
        }
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostDriver first;
        HostDriver second;
        ASSERT_EQ(first.Open(line.PortIndex(), kBaudIndex115200, kResponseTimeoutMs), kSucceeded);
        ASSERT_EQ(second.OpenRecordOf(first), kSucceeded);

        PollFigures figures;
        std::thread one([&] { Poll(first, first, 1, c.first, figures); });
        std::thread two([&] { Poll(second, first, 2, c.second, figures); });
        one.join();
        two.join();

        std::printf("%s: %d of %d reads delivered a value, %d wrong, %d opens refused\n", c.name,
                    figures.delivered.load(), figures.reads.load(), figures.wrong.load(), figures.refusedOpens.load());
        EXPECT_GT(figures.reads, 0);
        EXPECT_EQ(figures.delivered, figures.reads) << "a read after a successful Open failed";
        EXPECT_EQ(figures.wrong, 0);
        first.Close();
        second.Close();
    }
}

}  // namespace
