// Replies that take their time: split by pauses, or so late that the driver
// has given up on them. A late reply must never answer a later request.
#include "FaultLine.h"

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
    // The late reply comes in the next poll's window, just ahead of that
    // poll's own reply: two answers that the bytes cannot tell apart, so the
    // request is sent once more, and its reply alone answers it.
    const struct {
        const char* situation;
        int32_t station;
        const TagAddress* next;
        bool hostPauses;
        Outcome expected;
    } cases[] = {
        {"the host pauses before the next poll", 1, &tag, true, kSucceeded},
        {"the same block asked again at once", 1, &tag, false, kSucceeded},
        {"a block of the same shape asked at once", 1, &sameShape, false, kSucceeded},
        {"another station asked at once", 2, &otherStation, false, kSucceeded},
    };
    uint16_t next = 0x1200;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        SetTableValue(1, tag, ++next);
        line.DelayNextReply(kResponseTimeoutMs + 150);
        EXPECT_EQ(ReadChecked(1, tag), kReadFailed);
        SetTableValue(1, tag, ++next);
        SetTableValue(1, sameShape, ++next);
        SetTableValue(2, otherStation, ++next);
        if (c.hostPauses) LetLineFallQuiet();
        EXPECT_EQ(ReadChecked(c.station, *c.next), c.expected);
        EXPECT_EQ(ReadChecked(1, tag), kSucceeded) << "the read after it";
    }
}

TEST_F(FaultLine, AReplyLaterThanTwoPollsIsNeverTakenEither) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    SetTableValue(1, tag, 0x1301);
    line.DelayNextReply(2 * kResponseTimeoutMs + 150);
    EXPECT_EQ(ReadChecked(1, tag), kReadFailed);
    // Whatever these meet on the line, none may deliver the value that the
    // late reply carries.
    for (uint16_t value = 0x1302; value < 0x1306; ++value) {
        SetTableValue(1, tag, value);
        ReadChecked(1, tag);
    }
    LetLineFallQuiet();
    EXPECT_EQ(ReadChecked(1, tag), kSucceeded);
}
