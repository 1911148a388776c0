// When a lost link is tried again, and the trace lines of a loss and a return.
#include <gtest/gtest.h>

#include <vector>

#include "line/LinkReconnect.h"

namespace {

using line::CLinkReconnect;

constexpr line::ReconnectTiming kDefaults{1000, 10000};

// Lost at 0; every due attempt fails. The instants at which attempts came
// due, up to untilMs, looked at every 100 ms as a polling host would.
std::vector<uint64_t> AttemptsUntil(uint64_t untilMs, const line::ReconnectTiming& timing) {
    CLinkReconnect link;
    link.MarkLost(0, timing);
    std::vector<uint64_t> due;
    for (uint64_t now = 0; now <= untilMs; now += 100) {
        if (!link.AttemptDue(now)) continue;
        due.push_back(now);
        link.AttemptFailed(now, timing);
    }
    return due;
}

TEST(LinkReconnect, AttemptsComeEachFirstIntervalForAMinuteThenGrowToTheLongest) {
    const struct {
        const char* name;
        uint64_t fromMs;
        uint64_t untilMs;
        line::ReconnectTiming timing;
        std::vector<uint64_t> attempts;
    } cases[] = {
        {"the first seconds", 0, 3500, kDefaults, {1000, 2000, 3000}},
        {"the end of the first minute", 57000, 60000, kDefaults, {57000, 58000, 59000, 60000}},
        {"doubling after a minute", 60001, 120000, kDefaults, {62000, 66000, 74000, 84000, 94000, 104000, 114000}},
        {"a longest interval below the first keeps the first", 60001, 70000, {5000, 1000}, {65000, 70000}},
        {"a first interval of 0 is taken as 1 ms", 0, 300, {0, 1000}, {100, 200, 300}},
    };
    for (const auto& c : cases) {
        std::vector<uint64_t> attempts;
        for (uint64_t at : AttemptsUntil(c.untilMs, c.timing)) {
            if (at >= c.fromMs) attempts.push_back(at);
        }
        EXPECT_EQ(attempts, c.attempts) << c.name;
    }
}

TEST(LinkReconnect, ALossIsReportedOnceAndTimedFromItsStartToItsEnd) {
    CLinkReconnect link;
    EXPECT_FALSE(link.AttemptDue(5000)) << "a link that was never lost is not tried";
    EXPECT_TRUE(link.MarkLost(100, kDefaults));
    EXPECT_FALSE(link.MarkLost(200, kDefaults)) << "a second failure while lost is the same loss";
    link.AttemptFailed(1100, kDefaults);
    EXPECT_EQ(link.Restored(4300), 4200u);
    EXPECT_FALSE(link.IsLost());
    EXPECT_FALSE(link.AttemptDue(100000));
    EXPECT_TRUE(link.MarkLost(5000, kDefaults)) << "a new loss after the return";
    EXPECT_FALSE(link.AttemptDue(5999));
    EXPECT_TRUE(link.AttemptDue(6000)) << "the interval starts anew with each loss";
}

TEST(LinkReconnect, EventLinesNameTheLinkTheCodeAndTheTimeAway) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {line::LinkLostEvent("COM3", 22), "Lost: COM3, error 22"},
        {line::LinkReopenedEvent("COM3", 4200), "Reopened: COM3 after 4.2 s"},
        {line::LinkReopenedEvent("COM12", 49), "Reopened: COM12 after 0.0 s"},
        {line::LinkReopenedEvent("COM12", 3600000), "Reopened: COM12 after 3600.0 s"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, c.expected);
}

}  // namespace
