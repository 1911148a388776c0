// The reply-placing engine on a line simulated to the microsecond: a device
// at 9600 baud that answers 20 ms after a request, and now and then late,
// twice or not at all. On a real line such a reply's timing against the next
// answer varies by a few milliseconds from run to run; here each row puts it
// where it is hardest to tell apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <random>
#include <vector>

#include "line/ReplyPlacer.h"
#include "support/FrameBytes.h"

namespace {

const line::LineTiming kTiming = line::SerialTiming({9600, 8, 2, 0}, 0);  // 8E1
const int64_t kCharacterUs = static_cast<int64_t>(kTiming.characterUs);
constexpr int64_t kTurnaroundUs = 20000;
constexpr uint32_t kResponseTimeoutMs = 300;

// Bytes reach the port one character time apart; the device sends one frame
// at a time, so an answer waits for the frame still on the line.
class SimulatedLine : public line::IByteSource {
public:
    uint32_t Read(std::string& into, uint32_t count, uint32_t gapMs, uint32_t totalMs, uint32_t& got) override {
        const int64_t endUs = m_nowUs + int64_t{totalMs} * 1000;
        for (got = 0; got < count; ++got) {
            const int64_t waitUntilUs = got == 0 ? endUs : std::min(endUs, m_nowUs + int64_t{gapMs} * 1000);
            if (m_arrivals.empty() || m_arrivals.front().first > waitUntilUs) {
                m_nowUs = waitUntilUs;
                break;
            }
            m_nowUs = std::max(m_nowUs, m_arrivals.front().first);
            m_deliveredUs = m_arrivals.front().first;
            into.push_back(m_arrivals.front().second);
            m_arrivals.pop_front();
        }
        HostDelay(m_readDelayUs);
        return 0;
    }
    bool BytesWaiting() override { return !m_arrivals.empty() && m_arrivals.front().first <= m_nowUs; }
    bool DropsWaitingOnSend() const override { return false; }
    int64_t NowUs() override { return m_nowUs; }
    void WaitUntilUs(int64_t then) override { m_nowUs = std::max(m_nowUs, then); }

    // The device answers a request sent now once it has heard it whole, lateUs
    // past its turnaround, and sends the reply again copyPauseUs behind
    // itself unless that is -1.
    // lateUs -1: the reply is lost.
    void Answer(const std::string& request, const std::string& reply, int64_t copyPauseUs, int64_t lateUs) {
        m_sentUs = m_nowUs;
        if (lateUs >= 0) {
            Transmit(reply, m_nowUs + static_cast<int64_t>(request.size()) * kCharacterUs + kTurnaroundUs + lateUs);
        }
        if (copyPauseUs >= 0) Transmit(reply, m_lineFreeAtUs + copyPauseUs);
        HostDelay(m_sendDelayUs);
    }

    // A busy host: each send and each read returns up to so late.
    void DelayHost(int64_t sendUs, int64_t readUs) {
        m_sendDelayUs = sendUs;
        m_readDelayUs = readUs;
    }
    // What the host spent beyond the line's own time in the last exchange:
    // beyond the silence before its request, and behind the last byte it
    // read, less what a busy host added.
    int64_t PaidUs() const {
        const int64_t beforeUs = m_sentUs - std::max(m_startUs, m_quietFromUs);
        return beforeUs + m_nowUs - std::max(m_deliveredUs, m_sentUs) - m_hostDelayedUs;
    }
    void StartExchange() {
        m_startUs = m_nowUs;
        m_quietFromUs = m_deliveredUs + kQuietUs;
        m_hostDelayedUs = 0;
    }

private:
    const int64_t kQuietUs = static_cast<int64_t>(kTiming.quietUs);

    void HostDelay(int64_t mostUs) {
        if (mostUs == 0) return;
        const int64_t delayUs = std::uniform_int_distribution<int64_t>(0, mostUs)(m_random);
        m_nowUs += delayUs;
        m_hostDelayedUs += delayUs;
    }

    // The frame goes onto the line at startUs, or once the line is free.
    void Transmit(const std::string& frame, int64_t startUs) {
        const int64_t start = std::max(startUs, m_lineFreeAtUs);
        for (size_t i = 0; i < frame.size(); ++i) {
            m_arrivals.emplace_back(start + static_cast<int64_t>(i + 1) * kCharacterUs, frame[i]);
        }
        m_lineFreeAtUs = start + static_cast<int64_t>(frame.size()) * kCharacterUs;
    }

