// Describing an exchange heard on a line, and its record lines.
#include "korvel-poll/monitor/ExchangeText.h"

#include <cstdio>

#include "korvel-poll/monitor/ListenFigures.h"
#include "korvel-poll/monitor/RecordFields.h"
#include "modbus/Frames.h"
#include "modbus/ReplyVerdict.h"

namespace monitor {
namespace {

struct FunctionArea {
    uint8_t function;
    const char* prefix;  // the area as tag addresses name it
    bool bits;
};

const FunctionArea kAreas[] = {
    {modbus::kReadCoils, "0x", true},
    {modbus::kReadDiscreteInputs, "1x", true},
    {modbus::kReadHoldingRegisters, "4x", false},
    {modbus::kReadInputRegisters, "3x", false},
    {modbus::kWriteSingleCoil, "0x", true},
    {modbus::kWriteSingleRegister, "4x", false},
    {modbus::kWriteMultipleCoils, "0x", true},
    {modbus::kWriteMultipleRegisters, "4x", false},
};

// Station, function, address and quantity or value stand before a
// request's data.
constexpr size_t kRequestHeader = 6;
// A write of many items carries its byte count after them.
constexpr size_t kWriteDataAt = 7;
constexpr size_t kReplyDataAt = 3;
constexpr size_t kCrcLength = 2;

const FunctionArea* AreaOf(uint8_t function) {
    for (const FunctionArea& area : kAreas) {
        if (area.function == function) return &area;
    }
    return nullptr;
}

const uint8_t* Data(const std::string& frame) {
    return reinterpret_cast<const uint8_t*>(frame.data());
}

uint16_t WordAt(const std::string& frame, size_t at) {
    return static_cast<uint16_t>(Data(frame)[at] << 8 | Data(frame)[at + 1]);
}

std::string Hex(const std::string& bytes) {
    std::string text;
    char digits[4];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof digits, "%s%02X", text.empty() ? "" : " ", byte);
        text += digits;
    }
    return text;
}

std::string Joined(const std::vector<uint32_t>& values) {
    std::string text;
    for (uint32_t value : values) text += (text.empty() ? "" : " ") + std::to_string(value);
    return text;
}

// The data between a frame's header and its CRC.
std::string DataOf(const std::string& frame, size_t from) {
    return frame.size() >= from + kCrcLength ? frame.substr(from, frame.size() - from - kCrcLength) : "";
}

std::vector<uint32_t> Values(bool bits, const std::string& data, uint32_t quantity) {
    return bits ? modbus::DecodeBits(Data(data), quantity)
                : modbus::DecodeRegisters(Data(data), static_cast<uint32_t>(data.size()));
}

std::string WrittenValue(uint8_t function, uint16_t value) {
    if (function != modbus::kWriteSingleCoil) return std::to_string(value);
    if (value == modbus::kCoilOn) return "on";
    return value == modbus::kCoilOff ? "off" : std::to_string(value);
}

std::string OptionalMs(const std::optional<int64_t>& us) {
    return us ? MillisecondsText(*us) : "";
}

std::string JsonNumber(const std::string& number) {
    return number.empty() ? "null" : number;
}

// Noise names no station and no function.
std::string StationText(const Exchange& exchange) {
    return exchange.outcome == Outcome::kNoise ? "" : std::to_string(exchange.Station());
}

std::string FunctionText(const Exchange& exchange) {
    return exchange.outcome == Outcome::kNoise ? "" : std::to_string(exchange.Function());
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::kReply: return "reply";
    case Outcome::kException: return "exception";
    case Outcome::kNoReply: return "no-reply";
    case Outcome::kCrcError: return "crc-error";
    case Outcome::kUnsolicited: return "unsolicited";
    case Outcome::kBroadcast: return "broadcast";
    case Outcome::kNoise: return "noise";
    case Outcome::kUnfinished: return "unfinished";
    }
    return "";
}

