#pragma once
// One request to one station, as reads and writes send it: the line's record
// of the station decides whether it goes out at all, a broken reply or a
// busy device sends it again, and every reply or silence is counted for the
// station. Retries, busy answers, probes, demotions and restorations are
// traced as events.
#include <cstdint>
#include <functional>
#include <string>

#include "tags/FrameExchange.h"

namespace modbus {

enum class RequestResult {
    kAnswered,   // the reply the request asked for
    kException,  // the device refused the request, or was still busy after the retries the settings allow
    kNoAnswer,   // silence or broken replies, after the retries the settings allow
    kRefused,    // the station is demoted: nothing was sent
};

// A write the device has taken is not sent again.
enum class RequestKind { kRead, kWrite };

struct StationRequest {
    uint8_t station;
    uint8_t function;
    std::string frame;
    ReplyShape reply;
    const char* sendLabel;
    const char* receiveLabel;
    RequestKind kind;
};

// Whether data[0..length) holds the proper answer to the request.
using AnswerCheck = std::function<bool(const std::string& data, int32_t length)>;

struct RequestOutcome {
    RequestResult result;
    uint8_t exceptionCode;  // of a kException
};

// reply and length hold the last reply received, checked by isAnswer.
RequestOutcome ExchangeWithStation(IFrameExchange& line, const StationSettings& settings,
                                   const StationRequest& request, const AnswerCheck& isAnswer, std::string& reply,
                                   int32_t& length);

}  // namespace modbus
