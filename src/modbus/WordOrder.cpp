#include "modbus/WordOrder.h"

namespace modbus {

namespace {

struct OrderRule {
    bool highWordFirst;
    bool bytesSwapped;
};

// Indexed by WordOrder.
constexpr OrderRule kOrderRules[] = {{false, false}, {true, false}, {true, true}, {false, true}};

uint16_t SwapBytes(uint16_t word) {
    return static_cast<uint16_t>(word << 8 | word >> 8);
}

}  // namespace

uint32_t JoinRegisters(uint32_t first, uint32_t second, WordOrder order) {
    const OrderRule& rule = kOrderRules[static_cast<int32_t>(order)];
    uint16_t a = static_cast<uint16_t>(first);
    uint16_t b = static_cast<uint16_t>(second);
    if (rule.bytesSwapped) {
        a = SwapBytes(a);
        b = SwapBytes(b);
    }
    return rule.highWordFirst ? uint32_t{a} << 16 | b : uint32_t{b} << 16 | a;
}

RegisterPair SplitRegisters(uint32_t value, WordOrder order) {
    const OrderRule& rule = kOrderRules[static_cast<int32_t>(order)];
    uint16_t high = static_cast<uint16_t>(value >> 16);
    uint16_t low = static_cast<uint16_t>(value);
    if (rule.bytesSwapped) {
        high = SwapBytes(high);
        low = SwapBytes(low);
    }
    return rule.highWordFirst ? RegisterPair{high, low} : RegisterPair{low, high};
}

}  // namespace modbus
