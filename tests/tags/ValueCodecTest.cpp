#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "modbus/Frames.h"
#include "modbus/WordOrder.h"
#include "tags/ValueCodec.h"

namespace {

using modbus::TypeGroup;

TEST(ValueCodec, RegisterReadsAsSignedUnsignedAndBcd) {
    struct Case {
        uint32_t word;
        int32_t intValue;
        uint16_t wordValue;
        int32_t bcdValue;
    };
    const Case cases[] = {
        {0x1234, 4660, 0x1234, 1234}, {0xFFFF, -1, 65535, 0}, {0x0099, 153, 0x99, 99},
        {0x12A4, 0x12A4, 0x12A4, 0},  {0x8000, -32768, 0x8000, 8000}, {0x0000, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(modbus::RegisterToInt(c.word), c.intValue) << std::hex << c.word;
        EXPECT_EQ(modbus::RegisterToWord(c.word), c.wordValue) << std::hex << c.word;
        EXPECT_EQ(modbus::DecodeBcd(c.word), c.bcdValue) << std::hex << c.word;
    }
}

TEST(ValueCodec, BcdEncodingKeepsTheSignOfTheRemainder) {
    const std::pair<int32_t, uint16_t> cases[] = {
        {1234, 0x1234}, {10000, 0x0000}, {12345, 0x2345}, {56789, 0x6789},
        {-1234, 0xEDCC}, {9999, 0x9999}, {-10000, 0}, {INT32_MIN, 0x10000 - 0x3648},
    };
    for (const auto& [value, word] : cases) {
        EXPECT_EQ(modbus::EncodeBcd(value), word) << value;
        if (value >= 0) {
            EXPECT_EQ(modbus::DecodeBcd(word), value % 10000);
        }
    }
}

TagValue Filled(TypeGroup group, uint32_t cached) {
    TagValue value;
    std::memset(&value, 0xA5, sizeof(value));
    modbus::FillTagValue(group, cached, value);
    return value;
}

TEST(ValueCodec, TagValueGetsOnlyTheFieldsOfItsGroup) {
    TagValue untouched;
    std::memset(&untouched, 0xA5, sizeof(untouched));

    TagValue bit = untouched;
    bit.bitValue = 1;
    TagValue word = untouched;
    word.intValue = -1;
    word.wordValue = 0xFFFF;
    word.bcdValue = 0;
    TagValue bcd = untouched;
    bcd.intValue = 4660;
    bcd.wordValue = 0x1234;
    bcd.bcdValue = 1234;
    TagValue dword = untouched;
    dword.dwordValue = 0x3F800000;
    dword.floatValue = 1.0f;
    TagValue denormal = untouched;
    denormal.dwordValue = 0x00003F80;
    std::memcpy(&denormal.floatValue, &denormal.dwordValue, 4);

    const std::pair<TagValue, TagValue> cases[] = {
        {Filled(TypeGroup::kBit, 1), bit},
        {Filled(TypeGroup::kWord, 0xFFFF), word},
        {Filled(TypeGroup::kWord, 0x1234), bcd},
        {Filled(TypeGroup::kDWord, 0x3F800000), dword},
        {Filled(TypeGroup::kDWord, 0x00003F80), denormal},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(std::memcmp(&cases[i].first, &cases[i].second, sizeof(TagValue)), 0) << "case " << i;
    }
}

TEST(ValueCodec, WrittenValueComesFromTheFieldOfTheType) {
    TagValue value{};
    value.bitValue = 2;
    value.intValue = 70000;
    value.wordValue = 0xBEEF;
    value.bcdValue = 1234;
    value.dwordValue = 0x12345678;
    value.floatValue = 1.0f;
    EXPECT_FALSE(modbus::CoilIsOn(value));
    value.bitValue = 1;
    EXPECT_TRUE(modbus::CoilIsOn(value));
    EXPECT_EQ(modbus::WordToWrite(kTypeInt16, value), 0x1170);
    EXPECT_EQ(modbus::WordToWrite(kTypeUInt16, value), 0xBEEF);
    EXPECT_EQ(modbus::WordToWrite(kTypeBcd, value), 0x1234);
    EXPECT_EQ(modbus::DWordToWrite(kTypeUInt32, value), 0x12345678u);
    EXPECT_EQ(modbus::DWordToWrite(kTypeFloat, value), 0x3F800000u);
}

TEST(ValueCodec, WordOrdersPlaceTheBytesOfA32BitValueBothWays) {
    using modbus::WordOrder;
    struct Case {
        WordOrder order;
        uint16_t first;
        uint16_t second;
    };
    // 0x12345678: A = 0x12, B = 0x34, C = 0x56, D = 0x78.
    const Case cases[] = {
        {WordOrder::kCDAB, 0x5678, 0x1234},
        {WordOrder::kABCD, 0x1234, 0x5678},
        {WordOrder::kBADC, 0x3412, 0x7856},
        {WordOrder::kDCBA, 0x7856, 0x3412},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(modbus::JoinRegisters(0xFFFF0000 | c.first, c.second, c.order), 0x12345678u);
        const modbus::RegisterPair pair = modbus::SplitRegisters(0x12345678, c.order);
        EXPECT_EQ(pair.first, c.first) << modbus::kWordOrderNames[static_cast<int>(c.order)];
        EXPECT_EQ(pair.second, c.second) << modbus::kWordOrderNames[static_cast<int>(c.order)];
    }
    EXPECT_EQ(modbus::JoinRegisters(0x0000, 0x41AC, WordOrder::kCDAB), modbus::PairRegisters({0x0000, 0x41AC}, WordOrder::kCDAB)[0]);

    EXPECT_EQ(modbus::DWordToFloat(modbus::JoinRegisters(0x41AC, 0x0000, WordOrder::kABCD)), 21.5f);
    const modbus::RegisterPair written = modbus::SplitRegisters(modbus::FloatToDWord(21.5f), WordOrder::kABCD);
    const std::string request = modbus::BuildWriteMultipleRegisters(1, 0, {written.first, written.second});
    EXPECT_EQ(request.substr(7, 4), std::string("\x41\xAC\x00\x00", 4));
}

}  // namespace
