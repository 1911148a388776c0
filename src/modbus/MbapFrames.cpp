#include "modbus/MbapFrames.h"

#include "modbus/Crc.h"

namespace modbus {
namespace {

constexpr size_t kCrcLength = 2;
constexpr uint8_t kExceptionBit = 0x80;
constexpr uint8_t kGatewayPathUnavailable = 0x0A;
constexpr uint8_t kGatewayTargetFailed = 0x0B;

uint16_t WordAt(const uint8_t* bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

void AppendWord(std::string& frame, uint16_t word) {
    frame += static_cast<char>(word >> 8);
    frame += static_cast<char>(word & 0xFF);
}

// The length field of a header of protocol 0 within range, else 0.
uint16_t FollowingLength(const uint8_t* header) {
    const uint16_t length = WordAt(header, 4);
    const bool sound = WordAt(header, 2) == 0 && length >= kShortestMbapLength && length <= kLongestMbapLength;
    return sound ? length : 0;
}

}  // namespace

std::string MbapFromRtu(uint16_t transaction, const std::string& rtuFrame) {
    if (rtuFrame.empty()) return {};
    return MbapFromRtu(transaction, static_cast<uint8_t>(rtuFrame[0]), rtuFrame);
}

std::string MbapFromRtu(uint16_t transaction, uint8_t unitId, const std::string& rtuFrame) {
    if (rtuFrame.size() < kShortestMbapLength + kCrcLength) return {};
    const size_t unitAndPdu = rtuFrame.size() - kCrcLength;
    std::string frame;
    AppendWord(frame, transaction);
    AppendWord(frame, 0);
    AppendWord(frame, static_cast<uint16_t>(unitAndPdu));
    frame += static_cast<char>(unitId);
    frame.append(rtuFrame, 1, unitAndPdu - 1);
    return frame;
}

size_t MbapBytesMissing(const uint8_t* bytes, size_t count) {
    if (count < kMbapHeaderLength) return kMbapHeaderLength - count;
    const size_t whole = kMbapHeaderLength - 1 + FollowingLength(bytes);
    if (whole < kMbapHeaderLength) return 0;
    return whole > count ? whole - count : 0;
}

MbapReply RtuFromMbap(const uint8_t* bytes, size_t count, uint16_t transaction, std::string& rtuFrame,
                      size_t& frameLength) {
    if (count < kMbapHeaderLength) return MbapReply::kMalformed;
    const uint16_t following = FollowingLength(bytes);
    if (following == 0) return MbapReply::kMalformed;
    frameLength = kMbapHeaderLength - 1 + following;
    if (frameLength > count) return MbapReply::kMalformed;
    if (WordAt(bytes, 0) != transaction) return MbapReply::kOtherTransaction;
    rtuFrame.assign(reinterpret_cast<const char*>(bytes) + kMbapHeaderLength - 1, following);
    const uint16_t crc = ComputeCrc(reinterpret_cast<const uint8_t*>(rtuFrame.data()), rtuFrame.size());
    rtuFrame += static_cast<char>(crc & 0xFF);
    rtuFrame += static_cast<char>(crc >> 8);
    return MbapReply::kOwn;
}

uint16_t MbapTransactionOf(const uint8_t* header) {
    return WordAt(header, 0);
}

bool IsGatewayNoReply(const std::string& rtuFrame) {
    if (rtuFrame.size() < 3 || (static_cast<uint8_t>(rtuFrame[1]) & kExceptionBit) == 0) return false;
    const uint8_t code = static_cast<uint8_t>(rtuFrame[2]);
    return code == kGatewayPathUnavailable || code == kGatewayTargetFailed;
}

}  // namespace modbus
