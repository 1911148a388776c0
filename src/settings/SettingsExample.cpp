#include "settings/SettingsExample.h"

#include "settings/SettingKeys.h"

namespace modbus {
namespace {

constexpr const char* kLineEnd = "\r\n";

constexpr const char* kIntroduction[] = {
    "; Settings of the Korvel Modbus RTU driver.",
    ";",
    "; Renamed to Korvel.ini and put beside Korvel.dll, this file changes nothing:",
    "; every key below stands at its default and is commented out. Remove the ';'",
    "; in front of a key to set it. The driver reads the file at every Open; a",
    "; file it cannot take fails Open, and the frame trace says why.",
    ";",
    "; [defaults] is for every line and station, [COMn] for every station on",
    "; COMn, [COMn:s] for station s on COMn; each overrides the one before it for",
    "; the keys it names. Keys and section names may be written in any case.",
};

// A station that differs from the defaults, with values the file accepts.
struct ExampleSetting {
    SettingKey key;
    int32_t value;
};

constexpr const char* kExampleStation = "[COM3:17]";
constexpr const char* kExampleStationNote[] = {
    "; An example: station 17 on COM3 is a meter that keeps its floats high",
    "; word first and takes writes only with functions 15 and 16.",
};
constexpr ExampleSetting kExampleStationSettings[] = {
    {kWordOrder, static_cast<int32_t>(WordOrder::kABCD)},
    {kWriteFunction, static_cast<int32_t>(WriteFunctions::kMultiple)},
};

constexpr const char* kExampleEndpoint = "192.168.1.20:502";

void AppendLine(std::string& text, const std::string& line) {
    text += line + kLineEnd;
}

std::string Assignment(SettingKey key, int32_t value) {
    return std::string(kSettingRules[key].name) + " = " + SettingValueText(key, {value, {}});
}

// A text key has no default to stand for: an example of its form, left a
// comment, takes its place.
std::string DefaultLine(SettingKey key) {
    const SettingRule& rule = kSettingRules[key];
    if (rule.checkText == nullptr) return ";" + Assignment(key, rule.defaultValue);
    return "; for example: " + std::string(rule.name) + " = " + kExampleEndpoint;
}

// A line key is refused in a station's section, so its line says where it
// belongs.
std::string Summary(SettingKey key) {
    const SettingRule& rule = kSettingRules[key];
    const std::string where = rule.scope == SettingScope::kLine ? "; [defaults] or [COMn] only" : "";
    return "; " + std::string(rule.summary) + " (" + AcceptedValues(key) + ")" + where;
}

}  // namespace

std::string SettingsExampleText() {
    std::string text;
    for (const char* line : kIntroduction) AppendLine(text, line);
    AppendLine(text, "");
    AppendLine(text, "[defaults]");
    for (int32_t index = 0; index < kSettingCount; ++index) {
        const SettingKey key = static_cast<SettingKey>(index);
        AppendLine(text, Summary(key));
        AppendLine(text, DefaultLine(key));
    }
    AppendLine(text, "");
    for (const char* line : kExampleStationNote) AppendLine(text, line);
    AppendLine(text, std::string(";") + kExampleStation);
    for (const ExampleSetting& setting : kExampleStationSettings) {
        AppendLine(text, ";" + Assignment(setting.key, setting.value));
    }
    return text;
}

}  // namespace modbus
