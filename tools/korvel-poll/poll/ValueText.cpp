#include "korvel-poll/poll/ValueText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "korvel-poll/host/DataTypes.h"
#include "korvel-poll/console/TextUtil.h"

namespace {

// One row per data type: how its field is shown and how text becomes its
// field. Integer types share one parser through their range.
struct ValueRule {
    int16_t dataType;
    int64_t min;
    int64_t max;
    std::string (*format)(const TagValue&);
    void (*store)(TagValue&, int64_t);
};

std::string FormatFloat(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value));
    return text;
}

const ValueRule kRules[] = {
    {kTypeBit, 0, 1, [](const TagValue& v) { return std::to_string(v.bitValue); },
     [](TagValue& v, int64_t n) { v.bitValue = static_cast<uint32_t>(n); }},
    {kTypeInt16, -32768, 32767, [](const TagValue& v) { return std::to_string(v.intValue); },
     [](TagValue& v, int64_t n) { v.intValue = static_cast<int32_t>(n); }},
    {kTypeUInt16, 0, 65535, [](const TagValue& v) { return std::to_string(v.wordValue); },
     [](TagValue& v, int64_t n) { v.wordValue = static_cast<uint16_t>(n); }},
    {kTypeBcd, 0, 9999, [](const TagValue& v) { return std::to_string(v.bcdValue); },
     [](TagValue& v, int64_t n) { v.bcdValue = static_cast<int32_t>(n); }},
    {kTypeUInt32, 0, 4294967295LL, [](const TagValue& v) { return std::to_string(v.dwordValue); },
     [](TagValue& v, int64_t n) { v.dwordValue = static_cast<uint32_t>(n); }},
    {kTypeFloat, 0, 0, [](const TagValue& v) { return FormatFloat(v.floatValue); }, nullptr},
};

const ValueRule* FindRule(int16_t dataType) {
    for (const ValueRule& rule : kRules) {
        if (rule.dataType == dataType) return &rule;
    }
    return nullptr;
}

struct BitWord {
    const char* text;
    int64_t value;
};

const BitWord kBitWords[] = {{"on", 1}, {"off", 0}, {"true", 1}, {"false", 0}};

std::string BitWordValue(const std::string& text) {
    for (const BitWord& word : kBitWords) {
        if (ToLower(text) == word.text) return std::to_string(word.value);
    }
    return text;
}

std::string ParseFloat(const std::string& text, TagValue& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    float number = std::strtof(begin, &end);
    if (text.empty() || *end != '\0' || !std::isfinite(number)) {
        const std::string largest = FormatFloat(std::numeric_limits<float>::max());
        return "value '" + text + "' is not a float within -" + largest + ".." + largest + " (e.g. 21.5 or -1e3)";
    }
    value.floatValue = number;
    return "";
}

}  // namespace

std::string FormatValue(int16_t dataType, const TagValue& value) {
    const ValueRule* rule = FindRule(dataType);
    return rule == nullptr ? "?" : rule->format(value);
}

std::string ParseValue(int16_t dataType, const std::string& text, TagValue& value) {
    if (dataType == kTypeFloat) return ParseFloat(text, value);
    const ValueRule* rule = FindRule(dataType);
    if (rule == nullptr) return "no value can be written for this data type";
    std::string number = dataType == kTypeBit ? BitWordValue(text) : text;
    int64_t parsed = 0;
    if (!ParseInteger(number, rule->min, rule->max, parsed)) {
        const std::string range = dataType == kTypeBit ? "0, 1, on or off"
                                                       : std::to_string(rule->min) + ".." + std::to_string(rule->max);
        return "value '" + text + "' does not fit " + DataTypeText(dataType) + " (" + range + ")";
    }
    rule->store(value, parsed);
    return "";
}
