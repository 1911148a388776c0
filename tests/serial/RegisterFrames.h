#pragma once
// Frames of holding-register reads on station 1, as the bytes on the line.
#include <cstdint>
#include <string>
#include <vector>

#include "modbus/Crc.h"
#include "support/FrameBytes.h"

inline std::string WithCrc(std::string frame) {
    uint16_t crc = modbus::ComputeCrc(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
    frame.push_back(static_cast<char>(crc & 0xFF));
    frame.push_back(static_cast<char>(crc >> 8));
    return frame;
}

inline std::string ReadRegistersRequest(uint16_t start, uint16_t count) {
    return WithCrc(Frame({0x01, 0x03, start >> 8, start & 0xFF, count >> 8, count & 0xFF}));
}

inline std::string ReadRegistersReply(const std::vector<uint16_t>& values) {
    std::string frame = Frame({0x01, 0x03, static_cast<int>(values.size() * 2)});
    for (uint16_t value : values) frame += Frame({value >> 8, value & 0xFF});
    return WithCrc(frame);
}

inline std::string ReadRegisterRequest(uint16_t address) {
    return ReadRegistersRequest(address, 1);
}

inline std::string ReadRegisterReply(uint16_t value) {
    return ReadRegistersReply({value});
}
