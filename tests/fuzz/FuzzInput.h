#pragma once
// The fuzzer's bytes read from the front, multi-byte values high byte first,
// so seed files read like the frames they hold. Past the end every value is
// zero and every run is empty.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_position == m_size; }

    uint8_t Byte() { return Empty() ? 0 : m_data[m_position++]; }

    // The operands of | are unsequenced, hence the named high part.
    uint16_t Word() {
        const uint16_t high = Byte();
        return static_cast<uint16_t>(high << 8 | Byte());
    }

    uint32_t DWord() {
        const uint32_t high = Word();
        return high << 16 | Word();
    }

    std::string Bytes(size_t count) {
        count = std::min(count, m_size - m_position);
        std::string bytes(reinterpret_cast<const char*>(m_data + m_position), count);
        m_position += count;
        return bytes;
    }

    std::string Rest() { return Bytes(m_size - m_position); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};
