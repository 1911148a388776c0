#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modbus/Crc.h"
#include "modbus/Frames.h"
#include "support/FrameBytes.h"

namespace {

using modbus::ReadResponse;

uint16_t Crc(const std::string& bytes) {
    return modbus::ComputeCrc(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(Frames, CrcOfKnownBytes) {
    EXPECT_EQ(Crc("123456789"), 0x4B37);
    EXPECT_EQ(Crc(""), 0xFFFF);
}

TEST(Frames, RequestsAreBuiltByteForByte) {
    using namespace modbus;
    const std::pair<std::string, std::string> cases[] = {
        {BuildReadRequest(17, kReadHoldingRegisters, 107, 3), Frame({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87})},
        {BuildReadRequest(1, kReadHoldingRegisters, 0, 50), Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x32, 0xC4, 0x1F})},
        {BuildReadRequest(1, kReadHoldingRegisters, 0, 3), Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x03, 0x05, 0xCB})},
        {BuildWriteSingle(1, kWriteSingleCoil, 16, kCoilOn), Frame({0x01, 0x05, 0x00, 0x10, 0xFF, 0x00, 0x8D, 0xFF})},
        {BuildWriteSingle(1, kWriteSingleCoil, 0, kCoilOn), Frame({0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A})},
        {BuildWriteSingle(1, kWriteSingleCoil, 0, kCoilOff), Frame({0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0xCD, 0xCA})},
        {BuildWriteSingle(1, kWriteSingleRegister, 99, 0x1234),
         Frame({0x01, 0x06, 0x00, 0x63, 0x12, 0x34, 0x74, 0xA3})},
        {BuildWriteMultipleCoils(1, 16, true), Frame({0x01, 0x0F, 0x00, 0x10, 0x00, 0x01, 0x01, 0x01, 0x2E, 0x94})},
        {BuildWriteMultipleCoils(1, 0, false), Frame({0x01, 0x0F, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x2E, 0x97})},
        {BuildWriteMultipleRegisters(1, 99, {0x1234}),
         Frame({0x01, 0x10, 0x00, 0x63, 0x00, 0x01, 0x02, 0x12, 0x34, 0xA2, 0xB4})},
        {BuildWriteMultipleRegisters(1, 99, {0x1234, 0x5678}),
         Frame({0x01, 0x10, 0x00, 0x63, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56, 0x78, 0xCE, 0xA6})},
        {BuildWriteMultipleRegisters(1, 99, {0x0000, 0x3F80}),
         Frame({0x01, 0x10, 0x00, 0x63, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0x80, 0xA5, 0xC2})},
    };
    for (const auto& [built, expected] : cases) EXPECT_EQ(built, expected);
}

TEST(Frames, ExpectedByteCountsAndReplyLengths) {
    EXPECT_EQ(modbus::ExpectedByteCount(modbus::kReadCoils, 1), 1u);
    EXPECT_EQ(modbus::ExpectedByteCount(modbus::kReadDiscreteInputs, 17), 3u);
    EXPECT_EQ(modbus::ExpectedByteCount(modbus::kReadCoils, 129), 17u);
    EXPECT_EQ(modbus::ExpectedByteCount(modbus::kReadInputRegisters, 34), 68u);
    EXPECT_EQ(modbus::ReadResponseLength(6), 11u);
    EXPECT_EQ(modbus::WriteAcknowledgementLength(), 8u);
    EXPECT_EQ(modbus::ExceptionResponseLength(), 5u);
}

struct ResponseCase {
    const char* situation;
    std::string received;
    int32_t length;  // -1: all received bytes
    bool found;
    size_t dataOffset;
};

