#pragma once
// What a station answered to a request, judged from the bytes alone, as the
// frame trace shows them: a reply, an exception reply (which still means a
// device is there), a broken reply (wrong CRC or shape), or none at all.
#include <cstdint>
#include <string>
#include <vector>

namespace modbus {

enum class ReplyKind { kNone, kReply, kException, kBroken };

struct ReplyVerdict {
    ReplyKind kind = ReplyKind::kNone;
    uint8_t exceptionCode = 0;  // kException
};

// Bytes in front of the reply are noise on the line and do not break it.
ReplyVerdict JudgeReply(const std::vector<uint8_t>& request, const std::vector<uint8_t>& reply);
// "02": two hex digits, as exception codes are written.
std::string ExceptionCode(uint8_t code);
// "02 (illegal data address)"; the code alone where the protocol names none.
std::string DescribeException(uint8_t code);

}  // namespace modbus
