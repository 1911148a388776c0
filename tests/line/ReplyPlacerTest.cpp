// The reply-placing engine on a line simulated to the microsecond, where a
// reply's copy can be put 1 ms before the next answer, as no real line can.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>

#include "line/ReplyPlacer.h"
#include "support/FrameBytes.h"

namespace {

const line::LineTiming kTiming = line::SerialTiming({9600, 8, 2, 0}, 0);  // 8E1
const auto kCharacterUs = static_cast<int64_t>(kTiming.characterUs);
constexpr int64_t kTurnaroundUs = 20000;

// Bytes arrive a character time apart; the device sends one frame at a time,
// so an answer waits behind a copy still on the line.
struct SimulatedLine : line::IByteSource {
    uint32_t Read(std::string& into, uint32_t count, uint32_t gapMs, uint32_t totalMs, uint32_t& got) override {
        const int64_t endUs = nowUs + int64_t{totalMs} * 1000;
        for (got = 0; got < count; ++got) {
            const int64_t waitUntilUs = got == 0 ? endUs : std::min(endUs, nowUs + int64_t{gapMs} * 1000);
            if (arrivals.empty() || arrivals.front().first > waitUntilUs) {
                nowUs = waitUntilUs;
                break;
            }
            nowUs = std::max(nowUs, arrivals.front().first);
            into.push_back(arrivals.front().second);
            arrivals.pop_front();
        }
        return 0;
    }
    bool BytesWaiting() override { return !arrivals.empty() && arrivals.front().first <= nowUs; }
    bool DropsWaitingOnSend() const override { return false; }
    int64_t NowUs() override { return nowUs; }
    void WaitUntilUs(int64_t then) override { nowUs = std::max(nowUs, then); }

    void Transmit(const std::string& frame, int64_t startUs) {
        const int64_t start = std::max(startUs, lineFreeAtUs);
        for (size_t i = 0; i < frame.size(); ++i) {
            arrivals.emplace_back(start + int64_t(i + 1) * kCharacterUs, frame[i]);
        }
        lineFreeAtUs = start + int64_t(frame.size()) * kCharacterUs;
    }

    int64_t nowUs = 0;
    int64_t lineFreeAtUs = 0;
    std::deque<std::pair<int64_t, char>> arrivals;
};

TEST(ReplyPlacer, AReplysCopyAnswersNoOtherRequest) {
    // Two blocks of station 1 whose replies nothing but their data tells apart.
    const std::string first = ReadRegistersRequest(0, 3);
    const std::string second = ReadRegistersRequest(100, 3);
    const std::map<std::string, std::string> answers = {{first, ReadRegistersReply({1, 2, 3})},
                                                        {second, ReadRegistersReply({4, 5, 6})}};
    const int64_t answerUs = 8 * kCharacterUs + kTurnaroundUs;  // from a request to its answer's first byte
    const int64_t kListenedUs = 2 * 300000 + 11 * 2000;         // from a request that got no reply to the next
    const struct {
        const char* situation;
        int answersSeen;  // of the station, before the first block's reply and its copy
        int64_t copyPauseUs;
        int64_t lateUs;  // of the first block's reply, past the turnaround
        int64_t againLateUs;  // -1, or the first block's request is sent again so late, its values changed
    } rows[] = {
        {"at the station's first reply, the copy while the next answer is awaited", 0, 10000, 0, -1},
        {"the copy just before the next answer, which waits behind it", 12,
         int64_t(kTiming.quietUs) + answerUs - 1000, 0, -1},
        // Heard while the line listens for it; the next request goes out once
        // the line stayed quiet behind it for two reads of the end-of-frame gap.
        {"a late reply's copy just before the next answer", 12, 2000 * int64_t{kTiming.gapMs} + answerUs - 1000,
         300000, -1},
        // The line listens for a late reply up to one response time-out past
        // its deadline (300 ms and 11 characters of 2 ms), and then sends the
        // request again: the late reply comes 3 ms later, the own answer well
        // behind it.
        {"a late reply to the request sent again, whose own answer then comes", 4, -1,
         kListenedUs + 3000 - answerUs, 0},
        // Both come late: the first while the line listens for the second,
        // the second when the next request's answer is due.
        {"late replies to both sendings of a request", 4, -1, kListenedUs + 350000 - answerUs, 390000 - answerUs},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        std::map<std::string, std::string> replies = answers;
        SimulatedLine wire;
        line::CReplyPlacer placer;
        std::string reply;
        const auto exchange = [&](const std::string& request, int64_t copyPauseUs = -1, int64_t lateUs = 0) {
            const auto send = [&] {
                const std::string& answer = replies.at(request);
                wire.Transmit(answer, wire.nowUs + int64_t(request.size()) * kCharacterUs + kTurnaroundUs + lateUs);
                if (copyPauseUs >= 0) wire.Transmit(answer, wire.lineFreeAtUs + copyPauseUs);
                return true;
            };
            return placer.Exchange(wire, kTiming, {request, modbus::ReadReplyShape(1, 3, 3), 300, 0}, send, nullptr,
                                   reply);
        };
        // The last answer before the copy is the second block's.
        for (int seen = 0; seen < row.answersSeen; ++seen) {
            ASSERT_EQ(exchange(seen % 2 ? second : first), ExchangeResult::kReplied);
        }
        if (exchange(first, row.copyPauseUs, row.lateUs) != ExchangeResult::kReplied && row.againLateUs >= 0) {
            replies[first] = ReadRegistersReply({7, 8, 9});
            exchange(first, -1, row.againLateUs);
        }
        for (const std::string& request : {second, first, second}) {
            ExchangeResult result = exchange(request);
            if (result == ExchangeResult::kUnplaced) result = exchange(request);
            ASSERT_EQ(result, ExchangeResult::kReplied);
            EXPECT_EQ(reply, replies.at(request));
        }
    }
}

}  // namespace
