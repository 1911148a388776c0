#include "tags/AddressParser.h"

#include <cctype>
#include <cstring>

#include "tags/AreaRules.h"
#include "tags/TagOperations.h"

namespace modbus {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the digit run at text and returns its end. The value stops growing
// at ceiling, so any run length fits.
const char* ReadDigitRun(const char* text, int64_t ceiling, int64_t& value) {
    value = 0;
    for (; IsDigit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > ceiling) value = ceiling;
    }
    return text;
}

// The area whose prefix ("0x", "1X", ...) opens the text, or -1.
int32_t MatchPrefix(const char* text) {
    if (text[0] == '\0' || std::tolower(static_cast<unsigned char>(text[1])) != 'x') return -1;
    for (int32_t area = kAreaCoils; const AreaRule* rule = FindAreaRule(area); ++area) {
        if (rule->prefixDigit == text[0]) return area;
    }
    return -1;
}

}  // namespace

bool ParseDecimalField(const char* text, int32_t offset, int32_t min, int32_t max, int32_t* value) {
    for (int32_t i = 0; i <= offset; ++i) {
        if (text[i] == '\0') return false;
    }
    int64_t parsed = 0;
    const char* runEnd = ReadDigitRun(text + offset, int64_t{max} + 1, parsed);
    if (runEnd == text + offset || parsed < min || parsed > max) return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

bool ParseCountSuffix(const char* text, int32_t* count) {
    const char* comma = std::strchr(text, ',');
    if (comma == nullptr) return false;
    int64_t parsed = 0;
    ReadDigitRun(comma + 1, INT32_MAX, parsed);
    *count = static_cast<int32_t>(parsed);
    return true;
}

// Fields already written stay written when a later step rejects the text;
// the result tells the host not to use the record.
Outcome ParseAddress(const char* text, TagAddress* tag) {
    if (text == nullptr || tag == nullptr) return Outcome::kBadAddress;
    const int32_t area = MatchPrefix(text);
    if (area < 0) return Outcome::kBadAddress;
    tag->area = static_cast<int16_t>(area);
    const AreaRule& rule = *FindAreaRule(area);
    if (!AcceptsType(rule, tag->dataType)) return Outcome::kBadType;
    int32_t address = 0;
    if (!ParseDecimalField(text, 2, kMinItemAddress, kMaxItemAddress, &address)) return Outcome::kBadAddress;
    tag->address = address;
    int32_t count = 0;
    if (!ParseCountSuffix(text, &count)) {
        tag->count = 0;
        return Outcome::kDone;
    }
    if (count < 1 || count > rule.maxCount || !SpanFits(tag->dataType, address, count)) return Outcome::kBadAddress;
    tag->count = static_cast<int16_t>(count);
    return Outcome::kDone;
}

}  // namespace modbus
