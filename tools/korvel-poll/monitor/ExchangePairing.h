#pragma once
// The frames a listener cut from a line, paired into exchanges: a request
// and the reply that answers it (the same station, the function or its
// exception, a shape that fits what was asked). A request that the next
// request or the time-out overtakes went unanswered; a reply that answers
// nothing outstanding was unsolicited. Noise and frames whose CRC failed
// keep their place among the exchanges.
//
// An exchange is told once the next request began, so that the gap before
// it is known; a line that stays quiet gets it told without the gap.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "korvel-poll/monitor/FrameCutter.h"

namespace monitor {

enum class Outcome {
    kReply,        // answered
    kException,    // answered with an exception
    kNoReply,      // overtaken by the next request, or timed out
    kCrcError,     // a frame with a bad CRC: the reply to the request, if one was outstanding
    kUnsolicited,  // a reply nobody asked for
    kBroadcast,    // a request to station 0, which no station answers
    kNoise,        // bytes that made no frame
    kUnfinished,   // listening ended while the request's answer could still come
};

struct Exchange {
    Outcome outcome = Outcome::kNoise;
    std::string request;  // empty where nobody asked
    std::string reply;    // the answer, the frame heard, or the noise
    int64_t startUs = 0;  // the request's start, else the reply's
    int64_t requestEndUs = 0;
    int64_t replyStartUs = 0;
    int64_t endUs = 0;  // its last byte
    std::optional<int64_t> gapUs;  // from its end to the start of the next request

    uint8_t Station() const;
    uint8_t Function() const;  // the request's; of a frame heard alone, its own without the exception bit
    // From the end of the request to the start of the answer.
    std::optional<int64_t> AnswerUs() const;
};

class CExchangePairing {
public:
    explicit CExchangePairing(int64_t timeoutUs);

    // A frame in the order they were cut; exchanges that can be told now are
    // appended to told.
    void Add(const CutFrame& frame, std::vector<Exchange>& told);
    // Nothing before nowUs is still to come: time-outs and quiet lines.
    void Tick(int64_t nowUs, std::vector<Exchange>& told);
    // Listening ended at nowUs.
    void Finish(int64_t nowUs, std::vector<Exchange>& told);

private:
    void AddFrame(const CutFrame& frame, std::vector<Exchange>& told);
    void StartRequest(const CutFrame& frame, std::vector<Exchange>& told);
    void Settle(Outcome outcome, const CutFrame* reply);
    void Hold(Exchange exchange);
    void TellHeld(std::vector<Exchange>& told);

    const int64_t m_timeoutUs;
    std::optional<Exchange> m_outstanding;  // a request awaiting its answer
    std::deque<Exchange> m_held;           // settled, waiting for the next request's start
};

}  // namespace monitor
