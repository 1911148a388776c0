// The lengths frames give themselves, by function code and byte count.
#include "modbus/FrameLength.h"

#include "modbus/Frames.h"

namespace modbus {
namespace {

constexpr uint8_t kExceptionBit = 0x80;
// Station, function, address and quantity or value, then the CRC: a read
// request and a write of one item alike.
constexpr size_t kFixedRequestLength = 8;
// A write of many items: station, function, address, quantity and the
// byte count stand before its data; the CRC follows it.
constexpr size_t kByteCountAt = 6;
constexpr size_t kManyItemsOverhead = kByteCountAt + 1 + 2;
constexpr size_t kReplyByteCountAt = 2;

constexpr OwnLength kNotYet{true, 0};
constexpr OwnLength kUnknown{false, 0};

}  // namespace

OwnLength RequestLength(const uint8_t* frame, size_t available) {
    if (available < 2) return kNotYet;
    switch (frame[1]) {
    case kReadCoils:
    case kReadDiscreteInputs:
    case kReadHoldingRegisters:
    case kReadInputRegisters:
    case kWriteSingleCoil:
    case kWriteSingleRegister:
        return {true, kFixedRequestLength};
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters:
        return available > kByteCountAt ? OwnLength{true, kManyItemsOverhead + frame[kByteCountAt]} : kNotYet;
    default:
        return kUnknown;
    }
}

OwnLength ReplyLength(const uint8_t* frame, size_t available) {
    if (available < 2) return kNotYet;
    const uint8_t function = frame[1];
    if (function & kExceptionBit) return {true, ExceptionResponseLength()};
    switch (function) {
    case kReadCoils:
    case kReadDiscreteInputs:
    case kReadHoldingRegisters:
    case kReadInputRegisters:
        return available > kReplyByteCountAt ? OwnLength{true, ReadResponseLength(frame[kReplyByteCountAt])} : kNotYet;
    case kWriteSingleCoil:
    case kWriteSingleRegister:
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters:
        return {true, WriteAcknowledgementLength()};
    default:
        return kUnknown;
    }
}

}  // namespace modbus
