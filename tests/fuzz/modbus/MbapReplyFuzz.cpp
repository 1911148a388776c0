// Any bytes as a Modbus TCP reply. Input: the transaction the request
// carried, then the received bytes. What the header promises is checked
// against the bytes: a frame is judged only once whole, its RTU frame
// carries the unit id and PDU unchanged with a valid CRC, and wrapping that
// frame again gives back the bytes received.
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "modbus/MbapFrames.h"
#include "support/FrameBytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint16_t transaction = input.Word();
    const std::string received = input.Rest();
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(received.data());
    const size_t missing = modbus::MbapBytesMissing(bytes, received.size());
    std::string rtu;
    size_t frameLength = 0;
    const modbus::MbapReply judged = modbus::RtuFromMbap(bytes, received.size(), transaction, rtu, frameLength);
    if (missing > 0) FUZZ_CHECK(judged == modbus::MbapReply::kMalformed);
    if (judged == modbus::MbapReply::kMalformed) return 0;
    FUZZ_CHECK(missing == 0 && frameLength <= received.size());
    if (judged == modbus::MbapReply::kOwn) {
        FUZZ_CHECK(HasValidCrc(rtu) && rtu.size() + modbus::kMbapHeaderLength - 1 - 2 == frameLength);
        FUZZ_CHECK(modbus::MbapFromRtu(transaction, rtu) == received.substr(0, frameLength));
    }
    return 0;
}