    int64_t m_nowUs = 0;
    int64_t m_lineFreeAtUs = 0;
    std::deque<std::pair<int64_t, char>> m_arrivals;
    int64_t m_startUs = 0, m_quietFromUs = 0, m_sentUs = 0;
    int64_t m_deliveredUs = 0;
    int64_t m_sendDelayUs = 0, m_readDelayUs = 0, m_hostDelayedUs = 0;
    std::mt19937 m_random{2027};
};

// Two blocks of station 1 whose replies nothing but their data tells apart.
struct Block {
    std::string request;
    std::string reply;
};

class PlacingOnALine {
public:
    ExchangeResult Exchange(const Block& block, std::string& reply, int64_t copyPauseUs = -1, int64_t lateUs = 0) {
        const line::PlacingRequest request{block.request, modbus::ReadReplyShape(1, 3, 3), kResponseTimeoutMs, 0};
        const auto send = [&] {
            m_line.Answer(block.request, block.reply, copyPauseUs, lateUs);
            return true;
        };
        m_line.StartExchange();
        return m_placer.Exchange(m_line, kTiming, request, send, nullptr, reply);
    }
    SimulatedLine& Line() { return m_line; }

private:
    SimulatedLine m_line;
    line::CReplyPlacer m_placer;
};

TEST(ReplyPlacer, AReplySentTwiceAnswersNoOtherRequest) {
    const Block first{ReadRegistersRequest(0, 3), ReadRegistersReply({1, 2, 3})};
    const Block second{ReadRegistersRequest(100, 3), ReadRegistersReply({4, 5, 6})};
    const Block changed{first.request, ReadRegistersReply({7, 8, 9})};
    // From a request to the first byte of its answer, and from a request that
    // got no reply to the next: the line listens one response time-out past
    // its deadline (300 ms and 11 characters of 2 ms).
    const int64_t answerUs = 8 * kCharacterUs + kTurnaroundUs;
    const int64_t listenedUs = 2 * 300000 + 11 * 2000;
    const struct {
        const char* situation;
        int answersSeen;  // of the station before the first block's reply
        int64_t copyPauseUs;  // behind the reply
        int64_t lateUs;  // of the reply, past the turnaround
        // Each sends the request again, its values changed, while it got no
        // reply, answered so late (-1: not at all).
        std::vector<int64_t> againLateUs;
    } rows[] = {
        {"the copy while the next answer is awaited, the station's first reply", 0, 10000, 0, {}},
        {"the copy just before the next answer, which waits for it", 12,
         static_cast<int64_t>(kTiming.quietUs) + answerUs - 1000, 0, {}},
        // Heard while the line listens for it; the next request goes out once
        // the line stayed quiet behind it for two reads of the end-of-frame gap.
        {"a late reply's copy just before the next answer", 12, 2000 * int64_t{kTiming.gapMs} + answerUs - 1000,
         300000, {}},
        {"a late reply 3 ms after the request sent again, whose own answer comes behind", 4, -1,
         listenedUs + 3000 - answerUs, {0}},
        // The first while the line listens for the second, the second when the
        // next request's answer is due.
        {"late replies to both sendings of a request", 4, -1, listenedUs + 350000 - answerUs, {390000 - answerUs}},
        // The oldest sending's reply lands in the third sending's window; the
        // second's never comes, the third's own comes behind.
        {"a request sent three times, the first reply late into the third's window", 4, -1,
         2 * listenedUs + 3000 - answerUs, {-1, 0}},
        {"a request sent three times, the first reply late into the third's window, the second's behind it", 2, -1,
         2 * listenedUs + 3000 - answerUs, {listenedUs + 40000 - answerUs, 0}},
        // The device falls further behind: were the first reply taken as the
        // third's own once the line stayed quiet as long as the second's
        // lateness, the second's reply would answer the next block.
        {"a request sent three times, each reply later than the one before", 2, -1,
         2 * listenedUs + 3000 - answerUs, {listenedUs + 900000 - answerUs, 950000 - answerUs}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        PlacingOnALine line;
        std::string reply;
        for (int seen = 0; seen < row.answersSeen; ++seen) {
            ASSERT_EQ(line.Exchange(seen % 2 ? second : first, reply), ExchangeResult::kReplied);
        }
        const Block* asked = &first;
        ExchangeResult result = line.Exchange(first, reply, row.copyPauseUs, row.lateUs);
        for (size_t again = 0; result != ExchangeResult::kReplied && again < row.againLateUs.size(); ++again) {
            asked = &changed;
            result = line.Exchange(changed, reply, -1, row.againLateUs[again]);
        }
        for (const Block* block : {&second, asked, &second}) {
            result = line.Exchange(*block, reply);
            if (result == ExchangeResult::kUnplaced) result = line.Exchange(*block, reply);
            ASSERT_EQ(result, ExchangeResult::kReplied);
            EXPECT_EQ(reply, block->reply);
        }
    }
}

// One or two blocks of one station polled back to back, each reply's
// lateness given by the row: after the first cycles, every exchange pays the line's
// own time and the silence, and nothing more. A reply lost costs the cycle
// it falls in and the one behind it, whose reply may be the lost one late.
// A reply the same byte for byte as the one before may be that one sent
// again: it waits at most for the station's slowest recent answer behind
// it, never for the spread of its answers on top.
TEST(ReplyPlacer, AHealthyLinePaysNothingBeyondTheSilence) {
    const Block blocks[] = {{ReadRegistersRequest(0, 3), ReadRegistersReply({1, 2, 3})},
                            {ReadRegistersRequest(100, 3), ReadRegistersReply({4, 5, 6})}};
    const Block sameReplies[] = {{ReadRegistersRequest(0, 3), ReadRegistersReply({0, 0, 0})},
                                 {ReadRegistersRequest(100, 3), ReadRegistersReply({0, 0, 0})}};
    constexpr int kCycles = 40;
    constexpr int kLostInCycle = 4;
    constexpr int64_t kSpreadUs = 60000;
    constexpr int64_t kNothingUs = 1000;
    const int64_t slowestAnswerUs = 8 * kCharacterUs + kTurnaroundUs + kSpreadUs + 1000 * kTiming.gapMs;
    std::mt19937 random(11);
    // How late each reply comes, past the turnaround; -1: lost.
    const auto steady = [](int, int) -> int64_t { return 0; };
    const auto varying = [&](int, int) -> int64_t { return std::uniform_int_distribution<int64_t>(0, kSpreadUs)(random); };
    const auto lostOnce = [](int cycle, int block) -> int64_t { return cycle == kLostInCycle && block == 0 ? -1 : 0; };
    const struct {
        const char* situation;
        std::function<int64_t(int, int)> lateUs;
        const Block* polled;
        int blocksPolled;
        int64_t hostSendDelayUs, hostReadDelayUs;  // the most a busy host returns late
        int healthyFromCycle;
        int64_t mostPaidUs;  // by an exchange beyond the line's own time and the silence
    } rows[] = {
        {"a device that answers in 20 ms", steady, blocks, 2, 0, 0, 0, kNothingUs},
        {"a device that answers in 20 to 80 ms", varying, blocks, 2, 0, 0, 0, kNothingUs},
        {"a device that answers in 20 to 80 ms, on a busy host", varying, blocks, 2, 30000, 15000, 0, kNothingUs},
        {"a reply lost once, one block", lostOnce, blocks, 1, 0, 0, kLostInCycle + 2, kNothingUs},
        {"a reply lost once, two blocks of one shape", lostOnce, blocks, 2, 0, 0, kLostInCycle + 2, kNothingUs},
        {"a reply lost once, two blocks of one shape, on a busy host", lostOnce, blocks, 2, 30000, 15000,
         kLostInCycle + 2, kNothingUs},
        {"two blocks whose replies are the same, a device that answers in 20 to 80 ms", varying, sameReplies, 2, 0, 0,
         1, slowestAnswerUs},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        PlacingOnALine line;
        line.Line().DelayHost(row.hostSendDelayUs, row.hostReadDelayUs);
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            for (int block = 0; block < row.blocksPolled; ++block) {
                std::string reply;
                const int64_t lateUs = row.lateUs(cycle, block);
                const ExchangeResult result = line.Exchange(row.polled[block], reply, -1, lateUs);
                if (lateUs < 0) continue;
                ASSERT_EQ(result, ExchangeResult::kReplied) << "cycle " << cycle << ", block " << block;
                EXPECT_EQ(reply, row.polled[block].reply);
                if (cycle >= row.healthyFromCycle) {
                    EXPECT_LE(line.Line().PaidUs(), row.mostPaidUs) << "cycle " << cycle << ", block " << block;
                }
            }
        }
    }
}

}  // namespace
