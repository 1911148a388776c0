#pragma once
// Modbus RTU frames as the master sends and checks them. Frames travel as the
// exchange's byte string; multi-byte fields are big-endian except the CRC,
// which goes low byte first.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modbus/WordOrder.h"

namespace modbus {

enum FunctionCode : uint8_t {
    kReadCoils = 1,
    kReadDiscreteInputs = 2,
    kReadHoldingRegisters = 3,
    kReadInputRegisters = 4,
    kWriteSingleCoil = 5,
    kWriteSingleRegister = 6,
    kWriteMultipleCoils = 15,
    kWriteMultipleRegisters = 16,
};

// Which functions write one coil or one register, a station's choice for
// devices that implement only one kind: auto and single use 5 and 6,
// multiple uses 15 and 16. Two registers always go with 16.
enum class WriteFunctions : int32_t { kAuto, kSingle, kMultiple };
// The settings' names of the choices, in enum order.
inline constexpr const char* kWriteFunctionNames[] = {"auto", "single", "multiple"};

// The exception codes of a request for items the device does not have.
constexpr uint8_t kIllegalDataAddress = 2;
constexpr uint8_t kIllegalDataValue = 3;
// The exception codes of a device at work: 05, it took the request and is
// carrying it out; 06, it takes none now.
constexpr uint8_t kAcknowledge = 5;
constexpr uint8_t kDeviceBusy = 6;

constexpr uint16_t kCoilOn = 0xFF00;
constexpr uint16_t kCoilOff = 0x0000;

// Reply lengths, for an exchange that wants to stop once a reply is complete.
size_t ReadResponseLength(uint8_t byteCount);
size_t WriteAcknowledgementLength();
size_t ExceptionResponseLength();

// The data byte count a read of quantity items must be answered with.
uint32_t ExpectedByteCount(uint8_t function, uint16_t quantity);

std::string BuildReadRequest(uint8_t station, uint8_t function, uint16_t start, uint16_t quantity);
// Function 5 or 6: one coil state or one register value.
std::string BuildWriteSingle(uint8_t station, uint8_t function, uint16_t address, uint16_t value);
// Function 15 for one coil: quantity 1 and one data byte.
std::string BuildWriteMultipleCoils(uint8_t station, uint16_t address, bool on);
// Function 16 for the registers from address on, in the order given.
std::string BuildWriteMultipleRegisters(uint8_t station, uint16_t address, const std::vector<uint16_t>& words);

// Where the data bytes of a verified read response lie in the received bytes.
struct ReadResponse {
    size_t dataOffset;
    uint8_t byteCount;
};

// The received bytes are data[0..length). The frame is the first station and
// function pair; it must carry the expected byte count, lie wholly within the
// received bytes and pass its CRC. No later pair is tried.
bool LocateReadResponse(const std::string& data, int32_t length, uint8_t station, uint8_t function,
                        uint32_t expectedByteCount, ReadResponse& response);
// The device's exception reply to a request of station and function: the
// first station byte followed by the function code with the exception bit,
// with a valid CRC. code receives the exception code.
bool LocateException(const std::string& data, int32_t length, uint8_t station, uint8_t function, uint8_t& code);
// The device's echo of a write request: located like a read response, it
// repeats the request's first six bytes and carries a valid CRC. For
// functions 15 and 16 these are the address and the quantity.
bool IsWriteAcknowledgement(const std::string& data, int32_t length, const std::string& request);

// One value of 0 or 1 per item, least significant bit first; bits beyond
// quantity are padding and are dropped.
std::vector<uint32_t> DecodeBits(const uint8_t* bytes, uint32_t quantity);
// byteCount / 2 big-endian registers.
std::vector<uint32_t> DecodeRegisters(const uint8_t* bytes, uint32_t byteCount);
// The 32-bit value at each register but the last, its own register first
// on the wire, joined in order.
std::vector<uint32_t> PairRegisters(const std::vector<uint32_t>& registers, WordOrder order);

}  // namespace modbus
