#pragma once
// A radix and an inclusive range that a station address text must satisfy.
#include <cstdint>

class CNumberRule {
public:
    CNumberRule() = default;
    virtual ~CNumberRule() = default;

    // Refuses radix -1 or max < min with 0, keeping the old rule.
    int SetRule(int32_t radix, int32_t min, int32_t max);
    // 1 and *value written when every character is a digit of the radix and
    // the number lies in range; 0 and nothing written otherwise.
    int Parse(const char* text, int32_t* value) const;

private:
    int32_t m_min = 0;
    int32_t m_max = 255;
    int32_t m_radix = 10;
};
