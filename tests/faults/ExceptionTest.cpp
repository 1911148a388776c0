// Exception replies, with a valid CRC, in place of the device's answer: a
// read fails with code 5 and a write with code 6; nothing of either reaches
// a cache, and the next call goes to the device. A busy device (05, 06) is
// asked again after a pause, within its retries, except for a write it took
// (05), which fails with code 9's text of its own, and never demoted for it.
// A device that lacks a register inside a planned block refuses the block:
// the driver learns where to split it, and only the tag whose own register
// is lacking fails. A device that refuses every register is not split.
#include <algorithm>

#include "FaultLine.h"

namespace {

// Each code answers this many requests in a row, a read's and then a write's.
const struct {
    uint8_t code;
    size_t answers;
    Outcome read;
    size_t readRequests;
    Outcome write;
    size_t writeRequests;
} kExceptions[] = {
    {1, 1, kReadFailed, 1, kWriteFailed, 1},  {2, 1, kReadFailed, 1, kWriteFailed, 1},
    {3, 1, kReadFailed, 1, kWriteFailed, 1},  {4, 1, kReadFailed, 1, kWriteFailed, 1},
    {8, 1, kReadFailed, 1, kWriteFailed, 1},  {10, 1, kReadFailed, 1, kWriteFailed, 1},
    {11, 1, kReadFailed, 1, kWriteFailed, 1},
    // Busy, with retries = 3: three busy answers in a row demote nothing, and
    // a write answered 05 was taken, so it is not sent again, and says so.
    {5, 1, kSucceeded, 2, kWriteAcknowledged, 1},
    {6, 3, kSucceeded, 4, kSucceeded, 4},
};

}  // namespace

TEST_F(FaultLine, ExceptionsFailReadsAndWritesOfHoldingRegistersButABusyDeviceIsAskedAgain) {
    SetEnvironmentVariableA("KORVEL_SET", "retries=3;busy_retry_ms=50");
    ASSERT_EQ(driver.Close(), kSucceeded);
    ASSERT_EQ(driver.Open(line.PortIndex(), kBaudIndex9600, kResponseTimeoutMs), kSucceeded);
    SetEnvironmentVariableA("KORVEL_SET", nullptr);
    const TagAddress block = driver.Tag("4x1,3", kTypeUInt16);
    const TagAddress single = driver.Tag("4x20", kTypeUInt16);
    uint16_t next = 0x1400;
    for (const auto& c : kExceptions) {
        SCOPED_TRACE("exception " + std::to_string(c.code));
        SetTableValue(1, block, ++next);
        Outcome outcome{};
        for (size_t n = 0; n < c.answers; ++n) line.RefuseNextRequest(1, c.code);
        EXPECT_EQ(line.RequestsDuring([&] { outcome = ReadChecked(1, block); }).size(), c.readRequests);
        EXPECT_EQ(outcome, c.read);
        EXPECT_EQ(ReadChecked(1, block), kSucceeded) << "the read after it";

        for (size_t n = 0; n < c.answers; ++n) line.RefuseNextRequest(1, c.code);
        EXPECT_EQ(line.RequestsDuring([&] { outcome = Write(1, single, ++next); }).size(), c.writeRequests);
        EXPECT_EQ(outcome, c.write);
        line.ClearRequests();
        EXPECT_EQ(ReadChecked(1, single), kSucceeded);
        EXPECT_EQ(line.Requests().size(), c.write == kSucceeded ? 0u : 1u)
            << "a confirmed write leaves its value to serve, a refused one none";
    }
}

TEST_F(FaultLine, AnExceptionFailsEveryReadAndWriteFunction) {
    const struct {
        const char* tag;
        int16_t type;
        uint8_t function;
        bool write;
        Outcome expected;
    } cases[] = {
        {"0x1", kTypeBit, 1, false, kReadFailed},         {"1x1", kTypeBit, 2, false, kReadFailed},
        {"3x1", kTypeUInt16, 4, false, kReadFailed},      {"4x1", kTypeUInt16, 3, false, kReadFailed},
        {"3x5", kTypeFloat, 4, false, kReadFailed},       {"0x1", kTypeBit, 5, true, kWriteFailed},
        {"4x1", kTypeUInt16, 6, true, kWriteFailed},      {"4x5", kTypeUInt32, 16, true, kWriteFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + ", function " + std::to_string(c.function));
        const TagAddress tag = driver.Tag(c.tag, c.type);
        line.PrefixNextReply(ExceptionReply(1, c.function, 2));
        line.DropNextReply();
        EXPECT_EQ(c.write ? Write(1, tag, 1) : ReadChecked(1, tag), c.expected);
        EXPECT_EQ(ReadChecked(1, tag), kSucceeded) << "the read after it";
    }
}

