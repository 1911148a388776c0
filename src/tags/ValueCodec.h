#pragma once
// Conversions between register contents and the host's TagValue fields.
#include <cstdint>

#include "tags/AreaRules.h"
#include "tags/TagRecords.h"

namespace modbus {

int32_t RegisterToInt(uint32_t word);
uint16_t RegisterToWord(uint32_t word);
// "%04X" of the register's low 16 bits read as decimal; 0 when a digit is A-F.
int32_t DecodeBcd(uint32_t word);
// The remainder by 10000, sign kept, its decimal digits taken as hex digits;
// the low 16 bits of the result.
uint16_t EncodeBcd(int32_t value);
float DWordToFloat(uint32_t bits);
uint32_t FloatToDWord(float value);

// Writes only the fields of the group: bitValue; intValue, wordValue and
// bcdValue; or dwordValue and floatValue.
void FillTagValue(TypeGroup group, uint32_t cached, TagValue& value);

// The register a 16-bit tag of dataType writes.
uint16_t WordToWrite(int32_t dataType, const TagValue& value);
// The 32 bits a 32-bit tag of dataType writes.
uint32_t DWordToWrite(int32_t dataType, const TagValue& value);
// Only exactly 1 switches a coil on.
bool CoilIsOn(const TagValue& value);

}  // namespace modbus
