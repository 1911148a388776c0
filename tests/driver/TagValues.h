#pragma once
// TagValue records as Read leaves them: the fields of the tag's type group
// filled, every other byte as the host had it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>

#include "tags/TagRecords.h"

// A record no Read has written: every byte 0xA5.
inline TagValue Untouched() {
    TagValue value;
    std::memset(&value, 0xA5, sizeof(value));
    return value;
}

inline TagValue Bits(uint32_t bit) {
    TagValue value = Untouched();
    value.bitValue = bit;
    return value;
}

inline TagValue Words(int32_t intValue, uint16_t wordValue, int32_t bcdValue) {
    TagValue value = Untouched();
    value.intValue = intValue;
    value.wordValue = wordValue;
    value.bcdValue = bcdValue;
    return value;
}

// dwordValue, and floatValue with the same bits.
inline TagValue DWords(uint32_t bits) {
    TagValue value = Untouched();
    value.dwordValue = bits;
    std::memcpy(&value.floatValue, &bits, sizeof(bits));
    return value;
}

inline std::string Describe(const TagValue& value) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&value);
    std::ostringstream text;
    for (size_t i = 0; i < sizeof(value); ++i) {
        text << std::hex << std::setw(2) << std::setfill('0') << int(bytes[i]) << (i % 4 == 3 ? " " : "");
    }
    return text.str();
}

// Byte for byte, so a field of another group that was written shows too.
inline ::testing::AssertionResult SameRecord(const TagValue& expected, const TagValue& actual) {
    if (std::memcmp(&expected, &actual, sizeof(TagValue)) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << Describe(expected) << "\n  actual " << Describe(actual);
}
