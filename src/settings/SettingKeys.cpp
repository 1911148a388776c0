#include "settings/SettingKeys.h"

#include "settings/SettingsText.h"

namespace modbus {
namespace {

void AppendListed(std::string& list, const char* name) {
    list += (list.empty() ? "" : ", ") + std::string(name);
}

// "0..5", the names the key accepts, or the form of its text.
std::string Accepted(const SettingRule& rule) {
    if (rule.checkText != nullptr) return rule.textForm;
    const std::string range = std::to_string(rule.min) + ".." + std::to_string(rule.max);
    if (rule.defaultName != nullptr) return range + " or " + rule.defaultName;
    if (rule.names == nullptr) return range;
    std::string names;
    for (int32_t index = rule.min; index <= rule.max; ++index) AppendListed(names, rule.names[index]);
    return names;
}

bool FindName(const SettingRule& rule, std::string_view text, int32_t& value) {
    for (int32_t index = rule.min; index <= rule.max; ++index) {
        if (SameIgnoringCase(text, rule.names[index])) {
            value = index;
            return true;
        }
    }
    return false;
}

bool FindSettingKey(std::string_view name, SettingKey& key) {
    for (int32_t index = 0; index < kSettingCount; ++index) {
        if (SameIgnoringCase(name, kSettingRules[index].name)) {
            key = static_cast<SettingKey>(index);
            return true;
        }
    }
    return false;
}

std::string KeyNames() {
    std::string names;
    for (const SettingRule& rule : kSettingRules) AppendListed(names, rule.name);
    return names;
}

std::string ParseText(const SettingRule& rule, std::string_view text, const std::string& given,
                      SettingValue& value) {
    const std::string wrong = rule.checkText(text);
    if (!wrong.empty()) return given + " " + wrong + "; accepted: " + Accepted(rule);
    value.text = text;
    return {};
}

std::string ParseValue(SettingKey key, std::string_view text, SettingValue& value) {
    const SettingRule& rule = kSettingRules[key];
    const std::string name = rule.name;
    if (text.empty()) return name + " has no value; accepted: " + Accepted(rule);
    const std::string given = name + " = " + Shown(text);
    if (rule.checkText != nullptr) return ParseText(rule, text, given, value);
    if (rule.names != nullptr) {
        return FindName(rule, text, value.number) ? std::string() : given + " is not one of " + Accepted(rule);
    }
    if (rule.defaultName != nullptr && SameIgnoringCase(text, rule.defaultName)) {
        value.number = rule.defaultValue;
        return {};
    }
    if (!IsDecimalText(text)) return given + " is not a decimal number; accepted: " + Accepted(rule);
    if (!ParseDecimalText(text, rule.min, rule.max, value.number)) return given + " is outside " + Accepted(rule);
    return {};
}

}  // namespace

std::string ParseSetting(std::string_view name, std::string_view text, SettingKey& key, SettingValue& value) {
    if (name.empty()) return "a key is missing before =";
    if (!FindSettingKey(name, key)) return "unknown key " + Shown(name) + "; accepted: " + KeyNames();
    return ParseValue(key, text, value);
}

std::string AcceptedValues(SettingKey key) {
    return Accepted(kSettingRules[key]);
}

std::string SettingValueText(SettingKey key, const SettingValue& value) {
    const SettingRule& rule = kSettingRules[key];
    if (rule.checkText != nullptr) return value.text.empty() ? "none" : value.text;
    if (rule.names != nullptr && value.number >= rule.min && value.number <= rule.max) return rule.names[value.number];
    if (rule.defaultName != nullptr && value.number == rule.defaultValue) return rule.defaultName;
    return std::to_string(value.number);
}

}  // namespace modbus
