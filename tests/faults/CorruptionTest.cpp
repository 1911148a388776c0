// One byte of a reply inverted on the line, wherever it lies: the frame
// fails its checks and the request is sent once more. A repeat broken too
// fails the call, and the next one gets a sound reply. A line that corrupts
// one reply in twenty costs no read at all.
#include "FaultLine.h"

TEST_F(FaultLine, ACorruptedByteAnywhereInAReadReplyIsAskedForAgain) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    constexpr size_t kReplyLength = 11;  // station, function, count, 3 registers, CRC
    for (size_t index = 0; index < kReplyLength; ++index) {
        for (size_t corrupted : {1, 2}) {
            SCOPED_TRACE("byte " + std::to_string(index) + " of " + std::to_string(corrupted) + " replies");
            SetTableValue(1, tag, static_cast<uint32_t>(0x0D10 + 16 * corrupted + index));
            line.CorruptNextReply(index);
            line.RepeatNextFault(corrupted);
            line.ClearRequests();
            EXPECT_EQ(ReadChecked(1, tag), corrupted == 1 ? kSucceeded : kReadFailed);
            EXPECT_EQ(line.Requests().size(), 2u);
            EXPECT_EQ(ReadChecked(1, tag), kSucceeded) << "the read after it";
        }
    }
}

TEST_F(FaultLine, ACorruptedByteAnywhereInAnAcknowledgementIsAskedForAgain) {
    const TagAddress tag = driver.Tag("4x20", kTypeUInt16);
    constexpr size_t kAcknowledgementLength = 8;
    for (size_t index = 0; index < kAcknowledgementLength; ++index) {
        for (size_t corrupted : {1, 2}) {
            SCOPED_TRACE("byte " + std::to_string(index) + " of " + std::to_string(corrupted) + " replies");
            line.CorruptNextReply(index);
            line.RepeatNextFault(corrupted);
            EXPECT_EQ(Write(1, tag, static_cast<uint32_t>(0x0E10 + 16 * corrupted + index)),
                      corrupted == 1 ? kSucceeded : kWriteFailed);
            line.ClearRequests();
            EXPECT_EQ(ReadChecked(1, tag), kSucceeded);
            EXPECT_EQ(line.Requests().size(), corrupted == 1 ? 0u : 1u)
                << "only a confirmed write leaves its value to serve";
        }
    }
}

TEST_F(FaultLine, OneReplyInTwentyCorruptedCostsNoRead) {
    std::vector<TagAddress> tags;
    for (int item = 1; item <= 10; ++item) tags.push_back(driver.Tag(("4x" + std::to_string(item)).c_str(), kTypeUInt16));
    for (int item = 1; item <= 8; ++item) tags.push_back(driver.Tag(("0x" + std::to_string(item)).c_str(), kTypeBit));
    tags.push_back(driver.Tag("3x1", kTypeFloat));
    line.CorruptEveryNthReply(20);
    for (uint32_t cycle = 0; cycle < 20; ++cycle) {
        for (const TagAddress& tag : tags) SetTableValue(1, tag, tag.area == kAreaCoils ? cycle % 2 : 0x0F00 + cycle);
        EXPECT_EQ(PollCycle(1, tags), 0) << "cycle " << cycle;
    }
    line.CorruptEveryNthReply(0);
    size_t retries = 0;
    for (const std::string& event : TracedEvents()) retries += event.rfind("Retry: station 1 function ", 0) == 0;
    EXPECT_EQ(retries, 3u) << "60 requests, and a retry for each twentieth reply";
}
