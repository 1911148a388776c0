#include "driver/NumberRule.h"

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

}  // namespace

int CNumberRule::SetRule(int32_t radix, int32_t min, int32_t max) {
    if (radix == -1 || max < min) return 0;
    m_radix = radix;
    m_min = min;
    m_max = max;
    return 1;
}

int CNumberRule::Parse(const char* text, int32_t* value) const {
    if (text == nullptr || value == nullptr || m_radix < 2 || m_radix > 36) return 0;
    // Once the value passes the maximum no further digit can bring it back,
    // so saturating there keeps arbitrarily long texts from overflowing.
    int64_t number = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        int digit = DigitValue(*p);
        if (digit >= m_radix) return 0;
        if (number <= m_max) number = number * m_radix + digit;
    }
    if (number < m_min || number > m_max) return 0;
    *value = static_cast<int32_t>(number);
    return 1;
}
