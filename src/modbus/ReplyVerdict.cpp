// Judging the bytes that came back for a request, and the names of the
// exception codes.
#include "modbus/ReplyVerdict.h"

#include <cstdio>

#include "modbus/Crc.h"
#include "modbus/Frames.h"
#include "modbus/ReplyShape.h"

namespace modbus {
namespace {

constexpr uint8_t kExceptionBit = 0x80;
constexpr size_t kCrcLength = 2;

struct ExceptionName {
    uint8_t code;
    const char* name;
};

const ExceptionName kExceptionNames[] = {
    {0x01, "illegal function"},
    {0x02, "illegal data address"},
    {0x03, "illegal data value"},
    {0x04, "slave device failure"},
    {0x05, "acknowledge"},
    {0x06, "slave device busy"},
    {0x08, "memory parity error"},
    {0x0A, "gateway path unavailable"},
    {0x0B, "gateway target device failed to respond"},
};

uint16_t Quantity(const std::vector<uint8_t>& request) {
    return static_cast<uint16_t>(request[4] << 8 | request[5]);
}

// The length of the whole normal reply to the request; 0 when its function
// is not one the driver sends.
size_t ReplyLength(const std::vector<uint8_t>& request) {
    if (request.size() < 6) return 0;
    switch (request[1]) {
    case kReadCoils:
    case kReadDiscreteInputs:
    case kReadHoldingRegisters:
    case kReadInputRegisters: return ReadReplyShape(request[0], request[1], Quantity(request)).length;
    case kWriteSingleCoil:
    case kWriteSingleRegister:
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters: return WriteAcknowledgementLength();
    default: return 0;
    }
}

bool CrcFits(const std::vector<uint8_t>& bytes, size_t start, size_t length) {
    if (start + length > bytes.size() || length < kCrcLength + 2) return false;
    const uint16_t crc = modbus::ComputeCrc(bytes.data() + start, length - kCrcLength);
    const size_t end = start + length;
    return bytes[end - 2] == (crc & 0xFF) && bytes[end - 1] == (crc >> 8);
}

// A read's byte count must be the one its quantity needs; an echo must
// repeat the request's address and value or quantity.
bool ShapeFits(const std::vector<uint8_t>& request, const std::vector<uint8_t>& reply, size_t start, size_t length) {
    if (request[1] <= 4) return reply[start + 2] == length - 3 - kCrcLength;
    for (size_t i = 2; i < 6; ++i) {
        if (reply[start + i] != request[i]) return false;
    }
    return true;
}

}  // namespace

ReplyVerdict JudgeReply(const std::vector<uint8_t>& request, const std::vector<uint8_t>& reply) {
    if (reply.empty()) return {ReplyKind::kNone, 0};
    const size_t length = ReplyLength(request);
    if (length == 0) return {ReplyKind::kBroken, 0};
    const uint8_t station = request[0];
    const uint8_t function = request[1];
    for (size_t start = 0; start + 2 <= reply.size(); ++start) {
        if (reply[start] != station) continue;
        const uint8_t answered = reply[start + 1];
        if (answered == function && CrcFits(reply, start, length) && ShapeFits(request, reply, start, length)) {
            return {ReplyKind::kReply, 0};
        }
        if (answered == (function | kExceptionBit) && CrcFits(reply, start, ExceptionResponseLength())) {
            return {ReplyKind::kException, reply[start + 2]};
        }
    }
    return {ReplyKind::kBroken, 0};
}

std::string ExceptionCode(uint8_t code) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X", code);
    return digits;
}

std::string DescribeException(uint8_t code) {
    for (const ExceptionName& exception : kExceptionNames) {
        if (exception.code == code) return ExceptionCode(code) + " (" + exception.name + ")";
    }
    return ExceptionCode(code);
}

}  // namespace modbus
