#pragma once
// Conversions between register contents and the host's TagValue fields.
#include <cstdint>

#include "modbus/AreaRules.h"
#include "modbus/TagRecords.h"

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

// How a 32-bit value's bytes, A the most significant, lie in its two
// registers as they go over the wire: CDAB puts the low word first, ABCD the
// high word, BADC and DCBA are the same with the bytes of each register
// swapped. CDAB is the order of a device that names none.
enum class WordOrder : int32_t { kCDAB, kABCD, kBADC, kDCBA };
// The settings' names of the orders, in enum order.
inline constexpr const char* kWordOrderNames[] = {"CDAB", "ABCD", "BADC", "DCBA"};

struct RegisterPair {
    uint16_t first;   // the register at the tag's own address
    uint16_t second;  // the one after it
};

// The low 16 bits of each register count.
uint32_t JoinRegisters(uint32_t first, uint32_t second, WordOrder order);
RegisterPair SplitRegisters(uint32_t value, WordOrder order);

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
