// The slave goes away in the middle of a poll and comes back: reads fail
// with code 5 while it is gone and recover by themselves once it is back,
// with no Close and no Open in between.
#include "FaultLine.h"

#include <set>

namespace {

struct PolledTag {
    int32_t station;
    const char* text;
    int16_t type;
    int block;  // tags of one block are fetched by one request
};

// Blocks interleaved, as a host polls tags in its own order.
const PolledTag kPoll[] = {
    {1, "4x1", kTypeUInt16, 0}, {1, "0x1", kTypeBit, 1},  {2, "4x1", kTypeInt16, 2},
    {1, "4x2", kTypeUInt16, 0}, {1, "0x2", kTypeBit, 1},  {2, "4x2", kTypeInt16, 2},
    {1, "4x3", kTypeBcd, 0},    {1, "0x3", kTypeBit, 1},  {1, "3x1", kTypeUInt32, 3},
};
constexpr size_t kPolledBeforeStop = 4;

}  // namespace

TEST_F(FaultLine, ReadsRecoverByThemselvesWhenTheSlaveComesBack) {
    std::vector<TagAddress> tags;
    for (const PolledTag& polled : kPoll) tags.push_back(driver.Tag(polled.text, polled.type));
    uint32_t round = 0;
    auto changeTables = [&] {
        ++round;
        for (size_t i = 0; i < tags.size(); ++i) {
            const bool bit = tags[i].area == kAreaCoils;
            SetTableValue(kPoll[i].station, tags[i], bit ? round % 2 : 0x1500 + 16 * round + i);
        }
    };
    auto poll = [&](size_t from, size_t to, Outcome expected) {
        for (size_t i = from; i < to; ++i) EXPECT_EQ(ReadChecked(kPoll[i].station, tags[i]), expected) << kPoll[i].text;
    };

    changeTables();
    poll(0, tags.size(), kSucceeded);
    poll(0, tags.size(), kSucceeded);

    // Stopped mid-poll: tags of a block fetched before the stop are served
    // from that fetch; the others find no one.
    std::set<int> fetched;
    for (size_t i = 0; i < kPolledBeforeStop; ++i) {
        EXPECT_EQ(ReadChecked(kPoll[i].station, tags[i]), kSucceeded);
        fetched.insert(kPoll[i].block);
    }
    line.StopSlave();
    for (size_t i = kPolledBeforeStop; i < tags.size(); ++i) {
        const Outcome expected = fetched.count(kPoll[i].block) ? kSucceeded : kReadFailed;
        EXPECT_EQ(ReadChecked(kPoll[i].station, tags[i]), expected) << kPoll[i].text;
    }

    changeTables();
    poll(0, tags.size(), kReadFailed);
    EXPECT_EQ(Write(1, tags[0], 0x1234), kWriteFailed);
    poll(0, tags.size(), kReadFailed);

    line.StartSlave();
    poll(0, tags.size(), kSucceeded);
    changeTables();
    poll(0, tags.size(), kSucceeded);
    EXPECT_EQ(Write(1, tags[0], 0x1234), kSucceeded);
    poll(0, tags.size(), kSucceeded);
}
