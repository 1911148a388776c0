// Exception replies, with a valid CRC, in place of the device's answer: a
// read fails with code 5 and a write with code 6, whatever the exception;
// nothing of either reaches a cache, and the next call goes to the device.
// A device that lacks a register inside a planned block refuses the block:
// the driver learns where to split it, and only the tag whose own register
// is lacking fails.
#include "FaultLine.h"

namespace {

constexpr uint8_t kExceptionCodes[] = {1, 2, 3, 4, 5, 6, 8, 10, 11};

}  // namespace

TEST_F(FaultLine, EveryExceptionCodeFailsReadsAndWritesOfHoldingRegisters) {
    const TagAddress block = driver.Tag("4x1,3", kTypeUInt16);
    const TagAddress single = driver.Tag("4x20", kTypeUInt16);
    uint16_t next = 0x1400;
    for (uint8_t code : kExceptionCodes) {
        SCOPED_TRACE("exception " + std::to_string(code));
        SetTableValue(1, block, ++next);
        line.PrefixNextReply(ExceptionReply(1, 3, code));
        line.DropNextReply();
        EXPECT_EQ(ReadChecked(1, block), kReadFailed);
        EXPECT_EQ(ReadChecked(1, block), kSucceeded) << "the read after it";

        line.PrefixNextReply(ExceptionReply(1, 6, code));
        line.DropNextReply();
        EXPECT_EQ(Write(1, single, ++next), kWriteFailed);
        line.ClearRequests();
        EXPECT_EQ(ReadChecked(1, single), kSucceeded);
        EXPECT_EQ(line.Requests().size(), 1u) << "a refused write leaves no value to serve";
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
        uint16_t hole;  // zero-based
        bool holeIsATag;
        size_t firstCycleRequests;  // learning included
        size_t laterRequests;
        std::vector<std::string> splits;
    } cases[] = {
        {"a register between two tags", 1, 100, 108, 104, false, 3, 2, {"Split: station 1 4x100..4x108 at 4x106"}},
        {"a tag's own register", 2, 201, 204, 202, true, 5, 3,
         {"Split: station 2 4x201..4x204 at 4x203", "Split: station 2 4x203..4x204 at 4x204"}},
    };
    // Every tag is parsed before the first read, as a host does.
    std::vector<std::vector<TagAddress>> tagsOf;
    for (const auto& c : cases) {
        std::vector<TagAddress>& tags = tagsOf.emplace_back();
        for (int32_t item = c.first; item <= c.last; ++item) {
            if (item - 1 == c.hole && !c.holeIsATag) continue;
            tags.push_back(driver.Tag(("4x" + std::to_string(item)).c_str(), kTypeUInt16));
            SetTableValue(c.station, tags.back(), static_cast<uint32_t>(0x1600 + item));
        }
        line.LackHoldingRegister(c.station, c.hole);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        const std::vector<TagAddress>& tags = tagsOf[&c - cases];
        for (int cycle = 0; cycle < 3; ++cycle) {
            line.ClearRequests();
            for (const TagAddress& tag : tags) {
                EXPECT_EQ(ReadChecked(c.station, tag), tag.address - 1 == c.hole ? kReadFailed : kSucceeded)
                    << "cycle " << cycle << ", 4x" << tag.address;
            }
            EXPECT_EQ(RequestsFor(c.station), cycle == 0 ? c.firstCycleRequests : c.laterRequests) << "cycle " << cycle;
        }
    }
    std::vector<std::string> splits;
    for (const auto& c : cases) splits.insert(splits.end(), c.splits.begin(), c.splits.end());
    EXPECT_EQ(TracedEvents(), splits);
}
