// Pairing a listened line's frames into exchanges: frames with their times
// in, exchanges with their outcomes, answer times and gaps out.
#include <gtest/gtest.h>

#include "ListenedFrames.h"
#include "korvel-poll/monitor/ExchangePairing.h"
#include "korvel-poll/monitor/ExchangeText.h"

namespace {

using monitor::CutFrame;
using monitor::CutKind;
using monitor::Exchange;

constexpr int64_t kTimeoutUs = 1000000;

struct Heard {
    CutKind kind;
    std::string bytes;
    int64_t startUs;  // it ends 1 ms later
};

struct Told {
    const char* outcome;
    int station;
    int64_t answerUs;  // -1: none
    int64_t gapUs;     // -1: none
};

struct PairingCase {
    const char* name;
    std::vector<Heard> heard;
    std::vector<Told> expected;
};

std::vector<Exchange> Pair(const std::vector<Heard>& heard) {
    monitor::CExchangePairing pairing(kTimeoutUs);
    std::vector<Exchange> told;
    for (const Heard& frame : heard) pairing.Add({frame.kind, frame.bytes, frame.startUs, frame.startUs + 1000}, told);
    pairing.Finish(heard.back().startUs + 2 * kTimeoutUs, told);
    return told;
}

TEST(ExchangePairing, RequestsMeetTheirRepliesOrAreMarked) {
    const auto F = CutKind::kFrame;
    const PairingCase cases[] = {
        {"answered, and the gap to the next request", {{F, kRead, 0}, {F, kReadReply, 5000}, {F, kReadOfTwo, 20000}},
         {{"reply", 1, 4000, 14000}, {"no-reply", 2, -1, -1}}},
        {"an exception", {{F, kRead, 0}, {F, kReadRefused, 3000}}, {{"exception", 1, 2000, -1}}},
        {"overtaken by the next request", {{F, kRead, 0}, {F, kReadOfTwo, 50000}, {F, kReplyOfTwo, 60000}},
         {{"no-reply", 1, -1, 49000}, {"reply", 2, 9000, -1}}},
        {"timed out, then the late reply answers nothing",
         {{F, kRead, 0}, {F, kReadReply, 1500000}}, {{"no-reply", 1, -1, -1}, {"unsolicited", 1, -1, -1}}},
        {"a reply nobody asked for", {{F, kReplyOfTwo, 0}}, {{"unsolicited", 2, -1, -1}}},
        {"another station's reply while a request waits",
         {{F, kRead, 0}, {F, kReplyOfTwo, 3000}, {F, kReadReply, 9000}},
         {{"reply", 1, 8000, -1}, {"unsolicited", 2, -1, -1}}},
        {"a reply of another shape", {{F, kRead, 0}, {F, WithCrc(Frame({0x01, 0x03, 0x02, 0x00, 0x0C})), 3000}},
         {{"no-reply", 1, -1, -1}, {"unsolicited", 1, -1, -1}}},
        {"a broken reply", {{F, kRead, 0}, {CutKind::kBadCrc, Broken(kReadReply), 3000}},
         {{"crc-error", 1, 2000, -1}}},
        {"a write answered", {{F, kWrite, 0}, {F, kWriteDone, 20000}}, {{"reply", 1, 19000, -1}}},
        {"a broadcast", {{F, WithCrc(Frame({0x00, 0x06, 0x00, 0x01, 0x00, 0x07})), 0}}, {{"broadcast", 0, -1, -1}}},
        {"noise while a request waits", {{F, kRead, 0}, {CutKind::kNoise, Frame({0x00, 0x00}), 2000},
                                         {F, kReadReply, 5000}},
         {{"reply", 1, 4000, -1}, {"noise", 0, -1, -1}}},
    };
    for (const PairingCase& c : cases) {
        const std::vector<Exchange> told = Pair(c.heard);
        ASSERT_EQ(told.size(), c.expected.size()) << c.name;
        for (size_t i = 0; i < told.size(); ++i) {
            const Told& expected = c.expected[i];
            EXPECT_STREQ(monitor::OutcomeName(told[i].outcome), expected.outcome) << c.name << " #" << i;
            if (expected.station != 0) {
                EXPECT_EQ(told[i].Station(), expected.station) << c.name << " #" << i;
            }
            EXPECT_EQ(told[i].AnswerUs().value_or(-1), expected.answerUs) << c.name << " #" << i;
            EXPECT_EQ(told[i].gapUs.value_or(-1), expected.gapUs) << c.name << " #" << i;
        }
    }
}

// A request is no-reply once the time-out passed on a quiet line, not
// before; the exchange is told with its gap once the next request comes.
TEST(ExchangePairing, ATimeOutIsJudgedOnAQuietLine) {
    monitor::CExchangePairing pairing(kTimeoutUs);
    std::vector<Exchange> told;
    pairing.Add({CutKind::kFrame, kRead, 0, 1000}, told);
    pairing.Tick(900000, told);
    pairing.Add({CutKind::kFrame, kReadOfTwo, 1200000, 1201000}, told);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].outcome, monitor::Outcome::kNoReply);
    EXPECT_EQ(told[0].gapUs.value_or(-1), 1199000);
    pairing.Tick(2300000, told);
    pairing.Tick(13000000, told);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].outcome, monitor::Outcome::kNoReply);
    EXPECT_FALSE(told[1].gapUs);
    pairing.Add({CutKind::kFrame, kRead, 14000000, 14001000}, told);
    pairing.Finish(14100000, told);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[2].outcome, monitor::Outcome::kUnfinished);
}

}  // namespace
