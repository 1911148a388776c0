// Station address texts: the whole input is the text. It goes through the
// rule CheckStation uses (decimal 1..254) and through rules of other radixes
// and ranges, each compared with a plain reading of digits in the radix. A
// refused text must leave the caller's number alone.
#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

#include "driver/NumberRule.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"

namespace {

constexpr int32_t kUntouched = 0x5A5A5A5A;

struct Rule {
    int32_t radix;
    int32_t min;
    int32_t max;
};

constexpr Rule kRules[] = {
    {10, 1, 254},  // the station rule
    {10, 0, 255},
    {16, 0, 0xFFFF},
    {36, INT32_MIN, INT32_MAX},
    {2, 5, 9},
};

int DigitIn(char c, int radix) {
    const unsigned char u = static_cast<unsigned char>(c);
    int digit = radix;
    if (std::isdigit(u)) digit = u - '0';
    if (std::isalpha(u)) digit = std::tolower(u) - 'a' + 10;
    return digit < radix ? digit : -1;
}

// False when a character is not a digit of the radix; values past INT32_MAX
// read as INT32_MAX + 1.
bool Reference(const std::string& text, int radix, int64_t& value) {
    value = 0;
    for (char c : text) {
        const int digit = DigitIn(c, radix);
        if (digit < 0) return false;
        value = std::min<int64_t>(value * radix + digit, int64_t{INT32_MAX} + 1);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string whole = FuzzInput(data, size).Rest();
    const std::string text = whole.c_str();  // the host's text ends at its first NUL
    for (const Rule& r : kRules) {
        CNumberRule rule;
        FUZZ_CHECK(rule.SetRule(r.radix, r.min, r.max) == 1);
        int32_t station = kUntouched;
        const int accepted = rule.Parse(text.c_str(), &station);

        int64_t value = 0;
        const bool expected = Reference(text, r.radix, value) && value >= r.min && value <= r.max;
        FUZZ_CHECK(accepted == (expected ? 1 : 0));
        FUZZ_CHECK(station == (expected ? value : kUntouched));
    }
    return 0;
}
