#pragma once
// Replies a device could send, built byte for byte with their CRC, for
// tests that put them on a line in place of the slave's own.
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : frame) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

inline std::vector<uint8_t> ExceptionReply(uint8_t station, uint8_t function, uint8_t exceptionCode) {
    return WithCrc({station, static_cast<uint8_t>(function | 0x80), exceptionCode});
}

// A read reply carrying these registers, high byte first.
inline std::vector<uint8_t> RegistersReply(uint8_t station, uint8_t function, const std::vector<uint16_t>& registers) {
    std::vector<uint8_t> frame{station, function, static_cast<uint8_t>(registers.size() * 2)};
    for (uint16_t value : registers) {
        frame.push_back(static_cast<uint8_t>(value >> 8));
        frame.push_back(static_cast<uint8_t>(value & 0xFF));
    }
    return WithCrc(frame);
}
