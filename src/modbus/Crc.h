#pragma once
#include <cstddef>
#include <cstdint>

namespace modbus {

// CRC-16 of Modbus RTU: reflected polynomial 0xA001, start 0xFFFF, no final
// exclusive-or. Sent low byte first.
uint16_t ComputeCrc(const uint8_t* bytes, size_t count);

}  // namespace modbus
