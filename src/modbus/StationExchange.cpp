#include "modbus/StationExchange.h"

#include "modbus/Frames.h"
#include "modbus/TracedExchange.h"

namespace modbus {
namespace {

enum class Heard { kAnswer, kException, kBroken, kSilence, kLineFailed };

std::string StationText(uint8_t station) {
    return "station " + std::to_string(station);
}

Heard Classify(LineResult exchanged, const StationRequest& request, const AnswerCheck& isAnswer,
               const std::string& reply, int32_t length, uint8_t& exceptionCode) {
    switch (exchanged) {
    case LineResult::kNoReply:
        return Heard::kSilence;
    case LineResult::kFailed:
        return Heard::kLineFailed;
    case LineResult::kUnplaced:
        return Heard::kBroken;
    case LineResult::kReplied:
        break;
    }
    if (isAnswer(reply, length)) return Heard::kAnswer;
    return LocateException(reply, length, request.station, request.function, exceptionCode) ? Heard::kException
                                                                                             : Heard::kBroken;
}

void TraceHealthChange(IFrameExchange& line, HealthChange change, const StationRequest& request,
                       const StationSettings& settings) {
    if (change == HealthChange::kDemoted) {
        line.TraceEvent("Demote: " + StationText(request.station) + " for " + std::to_string(settings.demoteForMs) +
                        " ms");
    } else if (change == HealthChange::kRestored) {
        line.TraceEvent("Restore: " + StationText(request.station));
    }
}

void TraceRetry(IFrameExchange& line, const StationRequest& request, Heard heard) {
    line.TraceEvent("Retry: " + StationText(request.station) + " function " + std::to_string(request.function) +
                    (heard == Heard::kSilence ? ", no reply" : ", broken reply"));
}

}  // namespace

// Broken replies and silences draw on budgets of their own. A request that
// demoted its station is not repeated: the station is taken as gone.
RequestOutcome ExchangeWithStation(IFrameExchange& line, const StationSettings& settings,
                                   const StationRequest& request, const AnswerCheck& isAnswer, std::string& reply,
                                   int32_t& length) {
    const Admission admission = line.Admit(request.station);
    if (admission == Admission::kRefuse) return {RequestResult::kRefused, 0};
    if (admission == Admission::kProbe) line.TraceEvent("Probe: " + StationText(request.station));
    int32_t brokenLeft = settings.retries;
    int32_t silentLeft = settings.timeoutRetries;
    for (;;) {
        reply = request.frame;
        length = static_cast<int32_t>(reply.size());
        const LineResult exchanged =
            TracedExchange(line, reply, length, request.reply, request.sendLabel, request.receiveLabel);
        uint8_t exceptionCode = 0;
        const Heard heard = Classify(exchanged, request, isAnswer, reply, length, exceptionCode);
        if (heard == Heard::kLineFailed) return {RequestResult::kNoAnswer, 0};
        const HealthChange change = line.CountReply(request.station, heard != Heard::kSilence, settings);
        TraceHealthChange(line, change, request, settings);
        if (heard == Heard::kAnswer) return {RequestResult::kAnswered, 0};
        if (heard == Heard::kException) return {RequestResult::kException, exceptionCode};
        int32_t& left = heard == Heard::kSilence ? silentLeft : brokenLeft;
        if (left == 0 || change == HealthChange::kDemoted) return {RequestResult::kNoAnswer, 0};
        --left;
        TraceRetry(line, request, heard);
    }
}

}  // namespace modbus
