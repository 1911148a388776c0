#pragma once
// What each of the four areas accepts, shared by address parsing and by the
// read and write operations, which refuse any record parsing could not
// have produced.
#include <cstdint>

#include "tags/TagRecords.h"

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
// The items one request for count values of dataType spans: n 32-bit
// values take n + 1 registers.
uint32_t ItemsSpanned(int32_t dataType, uint32_t count);
// Whether the items spanned by count values from the one-based address all
// lie in the area: past its last item no device could answer the request.
bool SpanFits(int32_t dataType, int32_t address, int32_t count);
// Area, type, address and count as ParseAddress writes them.
bool IsParsedRecord(const TagAddress& tag);

}  // namespace modbus
