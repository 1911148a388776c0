// How the bytes that follow a request show its local echo.
#include "line/LocalEcho.h"

#include "modbus/Frames.h"

namespace line {
namespace {

enum class EchoSeen { kNone, kPartial, kWhole };

EchoSeen EchoAtStart(const std::string& request, const std::string& bytes) {
    if (bytes.empty()) return EchoSeen::kNone;
    if (bytes.size() >= request.size()) {
        return bytes.compare(0, request.size(), request) == 0 ? EchoSeen::kWhole : EchoSeen::kNone;
    }
    return request.compare(0, bytes.size(), bytes) == 0 ? EchoSeen::kPartial : EchoSeen::kNone;
}

}  // namespace

bool RepliedWithCopy(const std::string& request) {
    if (request.size() < 2) return false;
    const auto function = static_cast<uint8_t>(request[1]);
    return function == modbus::kWriteSingleCoil || function == modbus::kWriteSingleRegister;
}

EchoStep EchoStepFor(const std::string& request, bool echoKnown, const std::string& bytes,
                     const modbus::ReplyLocation& found) {
    if (request.empty()) return EchoStep::kNone;
    switch (EchoAtStart(request, bytes)) {
    case EchoSeen::kWhole:
        return echoKnown || !RepliedWithCopy(request) ? EchoStep::kStrip : EchoStep::kNone;
    case EchoSeen::kPartial: {
        const bool awaitedWhole = found.missing == 0 && found.awaited && found.at == 0;
        return echoKnown || awaitedWhole ? EchoStep::kWaitForRest : EchoStep::kNone;
    }
    default:
        return EchoStep::kNone;
    }
}

std::string EchoFoundEvent(const std::string& port) {
    return "Echo: " + port + " echoes its requests";
}

}  // namespace line