TEST(Frames, ReadResponseIsTheFirstPairWithTheAskedByteCountAndAValidCrc) {
    const std::string good = Frame({0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2A, 0x32});
    const std::string tooFew = Frame({0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47});
    const ResponseCase cases[] = {
        {"plain", good, -1, true, 3},
        {"garbage in front", Frame({0x00, 0xFF, 0x03}) + good, -1, true, 6},
        {"bytes after the frame", good + Frame({0x01, 0x03}), -1, true, 3},
        {"false pair in front", Frame({0x01, 0x03}) + good, -1, false, 0},
        {"exception reply", Frame({0x01, 0x83, 0x02, 0xC0, 0xF1}), -1, false, 0},
        {"nothing", "", -1, false, 0},
        {"one byte", Frame({0x01}), -1, false, 0},
        {"pair at the very end", Frame({0x07, 0x01, 0x03}), -1, false, 0},
        {"byte count past the end", good.substr(0, 8), -1, false, 0},
        {"length short of the frame", good, 8, false, 0},
        {"length beyond the buffer", good.substr(0, 8), 64, false, 0},
        {"negative length", good, -5, false, 0},
        {"byte count below the asked", tooFew, -1, false, 0},
        {"corrupted CRC", good.substr(0, 8) + Frame({0x33}), -1, false, 0},
        {"corrupted data", Frame({0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x03, 0x2A, 0x32}), -1, false, 0},
    };
    for (const ResponseCase& c : cases) {
        const int32_t length = c.length == -1 ? static_cast<int32_t>(c.received.size()) : c.length;
        ReadResponse response{99, 99};
        EXPECT_EQ(modbus::LocateReadResponse(c.received, length, 1, modbus::kReadHoldingRegisters, 4, response),
                  c.found)
            << c.situation;
        if (c.found) {
            EXPECT_EQ(response.dataOffset, c.dataOffset) << c.situation;
        }
    }
}

TEST(Frames, WriteAcknowledgementEchoesTheRequest) {
    const std::string single = modbus::BuildWriteSingle(1, modbus::kWriteSingleRegister, 99, 0x1234);
    const std::string pair = modbus::BuildWriteMultipleRegisters(1, 99, {0x1234, 0x5678});
    const std::string pairEcho = Frame({0x01, 0x10, 0x00, 0x63, 0x00, 0x02, 0xB1, 0xD6});
    const std::string coil = modbus::BuildWriteMultipleCoils(1, 0, false);
    const std::string coilEcho = Frame({0x01, 0x0F, 0x00, 0x00, 0x00, 0x01, 0x94, 0x0B});
    const struct {
        const char* situation;
        std::string request;
        std::string received;
        bool confirmed;
    } cases[] = {
        {"echo", single, single, true},
        {"echo after garbage", single, Frame({0xFF, 0x01}) + single, true},
        {"function 16 acknowledgement", pair, pairEcho, true},
        {"function 15 acknowledgement", coil, coilEcho, true},
        {"function 15 request sent back whole", coil, coil, false},
        {"other value", single, modbus::BuildWriteSingle(1, modbus::kWriteSingleRegister, 99, 0x1235), false},
        {"other station", single, modbus::BuildWriteSingle(2, modbus::kWriteSingleRegister, 99, 0x1234), false},
        {"exception", single, Frame({0x01, 0x86, 0x02, 0xC3, 0xA1}), false},
        {"short", single, single.substr(0, 7), false},
        {"corrupted CRC", single, single.substr(0, 7) + Frame({0x00}), false},
        {"silence", single, "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(modbus::IsWriteAcknowledgement(c.received, static_cast<int32_t>(c.received.size()), c.request),
                  c.confirmed)
            << c.situation;
    }
}

TEST(Frames, DataDecodesIntoBitsRegistersAndLowWordFirstPairs) {
    const uint8_t coils[] = {0x05, 0xFF};
    EXPECT_EQ(modbus::DecodeBits(coils, 8), (std::vector<uint32_t>{1, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(modbus::DecodeBits(coils, 3), (std::vector<uint32_t>{1, 0, 1})) << "padding is dropped";
    EXPECT_EQ(modbus::DecodeBits(coils, 10), (std::vector<uint32_t>{1, 0, 1, 0, 0, 0, 0, 0, 1, 1}));
    const uint8_t registers[] = {0x00, 0x01, 0x00, 0x02, 0x3F};
    const std::vector<uint32_t> decoded = modbus::DecodeRegisters(registers, 5);
    EXPECT_EQ(decoded, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(modbus::PairRegisters(decoded, modbus::WordOrder::kCDAB), (std::vector<uint32_t>{0x00020001}));
    EXPECT_TRUE(modbus::PairRegisters({7}, modbus::WordOrder::kCDAB).empty());
}

}  // namespace
