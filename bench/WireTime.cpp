#include "WireTime.h"

#include <algorithm>

#include "modbus/Frames.h"

namespace bench {
namespace {

constexpr double kBitsPerCharacter = 10;
constexpr double kSilenceCharacters = 3.5;
constexpr double kShortestSilenceMs = 1.75;
constexpr uint32_t kReadRequestBytes = 8;

bool IsRead(uint8_t function) {
    return function >= modbus::kReadCoils && function <= modbus::kReadInputRegisters;
}

double CharacterMs(uint32_t baud) {
    return 1000.0 * kBitsPerCharacter / baud;
}

double FrameMs(uint32_t bytes, uint32_t baud) {
    return SilenceMs(baud) + bytes * CharacterMs(baud);
}

}  // namespace

double FramesMs(const ExchangeBytes& exchange, uint32_t baud) {
    return (exchange.request + exchange.reply) * CharacterMs(baud);
}

double SilenceMs(uint32_t baud) {
    return std::max(kSilenceCharacters * CharacterMs(baud), kShortestSilenceMs);
}

ExchangeBytes ReadExchange(uint8_t function, uint16_t quantity) {
    const uint32_t byteCount = modbus::ExpectedByteCount(function, quantity);
    return {kReadRequestBytes, static_cast<uint32_t>(modbus::ReadResponseLength(static_cast<uint8_t>(byteCount)))};
}

ExchangeBytes ExchangeOf(const std::vector<uint8_t>& request) {
    if (request.size() == kReadRequestBytes && IsRead(request[1])) {
        return ReadExchange(request[1], static_cast<uint16_t>(request[4] << 8 | request[5]));
    }
    return {static_cast<uint32_t>(request.size()), static_cast<uint32_t>(modbus::WriteAcknowledgementLength())};
}

// No wire time applies to a connection (baud 0).
double WireMs(const std::vector<ExchangeBytes>& exchanges, uint32_t baud) {
    double ms = 0;
    if (baud == 0) return ms;
    for (const ExchangeBytes& exchange : exchanges) {
        ms += FrameMs(exchange.request, baud) + FrameMs(exchange.reply, baud);
    }
    return ms;
}

}  // namespace bench
