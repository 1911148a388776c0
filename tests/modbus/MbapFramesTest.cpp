// Modbus TCP frames: requests wrapped byte for byte, replies told apart by
// transaction and turned back into the RTU frames they stand for.
#include <gtest/gtest.h>

#include <string>

#include "modbus/MbapFrames.h"
#include "support/FrameBytes.h"

namespace {

const uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

std::string Rtu(std::initializer_list<int> bytes) {
    return WithCrc(Frame(bytes));
}

TEST(MbapFrames, RequestsAreWrappedByteForByte) {
    const struct {
        uint16_t transaction;
        std::string rtu;
        std::string expected;
    } cases[] = {
        {1, Rtu({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}),
         Frame({0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11, 0x03, 0x00, 0x6B, 0x00, 0x03})},
        {0xABCD, Rtu({0x01, 0x10, 0x00, 0x63, 0x00, 0x01, 0x02, 0x12, 0x34}),
         Frame({0xAB, 0xCD, 0x00, 0x00, 0x00, 0x09, 0x01, 0x10, 0x00, 0x63, 0x00, 0x01, 0x02, 0x12, 0x34})},
        {7, Frame({0x01, 0x03, 0x00}), ""},  // no room for a CRC behind station and function
    };
    for (const auto& c : cases) EXPECT_EQ(modbus::MbapFromRtu(c.transaction, c.rtu), c.expected);
}

TEST(MbapFrames, RepliesAreJudgedByHeaderAndTransaction) {
    const std::string own = Frame({0x00, 0x05, 0x00, 0x00, 0x00, 0x05, 0x11, 0x03, 0x02, 0x12, 0x34});
    const struct {
        const char* situation;
        std::string received;
        size_t missing;
        modbus::MbapReply judged;
        std::string rtu;
        size_t frameLength;
    } cases[] = {
        {"the reply, whole", own, 0, modbus::MbapReply::kOwn, Rtu({0x11, 0x03, 0x02, 0x12, 0x34}), 11},
        {"the reply and more behind it", own + Frame({0x00}), 0, modbus::MbapReply::kOwn,
         Rtu({0x11, 0x03, 0x02, 0x12, 0x34}), 11},
        {"half a header", own.substr(0, 3), 4, modbus::MbapReply::kMalformed, "", 0},
        {"the header and part of the data", own.substr(0, 9), 2, modbus::MbapReply::kMalformed, "", 11},
        {"another transaction", Frame({0x00, 0x04, 0x00, 0x00, 0x00, 0x03, 0x11, 0x83, 0x0B}), 0,
         modbus::MbapReply::kOtherTransaction, "", 9},
        {"an exception", Frame({0x00, 0x05, 0x00, 0x00, 0x00, 0x03, 0x11, 0x83, 0x0B}), 0, modbus::MbapReply::kOwn,
         Rtu({0x11, 0x83, 0x0B}), 9},
        {"another protocol", Frame({0x00, 0x05, 0x00, 0x01, 0x00, 0x05, 0x11, 0x03, 0x02, 0x12, 0x34}), 0,
         modbus::MbapReply::kMalformed, "", 0},
        {"a length below unit and function", Frame({0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x11}), 0,
         modbus::MbapReply::kMalformed, "", 0},
        {"a length beyond any frame", Frame({0x00, 0x05, 0x00, 0x00, 0x00, 0xFF, 0x11}), 0,
         modbus::MbapReply::kMalformed, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        EXPECT_EQ(modbus::MbapBytesMissing(Bytes(c.received), c.received.size()), c.missing);
        std::string rtu;
        size_t frameLength = 0;
        EXPECT_EQ(modbus::RtuFromMbap(Bytes(c.received), c.received.size(), 5, rtu, frameLength), c.judged);
        EXPECT_EQ(rtu, c.rtu);
        EXPECT_EQ(frameLength, c.frameLength);
    }
}

TEST(MbapFrames, OnlyExceptions0Aand0BMeanTheGatewayHeardNothing) {
    const std::pair<std::string, bool> cases[] = {
        {Rtu({0x11, 0x83, 0x0A}), true},
        {Rtu({0x11, 0x84, 0x0B}), true},
        {Rtu({0x11, 0x83, 0x02}), false},
        {Rtu({0x11, 0x03, 0x0B}), false},  // a byte count of 11, not an exception
        {Frame({0x11}), false},
    };
    for (const auto& [frame, noReply] : cases) EXPECT_EQ(modbus::IsGatewayNoReply(frame), noReply);
}

}  // namespace
