#pragma once
// The two limits a station's settings give its block caches, and the
// limits of a station whose settings name none.
#include <cstdint>

namespace modbus {

// Blocks are planned under two limits: the span (last minus first address of
// a block) and the gap between neighbouring registered addresses.
struct BlockLimits {
    uint32_t span;
    uint32_t gap;
};

// The limits of a cache whose station's settings name none.
constexpr BlockLimits kBitBlockLimits{128, 16};
constexpr BlockLimits kRegisterBlockLimits{32, 8};

}  // namespace modbus
