// Replies that take their time: split by pauses, or so late that the driver
// has given up on them. A late reply must never answer a later request.
#include "FaultLine.h"

#include <algorithm>
#include <optional>

TEST_F(FaultLine, ASplitReplyIsWholeOrFailsButNeverWrong) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    // While the reply is not whole, no pause ends it before the exchange's
    // deadline, the response time-out plus the reply's wire time; one that
    // lasts past it fails the read and its retry. A device still sending a
    // reply that late is busy past the next poll's response time-out too, so
    // the host's next poll comes once the line has fallen quiet.
    const std::optional<Outcome> kEither;
    const struct {
        size_t firstPart;
        uint32_t pauseMs;
        std::optional<Outcome> expected;
    } cases[] = {
        {1, 0, kSucceeded},   {3, 0, kSucceeded},   {8, 0, kSucceeded},   {3, 5, kSucceeded},
        {8, 5, kSucceeded},   {3, 20, kSucceeded},  {10, 20, kSucceeded}, {3, 35, kSucceeded},
        {3, 60, kSucceeded},  {3, 150, kSucceeded}, {1, 250, kEither},    {1, 600, kReadFailed},
        {10, 600, kReadFailed},
    };
    uint16_t next = 0x1100;
    for (const auto& c : cases) {
        const std::string situation = std::to_string(c.firstPart) + " bytes, then " + std::to_string(c.pauseMs) + " ms";
        SCOPED_TRACE(situation);
        SetTableValue(1, tag, ++next);
        line.SplitNextReply(c.firstPart, c.pauseMs);
        line.RepeatNextFault(2);  // a broken reply is asked for once more
        const Outcome outcome = ReadChecked(1, tag);
        std::printf("  %s: %s\n", situation.c_str(), outcome == kSucceeded ? "whole" : "read failed");
        if (c.expected) {
            EXPECT_EQ(outcome, *c.expected);
        } else {
            EXPECT_TRUE(outcome == kSucceeded || outcome == kReadFailed) << outcome;
        }
        if (outcome == kReadFailed) LetLineFallQuiet();
        SetTableValue(1, tag, ++next);
        EXPECT_EQ(ReadChecked(1, tag), kSucceeded) << "the read after it";
    }
}

TEST_F(FaultLine, ALateReplyNeverAnswersTheNextRequest) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    const TagAddress sameShape = driver.Tag("4x101,3", kTypeUInt16);
    const TagAddress otherStation = driver.Tag("4x1,3", kTypeUInt16);
    // The late reply comes while the line still listens for it, or waits in
    // the port for a host that paused: either way it is read off the line
    // and dropped before the next request goes out. A device that takes its
    // time over the next request answers it after the late reply has ended.
    const struct {
        const char* situation;
        uint32_t lateByMs;
        int32_t station;
        const TagAddress* next;
        bool hostPauses;
        uint32_t nextAnswerAfterMs;
    } cases[] = {
        {"the host pauses before the next poll", 150, 1, &tag, true, 0},
        {"the same block asked again at once", 150, 1, &tag, false, 0},
        {"a block of the same shape asked at once", 150, 1, &sameShape, false, 0},
        {"another station asked at once", 150, 2, &otherStation, false, 0},
        {"40 ms late, the device answering the next after 30 ms", 40, 1, &tag, false, 30},
        {"40 ms late, the device answering the next after 30 ms, same shape", 40, 1, &sameShape, false, 30},
        {"just late, the next answer after 100 ms", 10, 1, &sameShape, false, 100},
    };
    uint16_t next = 0x1200;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        SetTableValue(1, tag, ++next);
        line.DelayNextReply(kResponseTimeoutMs + c.lateByMs);
        EXPECT_EQ(ReadChecked(1, tag), kReadFailed);
        SetTableValue(1, tag, ++next);
        SetTableValue(1, sameShape, ++next);
        SetTableValue(2, otherStation, ++next);
        if (c.hostPauses) LetLineFallQuiet();
        if (c.nextAnswerAfterMs > 0) line.DelayNextReply(c.nextAnswerAfterMs);
        EXPECT_EQ(ReadChecked(c.station, *c.next), kSucceeded);
        EXPECT_EQ(ReadChecked(1, tag), kSucceeded) << "the read after it";
        const std::vector<std::string> events = TracedEvents();
        EXPECT_EQ(std::count(events.begin(), events.end(), "Late: station 1 function 3, 11 bytes discarded"), 1);
        ClearTrace();
    }
}
