#include <gtest/gtest.h>

#include <cstring>

#include "korvel-poll/poll/ValueText.h"

namespace {

TEST(ValueText, EachTypeShowsItsOwnField) {
    TagValue value;
    std::memset(&value, 0, sizeof value);
    value.bitValue = 1;
    value.intValue = -2;
    value.wordValue = 65535;
    value.bcdValue = 1234;
    value.dwordValue = 4000000000u;
    value.floatValue = 21.5f;
    EXPECT_EQ(FormatValue(kTypeBit, value), "1");
    EXPECT_EQ(FormatValue(kTypeInt16, value), "-2");
    EXPECT_EQ(FormatValue(kTypeUInt16, value), "65535");
    EXPECT_EQ(FormatValue(kTypeBcd, value), "1234");
    EXPECT_EQ(FormatValue(kTypeUInt32, value), "4000000000");
    EXPECT_EQ(FormatValue(kTypeFloat, value), "21.5");
    value.floatValue = -1.0e-3f;
    EXPECT_EQ(FormatValue(kTypeFloat, value), "-0.001");
    value.floatValue = 3.4028235e38f;
    EXPECT_EQ(FormatValue(kTypeFloat, value), "3.402823e+38");
}

TEST(ValueText, ParsingFillsOnlyTheFieldOfTheType) {
    struct Case {
        int16_t type;
        const char* text;
        size_t offset;
        size_t width;
        uint32_t expected;
    };
    const Case cases[] = {
        {kTypeBit, "1", 0, 4, 1},           {kTypeBit, "off", 0, 4, 0},
        {kTypeInt16, "-32768", 8, 4, 0xFFFF8000u}, {kTypeUInt16, "0x1234", 12, 2, 0x1234},
        {kTypeBcd, "0099", 16, 4, 99},      {kTypeUInt32, "305419896", 20, 4, 0x12345678},
        {kTypeFloat, "1", 28, 4, 0x3F800000},
    };
    for (const Case& c : cases) {
        TagValue value;
        std::memset(&value, 0xCC, sizeof value);
        ASSERT_EQ(ParseValue(c.type, c.text, value), "") << c.text;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&value);
        uint32_t field = 0;
        std::memcpy(&field, bytes + c.offset, c.width);
        EXPECT_EQ(field, c.expected) << c.text;
        for (size_t i = 0; i < sizeof value; ++i) {
            bool inField = i >= c.offset && i < c.offset + c.width;
            if (!inField) {
                EXPECT_EQ(bytes[i], 0xCC) << c.text << " byte " << i;
            }
        }
    }
}

TEST(ValueText, ValuesOutsideTheTypeAreRefusedAndLeaveTheRecord) {
    struct Case {
        int16_t type;
        const char* text;
    };
    const Case cases[] = {
        {kTypeBit, "2"},         {kTypeBit, "-1"},          {kTypeInt16, "32768"}, {kTypeUInt16, "-1"},
        {kTypeUInt16, "65536"},  {kTypeBcd, "-1"},          {kTypeBcd, "12345"},   {kTypeUInt32, "-1"},
        {kTypeUInt32, "99999999999999999999999"},           {kTypeFloat, "1e39"},  {kTypeFloat, "nan"},
        {kTypeFloat, "1,5"},     {kTypeUInt16, ""},         {kTypeUInt16, "12 "},  {kTypeUInt16, "0x"},
    };
    for (const Case& c : cases) {
        TagValue value;
        std::memset(&value, 0xCC, sizeof value);
        EXPECT_NE(ParseValue(c.type, c.text, value), "") << c.text;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&value);
        for (size_t i = 0; i < sizeof value; ++i) EXPECT_EQ(bytes[i], 0xCC) << c.text;
    }
}

}  // namespace
