#pragma once
// Frames in tests are written as the bytes on the line.
#include <cstdint>
#include <initializer_list>
#include <string>

inline std::string Frame(std::initializer_list<int> bytes) {
    std::string frame;
    for (int byte : bytes) frame.push_back(static_cast<char>(byte));
    return frame;
}
