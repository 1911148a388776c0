#include "modbus/Frames.h"

#include <algorithm>

#include "modbus/Crc.h"

namespace modbus {
namespace {

constexpr size_t kHeaderLength = 3;  // station, function, byte count
constexpr size_t kCrcLength = 2;
constexpr size_t kEchoedLength = 6;  // station, function, address, value or quantity
constexpr uint8_t kExceptionBit = 0x80;

const uint8_t* Bytes(const std::string& frame) {
    return reinterpret_cast<const uint8_t*>(frame.data());
}

void AppendWord(std::string& frame, uint16_t word) {
    frame.push_back(static_cast<char>(word >> 8));
    frame.push_back(static_cast<char>(word & 0xFF));
}

void AppendCrc(std::string& frame) {
    const uint16_t crc = ComputeCrc(Bytes(frame), frame.size());
    frame.push_back(static_cast<char>(crc & 0xFF));
    frame.push_back(static_cast<char>(crc >> 8));
}

bool HasValidCrc(const uint8_t* frame, size_t lengthBeforeCrc) {
    const uint16_t sent = static_cast<uint16_t>(frame[lengthBeforeCrc] | frame[lengthBeforeCrc + 1] << 8);
    return ComputeCrc(frame, lengthBeforeCrc) == sent;
}

// A length the exchange reports beyond its buffer counts only what is there.
size_t ReceivedCount(const std::string& data, int32_t length) {
    return length <= 0 ? 0 : std::min(static_cast<size_t>(length), data.size());
}

// Offset of the first station and function pair, or received when none.
size_t FindFrameStart(const uint8_t* bytes, size_t received, uint8_t station, uint8_t function) {
    for (size_t i = 0; i + 1 < received; ++i) {
        if (bytes[i] == station && bytes[i + 1] == function) return i;
    }
    return received;
}

// The station and function pair at start opens a whole frame with the
// expected byte count and a valid CRC.
bool IsReadResponseAt(const uint8_t* bytes, size_t received, size_t start, uint32_t expectedByteCount) {
    if (received - start < kHeaderLength) return false;
    const uint8_t byteCount = bytes[start + 2];
    if (byteCount != expectedByteCount || received - start < ReadResponseLength(byteCount)) return false;
    return HasValidCrc(bytes + start, kHeaderLength + byteCount);
}

// Station, function and two words: read requests and single writes alike.
std::string BuildTwoWordFrame(uint8_t station, uint8_t function, uint16_t first, uint16_t second) {
    std::string frame{static_cast<char>(station), static_cast<char>(function)};
    AppendWord(frame, first);
    AppendWord(frame, second);
    AppendCrc(frame);
    return frame;
}

}  // namespace

size_t ReadResponseLength(uint8_t byteCount) {
    return kHeaderLength + byteCount + kCrcLength;
}

size_t WriteAcknowledgementLength() {
    return kEchoedLength + kCrcLength;
}

size_t ExceptionResponseLength() {
    return kHeaderLength + kCrcLength;
}

uint32_t ExpectedByteCount(uint8_t function, uint16_t quantity) {
    const bool bits = function == kReadCoils || function == kReadDiscreteInputs;
    return bits ? (quantity + 7u) / 8 : quantity * 2u;
}

std::string BuildReadRequest(uint8_t station, uint8_t function, uint16_t start, uint16_t quantity) {
    return BuildTwoWordFrame(station, function, start, quantity);
}

std::string BuildWriteSingle(uint8_t station, uint8_t function, uint16_t address, uint16_t value) {
    return BuildTwoWordFrame(station, function, address, value);
}

std::string BuildWriteMultipleCoils(uint8_t station, uint16_t address, bool on) {
    std::string frame{static_cast<char>(station), static_cast<char>(kWriteMultipleCoils)};
    AppendWord(frame, address);
    AppendWord(frame, 1);
    frame.push_back(1);
    frame.push_back(on ? 1 : 0);
    AppendCrc(frame);
    return frame;
}

std::string BuildWriteMultipleRegisters(uint8_t station, uint16_t address, const std::vector<uint16_t>& words) {
    std::string frame{static_cast<char>(station), static_cast<char>(kWriteMultipleRegisters)};
    AppendWord(frame, address);
    AppendWord(frame, static_cast<uint16_t>(words.size()));
    frame.push_back(static_cast<char>(2 * words.size()));
    for (uint16_t word : words) AppendWord(frame, word);
    AppendCrc(frame);
    return frame;
}

bool LocateReadResponse(const std::string& data, int32_t length, uint8_t station, uint8_t function,
                        uint32_t expectedByteCount, ReadResponse& response) {
    const size_t received = ReceivedCount(data, length);
    const uint8_t* bytes = Bytes(data);
    const size_t start = FindFrameStart(bytes, received, station, function);
    if (!IsReadResponseAt(bytes, received, start, expectedByteCount)) return false;
    response = {start + kHeaderLength, bytes[start + 2]};
    return true;
}

bool LocateException(const std::string& data, int32_t length, uint8_t station, uint8_t function, uint8_t& code) {
    const size_t received = ReceivedCount(data, length);
    const uint8_t* bytes = Bytes(data);
    const uint8_t answered = static_cast<uint8_t>(function | kExceptionBit);
    const size_t start = FindFrameStart(bytes, received, station, answered);
    if (received - start < ExceptionResponseLength() || !HasValidCrc(bytes + start, kHeaderLength)) return false;
    code = bytes[start + 2];
    return true;
}

bool IsWriteAcknowledgement(const std::string& data, int32_t length, const std::string& request) {
    if (request.size() < kEchoedLength) return false;
    const size_t received = ReceivedCount(data, length);
    const uint8_t* bytes = Bytes(data);
    const size_t start = FindFrameStart(bytes, received, Bytes(request)[0], Bytes(request)[1]);
    if (received - start < WriteAcknowledgementLength()) return false;
    return std::equal(bytes + start, bytes + start + kEchoedLength, Bytes(request)) &&
           HasValidCrc(bytes + start, kEchoedLength);
}

std::vector<uint32_t> DecodeBits(const uint8_t* bytes, uint32_t quantity) {
    std::vector<uint32_t> bits(quantity);
    for (uint32_t i = 0; i < quantity; ++i) bits[i] = (bytes[i / 8] >> (i % 8)) & 1;
    return bits;
}

std::vector<uint32_t> DecodeRegisters(const uint8_t* bytes, uint32_t byteCount) {
    std::vector<uint32_t> registers(byteCount / 2);
    for (size_t j = 0; j < registers.size(); ++j) registers[j] = uint32_t{bytes[2 * j]} << 8 | bytes[2 * j + 1];
    return registers;
}

std::vector<uint32_t> PairRegisters(const std::vector<uint32_t>& registers, WordOrder order) {
    std::vector<uint32_t> values;
    for (size_t k = 0; k + 1 < registers.size(); ++k) values.push_back(JoinRegisters(registers[k], registers[k + 1], order));
    return values;
}

}  // namespace modbus