TEST_F(FaultLine, AHoleInTheRegisterMapFailsOnlyTheTagsInIt) {
    const struct {
        const char* situation;
        int32_t station;
        int32_t first;  // one-based, the tags first..last
        int32_t last;
        std::vector<uint16_t> holes;  // zero-based
        bool holesAreTags;
        bool suppliedAfterFirstCycle;  // as a device that has finished starting
        size_t firstCycleRequests;     // learning included: a split holds once the block is refused again
        size_t laterRequests;
        std::vector<std::string> splits;
    } cases[] = {
        {"a register between two tags", 1, 100, 108, {104}, false, false, 4, 2,
         {"Split: station 1 4x100..4x108 at 4x106"}},
        {"a tag's own register", 2, 201, 204, {202}, true, false, 7, 3,
         {"Split: station 2 4x201..4x204 at 4x203", "Split: station 2 4x203..4x204 at 4x204"}},
        {"every register, until the device serves them", 1, 301, 308, {300, 301, 302, 303, 304, 305, 306, 307}, true,
         true, 5, 1,
         {"Split: station 1 4x301..4x308 at 4x305", "Split: station 1 4x301..4x304 at 4x303",
          "Split: station 1 4x301..4x302 at 4x302", "Split: station 1 4x301..4x308 not split, no part answered"}},
    };
    const auto lacking = [](const auto& c, const TagAddress& tag, bool supplied) {
        const auto item = static_cast<uint16_t>(tag.address - 1);
        return !supplied && std::find(c.holes.begin(), c.holes.end(), item) != c.holes.end();
    };
    // Every tag is parsed before the first read, as a host does.
    std::vector<std::vector<TagAddress>> tagsOf;
    for (const auto& c : cases) {
        std::vector<TagAddress>& tags = tagsOf.emplace_back();
        for (int32_t item = c.first; item <= c.last; ++item) {
            const bool hole = std::find(c.holes.begin(), c.holes.end(), item - 1) != c.holes.end();
            if (hole && !c.holesAreTags) continue;
            tags.push_back(driver.Tag(("4x" + std::to_string(item)).c_str(), kTypeUInt16));
            SetTableValue(c.station, tags.back(), static_cast<uint32_t>(0x1600 + item));
        }
        for (uint16_t hole : c.holes) line.LackHoldingRegister(c.station, hole);
    }
    const auto cycle = [&](const auto& c, const std::vector<TagAddress>& tags, bool supplied) {
        line.ClearRequests();
        for (const TagAddress& tag : tags) {
            EXPECT_EQ(ReadChecked(c.station, tag), lacking(c, tag, supplied) ? kReadFailed : kSucceeded)
                << "4x" << tag.address;
        }
        return RequestsFor(c.station);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        const std::vector<TagAddress>& tags = tagsOf[&c - cases];
        for (int n = 0; n < 3; ++n) {
            const bool supplied = c.suppliedAfterFirstCycle && n > 0;
            if (supplied) {
                for (uint16_t hole : c.holes) line.LackHoldingRegister(c.station, hole, false);
            }
            EXPECT_EQ(cycle(c, tags, supplied), n == 0 ? c.firstCycleRequests : c.laterRequests) << "cycle " << n;
        }
    }
    std::vector<std::string> splits;
    for (const auto& c : cases) splits.insert(splits.end(), c.splits.begin(), c.splits.end());
    EXPECT_EQ(TracedEvents(), splits);

    // Close forgets the splits: the holes still there are learned again.
    ASSERT_EQ(driver.Close(), kSucceeded);
    ASSERT_EQ(driver.Open(line.PortIndex(), kBaudIndex9600, kResponseTimeoutMs), kSucceeded);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        const bool supplied = c.suppliedAfterFirstCycle;
        EXPECT_EQ(cycle(c, tagsOf[&c - cases], supplied), supplied ? c.laterRequests : c.firstCycleRequests);
    }
}
