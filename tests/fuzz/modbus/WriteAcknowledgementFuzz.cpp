// Any bytes as the reply to a write. Input: the request's kind (coil,
// register, register pair, or raw bytes), station, address, two words, a
// signed adjustment of the reported length, then the reply. The built
// request is checked field by field; the acknowledgement check is compared
// with a plain reading of the echo rule.
#include <algorithm>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "modbus/Frames.h"
#include "support/FrameBytes.h"

namespace {

constexpr size_t kEchoed = 6;

const uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

uint16_t WordAt(const std::string& frame, size_t offset) {
    return static_cast<uint16_t>(Bytes(frame)[offset] << 8 | Bytes(frame)[offset + 1]);
}

std::string BuildRequest(FuzzInput& input) {
    const uint8_t kind = input.Byte() % 4;
    if (kind == 3) return input.Bytes(input.Byte() % 16);
    const uint8_t station = input.Byte();
    const uint16_t address = input.Word();
    const uint16_t first = input.Word();
    const uint16_t second = input.Word();
    if (kind == 2) {
        const std::string request = modbus::BuildWriteMultipleRegisters(station, address, {first, second});
        FUZZ_CHECK(request.size() == 13 && HasValidCrc(request));
        FUZZ_CHECK(Bytes(request)[0] == station && Bytes(request)[1] == modbus::kWriteMultipleRegisters);
        FUZZ_CHECK(WordAt(request, 2) == address && WordAt(request, 4) == 2 && Bytes(request)[6] == 4);
        FUZZ_CHECK(WordAt(request, 7) == first && WordAt(request, 9) == second);
        return request;
    }
    const uint8_t function = kind == 0 ? modbus::kWriteSingleCoil : modbus::kWriteSingleRegister;
    const std::string request = modbus::BuildWriteSingle(station, function, address, first);
    FUZZ_CHECK(request.size() == 8 && HasValidCrc(request));
    FUZZ_CHECK(Bytes(request)[0] == station && Bytes(request)[1] == function);
    FUZZ_CHECK(WordAt(request, 2) == address && WordAt(request, 4) == first);
    return request;
}

// The first pair of the request's station and function repeats its first six
// bytes, wholly received, followed by their CRC.
bool ReferenceAcknowledged(const std::string& reply, int32_t length, const std::string& request) {
    if (request.size() < kEchoed) return false;
    const size_t received = length <= 0 ? 0 : std::min<size_t>(length, reply.size());
    const uint8_t* bytes = Bytes(reply);
    size_t at = 0;
    while (at + 1 < received && !(bytes[at] == Bytes(request)[0] && bytes[at + 1] == Bytes(request)[1])) ++at;
    if (at + kEchoed + 2 > received) return false;
    return std::equal(bytes + at, bytes + at + kEchoed, Bytes(request)) &&
           RtuCrc(bytes + at, kEchoed) == (bytes[at + kEchoed] | bytes[at + kEchoed + 1] << 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::string request = BuildRequest(input);
    const int8_t lengthAdjustment = static_cast<int8_t>(input.Byte());
    const std::string reply = input.Rest();
    const int32_t length = static_cast<int32_t>(reply.size()) + lengthAdjustment;
    FUZZ_CHECK(modbus::IsWriteAcknowledgement(reply, length, request) ==
               ReferenceAcknowledged(reply, length, request));
    return 0;
}
