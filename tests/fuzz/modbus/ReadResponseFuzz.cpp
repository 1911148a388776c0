// Any bytes as the reply to any read request. Input: station, function,
// quantity (2 bytes), a signed adjustment of the reported length, then the
// reply. Locating the response is compared with a plain reading of the frame
// rules; a located frame is decoded from a copy of exactly its data bytes,
// so any read beyond them is caught.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "modbus/Frames.h"
#include "support/FrameBytes.h"

namespace {

struct Request {
    uint8_t station;
    uint8_t function;
    uint16_t quantity;
};

bool IsBitRead(uint8_t function) {
    return function == 1 || function == 2;
}

uint32_t ByteCountFor(const Request& request) {
    return IsBitRead(request.function) ? (request.quantity + 7u) / 8 : request.quantity * 2u;
}

// Offset of the frame's first byte, or -1: the first station and function
// pair, with the byte count the request asks for, wholly received and with
// a valid CRC.
long ReferenceFrame(const std::string& reply, int32_t length, const Request& request) {
    const size_t received = length <= 0 ? 0 : std::min<size_t>(length, reply.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(reply.data());
    size_t at = 0;
    while (at + 1 < received && !(bytes[at] == request.station && bytes[at + 1] == request.function)) ++at;
    if (at + 3 > received || bytes[at + 2] != ByteCountFor(request)) return -1;
    const size_t frameLength = 3u + bytes[at + 2];
    if (at + frameLength + 2 > received) return -1;
    const uint16_t sent = static_cast<uint16_t>(bytes[at + frameLength] | bytes[at + frameLength + 1] << 8);
    return RtuCrc(bytes + at, frameLength) == sent ? static_cast<long>(at) : -1;
}

void CheckDecoding(const uint8_t* frameData, const Request& request, uint8_t byteCount) {
    const std::unique_ptr<uint8_t[]> data(new uint8_t[byteCount]);
    std::copy(frameData, frameData + byteCount, data.get());
    if (IsBitRead(request.function)) {
        const std::vector<uint32_t> bits = modbus::DecodeBits(data.get(), request.quantity);
        FUZZ_CHECK(bits.size() == request.quantity);
        for (size_t i = 0; i < bits.size(); ++i) FUZZ_CHECK(bits[i] == ((data[i / 8] >> (i % 8)) & 1u));
        return;
    }
    const std::vector<uint32_t> registers = modbus::DecodeRegisters(data.get(), byteCount);
    FUZZ_CHECK(registers.size() == byteCount / 2u);
    for (size_t j = 0; j < registers.size(); ++j) {
        FUZZ_CHECK(registers[j] == (data[2 * j] * 256u + data[2 * j + 1]));
    }
    const std::vector<uint32_t> pairs = modbus::PairRegisters(registers, modbus::WordOrder::kCDAB);
    FUZZ_CHECK(pairs.size() == (registers.empty() ? 0 : registers.size() - 1));
    for (size_t k = 0; k < pairs.size(); ++k) FUZZ_CHECK(pairs[k] == registers[k] + registers[k + 1] * 65536u);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    Request request;
    request.station = input.Byte();
    request.function = input.Byte();
    request.quantity = input.Word();
    const int8_t lengthAdjustment = static_cast<int8_t>(input.Byte());
    const std::string reply = input.Rest();
    const int32_t length = static_cast<int32_t>(reply.size()) + lengthAdjustment;

    modbus::ReadResponse response{};
    const bool found = modbus::LocateReadResponse(reply, length, request.station, request.function,
                                                  modbus::ExpectedByteCount(request.function, request.quantity),
                                                  response);
    const long frame = ReferenceFrame(reply, length, request);
    FUZZ_CHECK(found == (frame >= 0));
    if (!found) return 0;
    FUZZ_CHECK(response.dataOffset == static_cast<size_t>(frame) + 3);
    FUZZ_CHECK(response.byteCount == ByteCountFor(request));
    CheckDecoding(reinterpret_cast<const uint8_t*>(reply.data()) + response.dataOffset, request,
                  response.byteCount);
    return 0;
}