std::string AskedText(const std::string& request) {
    const FunctionArea* area = request.size() >= kRequestHeader + kCrcLength ? AreaOf(Data(request)[1]) : nullptr;
    if (area == nullptr) return Hex(DataOf(request, 2));
    const uint8_t function = area->function;
    const std::string item = area->prefix + std::to_string(WordAt(request, 2) + 1u);
    const uint16_t second = WordAt(request, 4);
    if (function == modbus::kWriteSingleCoil || function == modbus::kWriteSingleRegister) {
        return item + "=" + WrittenValue(function, second);
    }
    const std::string items = item + "," + std::to_string(second);
    if (function != modbus::kWriteMultipleCoils && function != modbus::kWriteMultipleRegisters) return items;
    return items + "=" + Joined(Values(area->bits, DataOf(request, kWriteDataAt), second));
}

std::string AnsweredText(const Exchange& exchange) {
    switch (exchange.outcome) {
    case Outcome::kNoReply: return "no reply";
    case Outcome::kUnfinished: return "listening ended";
    case Outcome::kBroadcast: return "";
    case Outcome::kCrcError: return "CRC error: " + Hex(exchange.reply);
    case Outcome::kException:
        return "exception " + modbus::DescribeException(exchange.reply.size() > 2 ? Data(exchange.reply)[2] : 0);
    case Outcome::kReply: break;
    default: return Hex(exchange.reply);
    }
    const FunctionArea* area = AreaOf(exchange.Function());
    const bool read = area != nullptr && exchange.Function() <= modbus::kReadInputRegisters;
    if (!read) return area != nullptr ? "ok" : Hex(exchange.reply);
    return Joined(Values(area->bits, DataOf(exchange.reply, kReplyDataAt), WordAt(exchange.request, 4)));
}

std::string ExchangeTableLine(const Exchange& exchange, const std::string& time) {
    if (exchange.outcome == Outcome::kNoise) {
        return time + "  noise, " + std::to_string(exchange.reply.size()) + " bytes: " + Hex(exchange.reply);
    }
    char head[64];
    std::snprintf(head, sizeof head, "%s  station %3u  %02X  ", time.c_str(), exchange.Station(), exchange.Function());
    std::string line = head;
    if (exchange.request.empty()) return line + OutcomeName(exchange.outcome) + ": " + AnsweredText(exchange);
    line += AskedText(exchange.request) + "  -> " + AnsweredText(exchange);
    if (exchange.AnswerUs()) line += "  in " + MillisecondsText(*exchange.AnswerUs()) + " ms";
    if (exchange.gapUs) line += "  gap " + MillisecondsText(*exchange.gapUs) + " ms";
    return line;
}

std::string ExchangeCsvHeader() {
    return "time,station,function,outcome,asked,answered,answer_ms,gap_ms";
}

std::string ExchangeCsvLine(const Exchange& exchange, const std::string& time) {
    return time + "," + StationText(exchange) + "," + FunctionText(exchange) + "," +
           OutcomeName(exchange.outcome) + "," + CsvField(exchange.request.empty() ? "" : AskedText(exchange.request)) +
           "," + CsvField(AnsweredText(exchange)) + "," + OptionalMs(exchange.AnswerUs()) + "," +
           OptionalMs(exchange.gapUs);
}

std::string ExchangeJsonLine(const Exchange& exchange, const std::string& time) {
    return "{\"time\":" + JsonString(time) + ",\"station\":" + JsonNumber(StationText(exchange)) +
           ",\"function\":" + JsonNumber(FunctionText(exchange)) + ",\"outcome\":" +
           JsonString(OutcomeName(exchange.outcome)) + ",\"asked\":" +
           JsonString(exchange.request.empty() ? "" : AskedText(exchange.request)) + ",\"answered\":" +
           JsonString(AnsweredText(exchange)) + ",\"answer_ms\":" + JsonNumber(OptionalMs(exchange.AnswerUs())) +
           ",\"gap_ms\":" + JsonNumber(OptionalMs(exchange.gapUs)) + "}";
}

}  // namespace monitor
