// A station is switched off in the middle of a poll and back on: its block
// requests fail with code 5, each once a cycle, until its silences demote
// it; then its reads and writes fail at once without a request, for it and
// for every driver object on its link, while the other station of the line
// is read as before. Once the period has passed, a probe finds it back and
// its reads recover by themselves, with no Close and no Open in between.
#include "FaultLine.h"

namespace {

struct PolledTag {
    const char* text;
    int16_t type;
};

// Three blocks, interleaved as a host polls tags in its own order.
const PolledTag kStationOne[] = {{"4x1", kTypeUInt16}, {"0x1", kTypeBit}, {"4x2", kTypeUInt16}, {"0x2", kTypeBit},
                                 {"4x3", kTypeBcd},    {"0x3", kTypeBit}, {"3x1", kTypeUInt32}};
const PolledTag kStationTwo[] = {{"4x1", kTypeInt16}, {"4x2", kTypeInt16}};
constexpr size_t kBlocksOfStationOne = 3;
constexpr int kDemoteForMs = 10000;

}  // namespace

TEST_F(FaultLine, ASilentStationIsDemotedAloneAndReadAgainOnceItsPeriodHasPassed) {
    std::vector<TagAddress> one;
    std::vector<TagAddress> two;
    for (const PolledTag& polled : kStationOne) one.push_back(driver.Tag(polled.text, polled.type));
    for (const PolledTag& polled : kStationTwo) two.push_back(driver.Tag(polled.text, polled.type));
    HostDriver sharing;
    ASSERT_EQ(sharing.OpenShared(driver), kSucceeded);
    const TagAddress sharedTag = sharing.Tag("4x1", kTypeUInt16);
    for (size_t i = 0; i < one.size(); ++i) {
        SetTableValue(1, one[i], one[i].area == kAreaCoils ? i % 2 : 0x1500 + i);
    }

    line.ClearRequests();
    EXPECT_EQ(PollCycle(1, one), 0);
    EXPECT_EQ(RequestsFor(1), kBlocksOfStationOne) << "the first cycle asks for whole blocks";

    line.SwitchStation(1, false);
    for (int cycle = 0; cycle < 2; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle) + " with station 1 off");
        line.ClearRequests();
        EXPECT_EQ(PollCycle(1, one), static_cast<int>(one.size()));
        EXPECT_EQ(RequestsFor(1), cycle == 0 ? kBlocksOfStationOne : 0u);
        EXPECT_EQ(PollCycle(2, two), 0);
    }
    line.ClearRequests();
    EXPECT_EQ(Write(1, one[0], 0x1234), kWriteFailed);
    TagValue value{};
    EXPECT_EQ(sharing.Read(1, sharedTag, value), kReadFailed);
    EXPECT_EQ(RequestsFor(1), 0u) << "a demoted station is neither written nor read, by any object on its link";
    EXPECT_EQ(TracedEvents(), (std::vector<std::string>{"Demote: station 1 for 10000 ms"}));

    line.SwitchStation(1, true);
    Sleep(kDemoteForMs + 3 * kResponseTimeoutMs);
    line.ClearRequests();
    EXPECT_EQ(PollCycle(1, one), 0);
    EXPECT_EQ(RequestsFor(1), kBlocksOfStationOne);
    EXPECT_EQ(Write(1, one[0], 0x1234), kSucceeded);
    EXPECT_EQ(sharing.Read(1, sharedTag, value), kSucceeded);
    EXPECT_EQ(TracedEvents(), (std::vector<std::string>{"Demote: station 1 for 10000 ms", "Probe: station 1",
                                                        "Restore: station 1"}));
}
