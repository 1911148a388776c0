// One byte of a reply inverted on the line, wherever it lies: the frame
// fails its checks and the call fails; the next one gets a sound reply.
#include "FaultLine.h"

TEST_F(FaultLine, ACorruptedByteAnywhereInAReadReplyFailsTheRead) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    constexpr size_t kReplyLength = 11;  // station, function, count, 3 registers, CRC
    for (size_t index = 0; index < kReplyLength; ++index) {
        SCOPED_TRACE("byte " + std::to_string(index));
        SetTableValue(1, tag, static_cast<uint32_t>(0x0D10 + index));
        line.CorruptNextReply(index);
        EXPECT_EQ(ReadChecked(1, tag), kReadFailed);
        EXPECT_EQ(ReadChecked(1, tag), kSucceeded) << "the read after it";
    }
}

TEST_F(FaultLine, ACorruptedByteAnywhereInAnAcknowledgementFailsTheWrite) {
    const TagAddress tag = driver.Tag("4x20", kTypeUInt16);
    constexpr size_t kAcknowledgementLength = 8;
    for (size_t index = 0; index < kAcknowledgementLength; ++index) {
        SCOPED_TRACE("byte " + std::to_string(index));
        line.CorruptNextReply(index);
        EXPECT_EQ(Write(1, tag, static_cast<uint32_t>(0x0E10 + index)), kWriteFailed);
        line.ClearRequests();
        EXPECT_EQ(ReadChecked(1, tag), kSucceeded);
        EXPECT_EQ(line.Requests().size(), 1u) << "a failed write leaves no value to serve";
    }
    EXPECT_EQ(Write(1, tag, 0x0E20), kSucceeded);
    line.ClearRequests();
    EXPECT_EQ(ReadChecked(1, tag), kSucceeded);
    EXPECT_EQ(line.Requests().size(), 0u) << "a confirmed write leaves its value to serve";
}
