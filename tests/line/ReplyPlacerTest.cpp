// The reply-placing engine on a line simulated to the microsecond: a device
// at 9600 baud that answers 20 ms after a request, and now and then late or
// twice. On a real line such a reply's timing against the next answer
// varies by a few milliseconds from run to run; here each row puts it where
// it is hardest to tell apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

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
            into.push_back(m_arrivals.front().second);
            m_arrivals.pop_front();
        }
        return 0;
    }
    bool BytesWaiting() override { return !m_arrivals.empty() && m_arrivals.front().first <= m_nowUs; }
    bool DropsWaitingOnSend() const override { return false; }
    int64_t NowUs() override { return m_nowUs; }
    void WaitUntilUs(int64_t then) override { m_nowUs = std::max(m_nowUs, then); }

    // The device answers a request sent now once it has heard it whole, lateUs
    // past its turnaround, and sends the reply again copyPauseUs behind
    // itself unless that is -1.
    void Answer(const std::string& request, const std::string& reply, int64_t copyPauseUs, int64_t lateUs) {
        Transmit(reply, m_nowUs + static_cast<int64_t>(request.size()) * kCharacterUs + kTurnaroundUs + lateUs);
        if (copyPauseUs >= 0) Transmit(reply, m_lineFreeAtUs + copyPauseUs);
    }

private:
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
        return m_placer.Exchange(m_line, kTiming, request, send, nullptr, reply);
    }

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
        int64_t againLateUs;  // -1, or the request is sent again, its values changed, and answered so late
    } rows[] = {
        {"the copy while the next answer is awaited, the station's first reply", 0, 10000, 0, -1},
        {"the copy just before the next answer, which waits for it", 12,
         static_cast<int64_t>(kTiming.quietUs) + answerUs - 1000, 0, -1},
        // Heard while the line listens for it; the next request goes out once
        // the line stayed quiet behind it for two reads of the end-of-frame gap.
        {"a late reply's copy just before the next answer", 12, 2000 * int64_t{kTiming.gapMs} + answerUs - 1000,
         300000, -1},
        {"a late reply 3 ms after the request sent again, whose own answer comes behind", 4, -1,
         listenedUs + 3000 - answerUs, 0},
        // The first while the line listens for the second, the second when the
        // next request's answer is due.
        {"late replies to both sendings of a request", 4, -1, listenedUs + 350000 - answerUs, 390000 - answerUs},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        PlacingOnALine line;
        std::string reply;
        for (int seen = 0; seen < row.answersSeen; ++seen) {
            ASSERT_EQ(line.Exchange(seen % 2 ? second : first, reply), ExchangeResult::kReplied);
        }
        const Block* asked = &first;
        if (line.Exchange(first, reply, row.copyPauseUs, row.lateUs) != ExchangeResult::kReplied &&
            row.againLateUs >= 0) {
            asked = &changed;
            line.Exchange(changed, reply, -1, row.againLateUs);
        }
        for (const Block* block : {&second, asked, &second}) {
            ExchangeResult result = line.Exchange(*block, reply);
            if (result == ExchangeResult::kUnplaced) result = line.Exchange(*block, reply);
            ASSERT_EQ(result, ExchangeResult::kReplied);
            EXPECT_EQ(reply, block->reply);
        }
    }
}

}  // namespace
