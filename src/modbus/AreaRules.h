#pragma once
// What each of the four areas accepts, shared by address parsing and by the
// read and write operations, which refuse any record parsing could not
// have produced.
#include <cstdint>

#include "modbus/TagRecords.h"

namespace modbus {

enum class TypeGroup { kBit, kWord, kDWord };

struct AreaRule {
    char prefixDigit;  // the digit before the 'x' of the tag text
    uint32_t typeMask;
    int32_t maxCount;  // the largest ",n" suffix
    uint8_t readFunction;
};

constexpr int32_t kMinItemAddress = 1;
constexpr int32_t kMaxItemAddress = 65534;

// Null for an area outside 0..3.
const AreaRule* FindAreaRule(int32_t area);
// Exactly one of the area's type bits; combinations are no type.
bool AcceptsType(const AreaRule& rule, int32_t dataType);
// Only meaningful for an accepted type.
TypeGroup GroupOf(int32_t dataType);
// Area, type, address and count as ParseAddress writes them.
bool IsParsedRecord(const TagAddress& tag);

}  // namespace modbus
