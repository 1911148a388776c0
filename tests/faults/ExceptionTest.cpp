// Exception replies, with a valid CRC, in place of the device's answer: a
// read fails with code 5 and a write with code 6, whatever the exception;
// nothing of either reaches a cache, and the next call goes to the device.
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
