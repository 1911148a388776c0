#pragma once
// How a 32-bit value lies in two registers on the wire: the order of its
// words and of the bytes in each, and joining and splitting by that order.
#include <cstdint>

namespace modbus {

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

}  // namespace modbus
