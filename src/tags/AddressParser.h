#pragma once
// The pieces of tag address parsing; ParseAddress itself is declared with
// the other tag operations.
#include <cstdint>

namespace modbus {

// The digit run starting at text[offset], checked against min..max. Stores
// into *value only on success. Runs of any length are read; a run too long
// for 32 bits is simply out of range.
bool ParseDecimalField(const char* text, int32_t offset, int32_t min, int32_t max, int32_t* value);
// False, *count untouched, when the text holds no comma. Otherwise the digit
// run after the first comma (an empty run is 0; a run beyond 32 bits gives
// INT32_MAX, which no range accepts).
bool ParseCountSuffix(const char* text, int32_t* count);

}  // namespace modbus
