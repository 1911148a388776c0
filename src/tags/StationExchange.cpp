#include "tags/StationExchange.h"

#include "modbus/Frames.h"
#include "tags/TracedExchange.h"

namespace modbus {
namespace {

enum class Heard { kAnswer, kException, kBusy, kBroken, kSilence, kLineFailed };

// A device that answers busy is there and at work on something, so the
// request goes again after busy_retry_ms, within retries, and the answer
// counts as a reply. A write it answered with 05 it has taken and is
// carrying out: sent again, it could be done twice.
struct BusyCode {
    uint8_t code;
    bool repeatsWrite;
};

constexpr BusyCode kBusyCodes[] = {
    {kAcknowledge, false},
    {kDeviceBusy, true},
};

const BusyCode* FindBusyCode(uint8_t code) {
    for (const BusyCode& busy : kBusyCodes) {
        if (busy.code == code) return &busy;
    }
    return nullptr;
}

// The repeats a request has left: broken replies and busy answers draw on
// retries, silences on timeout_retries.
struct RepeatsLeft {
    int32_t broken;
    int32_t silent;
};

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
    if (!LocateException(reply, length, request.station, request.function, exceptionCode)) return Heard::kBroken;
    return FindBusyCode(exceptionCode) != nullptr ? Heard::kBusy : Heard::kException;
}

// What the request came to, when it goes no further.
RequestOutcome OutcomeOf(Heard heard, uint8_t exceptionCode) {
    switch (heard) {
    case Heard::kAnswer:
        return {RequestResult::kAnswered, 0};
    case Heard::kException:
    case Heard::kBusy:
        return {RequestResult::kException, exceptionCode};
    default:
        return {RequestResult::kNoAnswer, 0};
    }
}

bool MayRepeat(const StationRequest& request, Heard heard, uint8_t exceptionCode) {
    switch (heard) {
    case Heard::kBroken:
    case Heard::kSilence:
        return true;
    case Heard::kBusy:
        return request.kind == RequestKind::kRead || FindBusyCode(exceptionCode)->repeatsWrite;
    default:
        return false;
    }
}

bool TakeRepeat(RepeatsLeft& left, Heard heard) {
    int32_t& budget = heard == Heard::kSilence ? left.silent : left.broken;
    if (budget == 0) return false;
    --budget;
    return true;
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

void TraceBusy(IFrameExchange& line, const StationRequest& request, uint8_t exceptionCode) {
    line.TraceEvent("Busy: " + StationText(request.station) + " exception " + (exceptionCode < 10 ? "0" : "") +
                    std::to_string(exceptionCode));
}

// A busy device gets time to finish; the Busy event already told why the
// request goes again.
void BeforeRepeat(IFrameExchange& line, const StationSettings& settings, const StationRequest& request,
                  Heard heard) {
    if (heard == Heard::kBusy) {
        line.Pause(static_cast<uint32_t>(settings.busyRetryMs));
        return;
    }
    line.TraceEvent("Retry: " + StationText(request.station) + " function " + std::to_string(request.function) +
                    (heard == Heard::kSilence ? ", no reply" : ", broken reply"));
}

}  // namespace

// A request that demoted its station is not repeated: the station is taken
// as gone.
RequestOutcome ExchangeWithStation(IFrameExchange& line, const StationSettings& settings,
                                   const StationRequest& request, const AnswerCheck& isAnswer, std::string& reply,
                                   int32_t& length) {
    const Admission admission = line.Admit(request.station);
    if (admission == Admission::kRefuse) return {RequestResult::kRefused, 0};
    if (admission == Admission::kProbe) line.TraceEvent("Probe: " + StationText(request.station));
    RepeatsLeft left{settings.retries, settings.timeoutRetries};
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
        if (heard == Heard::kBusy) TraceBusy(line, request, exceptionCode);
        if (!MayRepeat(request, heard, exceptionCode) || change == HealthChange::kDemoted || !TakeRepeat(left, heard)) {
            return OutcomeOf(heard, exceptionCode);
        }
        BeforeRepeat(line, settings, request, heard);
    }
}

}  // namespace modbus
