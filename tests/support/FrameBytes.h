#pragma once
// Modbus RTU frames as the tests write them: the bytes on the line, with the
// CRC reckoned here apart from the module's own, so that what the module
// sends and accepts is checked against a second reckoning. Platform-free and
// free of the test framework: the line server builds its frames with it too.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

inline std::string Frame(std::initializer_list<int> bytes) {
    std::string frame;
    for (int byte : bytes) frame.push_back(static_cast<char>(byte));
    return frame;
}

inline uint16_t RtuCrc(const uint8_t* data, size_t count) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// For a frame held as std::string or as std::vector<uint8_t>: the CRC low
// byte first.
template <class Buffer>
Buffer WithCrc(Buffer frame) {
    const uint16_t crc = RtuCrc(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
    frame.push_back(static_cast<typename Buffer::value_type>(crc & 0xFF));
    frame.push_back(static_cast<typename Buffer::value_type>(crc >> 8));
    return frame;
}

inline std::vector<uint8_t> WithCrc(std::initializer_list<uint8_t> frame) {
    return WithCrc(std::vector<uint8_t>(frame));
}

template <class Buffer>
bool HasValidCrc(const Buffer& frame) {
    return frame.size() >= 4 && WithCrc(Buffer(frame.begin(), frame.end() - 2)) == frame;
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

// Holding-register reads of station 1, as the driver's exchanges take them.
inline std::string ReadRegistersRequest(uint16_t start, uint16_t count) {
    return WithCrc(Frame({0x01, 0x03, start >> 8, start & 0xFF, count >> 8, count & 0xFF}));
}

inline std::string ReadRegistersReply(const std::vector<uint16_t>& values) {
    const std::vector<uint8_t> reply = RegistersReply(0x01, 0x03, values);
    return std::string(reply.begin(), reply.end());
}

inline std::string ReadRegisterRequest(uint16_t address) {
    return ReadRegistersRequest(address, 1);
}

inline std::string ReadRegisterReply(uint16_t value) {
    return ReadRegistersReply({value});
}
